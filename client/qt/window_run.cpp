#include "client/qt/window_run.h"

#include <QApplication>
#include <QIcon>

#include "client/qt/main_frame.h"
#include "platform/clock.h"
#include "qtcommon/engine_loop_bridge.h"

namespace clientqt {

int RunWindow(client::CMerrowinApp& app, platform::EventLoop& loop, client::IniProfile& profile,
              QtClientDialogs& dialogs, const std::vector<std::string>& args) {
    qtcommon::EngineLoopBridge bridge(loop);
    CMainFrame frame(app, profile);
    dialogs.SetParentWidget(&frame);
    bool closed = false;
    QObject::connect(&frame, &CMainFrame::closed, [&closed] {
        closed = true;
        QCoreApplication::quit();
    });
    frame.show();
    frame.StartUp([&] { app.InitInstance(frame, args); });
    if (!closed) {
        QApplication::exec();
    }
    dialogs.SetParentWidget(nullptr);
    return app.ExitInstance();
}

int RunWindowProgram(int argc, char** argv, const std::vector<std::string>& args) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("merrowinc");
    QApplication::setDesktopFileName("merrowinc");
    platform::EventLoop loop;
    platform::SystemClock clock;
    QtClientDialogs dialogs;
    client::IniProfile profile(client::ClientProfilePath());
    client::CMerrowinApp app(loop, clock, dialogs, profile, client::LocalHost::System());
    return RunWindow(app, loop, profile, dialogs, args);
}

}  // namespace clientqt
