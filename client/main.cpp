// merrowinc: the TFTP client. There is no window yet, so every run is console mode (the mode
// also chosen with --headless or where no display is available).

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "client/client_app.h"
#include "client/client_settings.h"
#include "client/command_line.h"
#include "client/console/console_dialogs.h"
#include "client/console/console_run.h"
#include "client/console/console_window.h"
#include "client/ini_profile.h"
#include "client/transfer_setup.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    if (const auto status =
            client::AnswerBeforeStart(client::ParseClientCommandLine(args), stdout, stderr)) {
        return *status;
    }
    try {
        platform::EventLoop loop;
        platform::SystemClock clock;
        const bool terminal = ::isatty(STDERR_FILENO) == 1;
        client::ConsoleDialogs dialogs(stderr, std::cin, terminal && ::isatty(STDIN_FILENO) == 1);
        client::ConsoleWindow window(loop, stderr, terminal);
        dialogs.beforeOutput = [&window] { window.BreakLine(); };
        client::IniProfile profile(client::ClientProfilePath());
        client::CMerrowinApp app(loop, clock, dialogs, profile, client::LocalHost::System());
        return client::RunConsole(app, window, loop, args, stdout, stderr, true);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "merrowinc: %s\n", e.what());
        return client::kExitNotCompleted;
    }
}
