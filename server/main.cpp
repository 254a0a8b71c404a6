// ravendockd without a window: the engine, its settings, and one line on stdout per change of
// the client list.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/registry_hive.h"
#include "platform/stop_signals.h"
#include "server/config/server_program.h"
#include "server/headless/headless_dialogs.h"
#include "server/headless/headless_front_end.h"
#include "server/headless/headless_version_check.h"
#include "server/services/music/music_player.h"

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::vector<std::string> args(argv, argv + argc);

    platform::EventLoop loop;
    platform::SystemClock clock;
    server::HeadlessDialogs dialogs;
    platform::RegistryHive hive(platform::RegistryHive::defaultPath("ravendockd"));
    server::HeadlessFrontEnd frontEnd(stdout, hive);
    {
        server::ServerSettings settings;
        server::LoadSettings(settings, hive);
        if (server::ParseServerCommandLine(args, settings).checkVersion) {
            return server::RunHeadlessVersionCheck(loop, settings, hive);
        }
    }

    // Blocked from here on; reported once the program serves.
    platform::StopSignals signals;
    int exitStatus = 0;
    {
        server::ServerProgram program(loop, clock, dialogs, hive, frontEnd);
        frontEnd.attach(program.app());
        if (!program.InitInstance(args)) {
            return 1;  // the program's destructor has saved the settings
        }
        for (const auto& option : program.choices().unknownLongOptions) {
            std::fprintf(stderr, "ravendockd: unknown option %s\n", option.c_str());
        }
        std::fprintf(stderr, "ravendockd: listening on %s\n", program.app().ListenText.c_str());
        program.app().onFatalListenerFailure = [&] {
            exitStatus = 1;
            loop.quit();
        };
        if (!signals.watch(loop, [&] { loop.quit(); })) {
            std::fprintf(stderr, "ravendockd: SIGINT and SIGTERM cannot be caught\n");
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
        frontEnd.destroyMainWindow();
    }
    return exitStatus;
}
