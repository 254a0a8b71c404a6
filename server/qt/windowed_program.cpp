#include "server/qt/windowed_program.h"

#include <QApplication>
#include <QSessionManager>
#include <cstdio>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/registry_hive.h"
#include "platform/stop_signals.h"
#include "qtcommon/engine_loop_bridge.h"
#include "server/config/server_program.h"
#include "server/qt/qt_front_end.h"
#include "server/qt/qt_server_dialogs.h"
#include "server/qt/window_resources.h"

namespace server {

int RunWindowed(int argc, char** argv, const std::vector<std::string>& args) {
    // Blocked before Qt starts its threads, which inherit the mask.
    platform::StopSignals stopSignals;
    QApplication qapp(argc, argv);
    InitWindowResources();
    QApplication::setApplicationName("ravendockd");
    QApplication::setApplicationDisplayName("Ravendock");
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(":/icons/ravendockd.svg"));

    platform::EventLoop loop;
    platform::SystemClock clock;
    QtServerDialogs dialogs;
    platform::RegistryHive hive(platform::RegistryHive::defaultPath("ravendockd"));
    QtFrontEnd frontEnd(hive, dialogs);
    qtcommon::EngineLoopBridge bridge(loop);

    int exitStatus = 0;
    {
        ServerProgram program(loop, clock, dialogs, hive, frontEnd);
        frontEnd.attach(program.app());
        if (!program.InitInstance(args)) {
            frontEnd.destroyView();
            frontEnd.destroyMainWindow();
            return 1;  // the program's destructor saves the settings
        }
        for (const auto& option : program.choices().unknownLongOptions) {
            std::fprintf(stderr, "ravendockd: unknown option %s\n", option.c_str());
        }
        std::fprintf(stderr, "ravendockd: listening on %s\n", program.app().ListenText.c_str());
        MainWindow* window = frontEnd.window();
        program.app().onFatalListenerFailure = [&] {
            exitStatus = 1;
            QApplication::quit();
        };
        window->onCloseRequested = [] { QApplication::quit(); };
        if (!stopSignals.watch(loop, [window] { window->close(); })) {
            std::fprintf(stderr, "ravendockd: SIGINT and SIGTERM cannot be caught\n");
        }
        // The session manager asks first (the list goes to the log), then ends the session.
        QObject::connect(&qapp, &QGuiApplication::commitDataRequest, window,
                         [window](QSessionManager&) { window->sessionQuery(); });
        QObject::connect(&qapp, &QCoreApplication::aboutToQuit, window, [window] {
            if (window->endingWithSession()) {
                window->sessionEnd();
            }
        });
        if (program.choices().music) {
            window->onMusic();
        }

        QApplication::exec();

        // Exit's order: the document closes (every row to the log), the view goes (the layout
        // saved), the tray icon goes, then the program ends: transfers stopped, settings saved.
        frontEnd.closeDocument();
        frontEnd.destroyView();
        program.ExitInstance();
        stopSignals.stopWatching();
        frontEnd.destroyMainWindow();
    }
    return exitStatus;
}

}  // namespace server
