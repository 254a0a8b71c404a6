// ravendockd without a window: the engine, its settings, and one line on stdout per change of
// the client list.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/registry_hive.h"
#include "server/config/server_program.h"
#include "server/headless/headless_dialogs.h"
#include "server/headless/headless_front_end.h"
#include "server/headless/headless_version_check.h"
#include "server/services/music/music_player.h"

namespace {

// SIGINT/SIGTERM arrive as a readable descriptor so the end runs on the main thread.
int blockStopSignals() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &mask, nullptr);
    return ::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::vector<std::string> args(argv, argv + argc);
    const server::CommandLineChoices early = [&] {
        server::ServerSettings unused;
        return server::ParseServerCommandLine(args, unused);
    }();
    if (const auto status = server::AnswerBeforeStart(early, stdout, stderr)) {
        return *status;
    }

    platform::EventLoop loop;
    platform::SystemClock clock;
    server::HeadlessDialogs dialogs;
    platform::RegistryHive hive(server::HivePath(early));
    server::HeadlessFrontEnd frontEnd(stdout, hive);
    {
        server::ServerSettings settings;
        server::LoadSettings(settings, hive);
        if (server::ParseServerCommandLine(args, settings).checkVersion) {
            return server::RunHeadlessVersionCheck(loop, settings, hive);
        }
    }

    const int signals = blockStopSignals();
    int exitStatus = 0;
    {
        server::ServerProgram program(loop, clock, dialogs, hive, frontEnd);
        frontEnd.attach(program.app());
        if (!program.InitInstance(args)) {
            return 1;  // the program's destructor has saved the settings
        }
        std::fprintf(stderr, "ravendockd: listening on %s\n", program.app().ListenText.c_str());
        program.app().onFatalListenerFailure = [&] {
            exitStatus = 1;
            loop.quit();
        };
        if (signals >= 0) {
            loop.watchReadable(signals, [&] {
                signalfd_siginfo info{};
                while (::read(signals, &info, sizeof info) == sizeof info) {
                }
                loop.quit();
            });
        }

        std::unique_ptr<server::MusicPlayer> music;
        if (program.choices().music) {
            music = std::make_unique<server::MusicPlayer>(loop, program.app().settings, dialogs);
            music->ToggleMusic();
        }

        loop.run();
        music.reset();

        // As the window's Exit: the document closes (every row to the log), then the program
        // ends, stopping the transfers before the settings are saved.
        frontEnd.closeDocument();
        program.ExitInstance();
        if (signals >= 0) {
            loop.unwatch(signals);
        }
        frontEnd.destroyMainWindow();
    }
    if (signals >= 0) {
        ::close(signals);
    }
    return exitStatus;
}
