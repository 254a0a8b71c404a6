// merrowinc: the TFTP client. With a display it opens its window (where the program was built
// with Qt); with --headless or without a display it runs in console mode.

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "client/client_app.h"
#include "client/client_settings.h"
#include "client/console/console_dialogs.h"
#include "client/console/console_run.h"
#include "client/console/console_window.h"
#include "client/ini_profile.h"
#include "client/transfer_setup.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

#if RAVEN_HAVE_QT
#include "client/command_line.h"
#include "client/window_loader.h"
#include "platform/display_probe.h"
#endif

namespace {

int RunConsoleProgram(const std::vector<std::string>& args) {
    platform::EventLoop loop;
    platform::SystemClock clock;
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    client::ConsoleDialogs dialogs(stderr, std::cin, terminal && ::isatty(STDIN_FILENO) == 1);
    client::ConsoleWindow window(loop, stderr, terminal);
    dialogs.beforeOutput = [&window] { window.BreakLine(); };
    client::IniProfile profile(client::ClientProfilePath());
    client::CMerrowinApp app(loop, clock, dialogs, profile, client::LocalHost::System());
    return client::RunConsole(app, window, loop, args, stdout, stderr, true);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    try {
#if RAVEN_HAVE_QT
        // Help and a command line that cannot work as written are answered on the terminal,
        // display or not, so a script gets the same answer everywhere.
        const client::ClientCommandLine commandLine = client::ParseClientCommandLine(args);
        if (!commandLine.headless && !commandLine.help &&
            client::CommandLineProblem(commandLine).empty() && platform::WhyNoDisplay().empty()) {
            std::string why;
            if (const std::optional<int> code = client::RunWindowModule(argc, argv, why)) {
                return *code;
            }
            std::fprintf(stderr, "merrowinc: no window (%s), console mode\n", why.c_str());
        }
#endif
        return RunConsoleProgram(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "merrowinc: %s\n", e.what());
        return client::kExitNotCompleted;
    }
}
