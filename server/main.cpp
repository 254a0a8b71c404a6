// ravendockd: the window when a display can be opened and --headless is not given; otherwise the
// console front end, with one line on stderr saying why.

#include <cstdio>
#include <string>
#include <vector>

#include "platform/display_probe.h"
#include "platform/event_loop.h"
#include "platform/registry_hive.h"
#include "server/engine/command_line.h"
#include "server/engine/server_settings.h"
#include "server/headless/headless_program.h"
#include "server/headless/headless_version_check.h"
#ifdef RAVEN_HAVE_QT
#include "server/qt/windowed_program.h"
#endif

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::vector<std::string> args = server::ServerArguments(argc, argv);
    const server::CommandLineChoices early = [&] {
        server::ServerSettings unused;
        return server::ParseServerCommandLine(args, unused);
    }();
    if (const auto status = server::AnswerBeforeStart(early, stdout, stderr)) {
        return *status;
    }

    if (early.checkVersion) {
        platform::EventLoop loop;
        platform::RegistryHive hive(server::HivePath(args));
        server::ServerSettings settings;
        server::LoadSettings(settings, hive);
        server::ParseServerCommandLine(args, settings);
        return server::RunHeadlessVersionCheck(loop, settings, hive);
    }
    if (early.headless) {
        return server::RunHeadless(args);
    }
#ifdef RAVEN_HAVE_QT
    const std::string why = platform::WhyNoDisplay();
    if (why.empty()) {
        return server::RunWindowed(argc, argv, args);
    }
    std::fprintf(stderr, "ravendockd: %s; running without a window\n", why.c_str());
#else
    std::fprintf(stderr, "ravendockd: built without the window; running without one\n");
#endif
    return server::RunHeadless(args);
}
