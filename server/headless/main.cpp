// ravendockd without a window: the engine, its settings and one line on stdout per event.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/registry_hive.h"
#include "server/engine/command_line.h"
#include "server/engine/server_application.h"
#include "server/engine/server_settings.h"
#include "server/engine/supervisor.h"
#include "server/headless/console_view.h"
#include "server/headless/headless_dialogs.h"

namespace {

constexpr auto kSupervisionInterval = std::chrono::milliseconds(5000);

// SIGINT/SIGTERM arrive as a readable descriptor so shutdown runs on the main thread.
int blockStopSignals() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &mask, nullptr);
    return ::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
}

void saveSettings(const server::ServerSettings& settings, platform::RegistryHive& hive) {
    hive.reload();
    server::SaveSettings(settings, hive);
    if (!hive.save()) {
        std::fprintf(stderr, "ravendockd: cannot save settings to %s\n", hive.path().c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<std::string> args(argv, argv + argc);

    platform::EventLoop loop;
    platform::SystemClock clock;
    server::HeadlessDialogs dialogs;
    server::ConsoleView view(stdout);
    server::ServerApplication app(loop, clock, dialogs);

    platform::RegistryHive hive(platform::RegistryHive::defaultPath("ravendockd"));
    server::LoadSettings(app.settings, hive);
    server::SetProcessPriority(app.settings);

    server::CommandLineChoices choices = server::ParseServerCommandLine(args, app.settings);
    for (const auto& option : choices.unknownLongOptions) {
        std::fprintf(stderr, "ravendockd: unknown option %s\n", option.c_str());
    }
    app.nAddressChoice = choices.nAddressChoice;
    app.listenAddress = choices.listenAddress;
    app.setViewObserver(&view);

    int exitStatus = 0;
    if (!app.CreateListener()) {
        app.DestroyListener();
        saveSettings(app.settings, hive);
        return 1;
    }
    std::fprintf(stdout, "0 listening %s\n", app.ListenText.c_str());

    app.onFatalListenerFailure = [&] {
        exitStatus = 1;
        loop.quit();
    };

    const int signals = blockStopSignals();
    if (signals >= 0) {
        loop.watchReadable(signals, [&] {
            signalfd_siginfo info{};
            while (::read(signals, &info, sizeof info) == sizeof info) {
            }
            loop.quit();
        });
    }
    loop.addTimer(kSupervisionInterval, [&] {
        app.supervisor().Supervise();
        app.supervisor().AdjustPriorities();
    });

    loop.run();

    // Stopping the listener ends every transfer before the settings are written.
    app.CloseWaitDialogs();
    app.DestroyListener();
    saveSettings(app.settings, hive);
    if (signals >= 0) {
        loop.unwatch(signals);
        ::close(signals);
    }
    return exitStatus;
}
