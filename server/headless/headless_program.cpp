#include "server/headless/headless_program.h"

#include <cstdio>
#include <memory>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/registry_hive.h"
#include "platform/stop_signals.h"
#include "server/config/server_program.h"
#include "server/headless/headless_dialogs.h"
#include "server/headless/headless_front_end.h"
#include "server/services/music/music_player.h"

namespace server {

int RunHeadless(const std::vector<std::string>& args) {
    platform::EventLoop loop;
    platform::SystemClock clock;
    HeadlessDialogs dialogs;
    platform::RegistryHive hive(platform::RegistryHive::defaultPath("ravendockd"));
    HeadlessFrontEnd frontEnd(stdout, stderr, hive);

    // Blocked from here on; reported once the program serves.
    platform::StopSignals signals;
    int exitStatus = 0;
    {
        ServerProgram program(loop, clock, dialogs, hive, frontEnd);
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

        std::unique_ptr<MusicPlayer> music;
        if (program.choices().music) {
            music = std::make_unique<MusicPlayer>(loop, program.app().settings, dialogs);
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

}  // namespace server
