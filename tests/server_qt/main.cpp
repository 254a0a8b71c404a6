// The server's window under a real display (the test command starts Xvfb).
#include <QApplication>
#include <QTest>
#include <cstdlib>

#include "server/qt/window_resources.h"
#include "tests/server_qt/qt_tests.h"

int main(int argc, char** argv) {
    // RunOnce registrations and autostart entries go to a scratch folder.
    const QByteArray scratch = qgetenv("TMPDIR").isEmpty() ? "/tmp" : qgetenv("TMPDIR");
    const QByteArray config = scratch + "/ravendock-qt-tests-" + QByteArray::number(::getpid());
    ::setenv("XDG_CONFIG_HOME", config.constData(), 1);
    ::setenv("TZ", "UTC", 1);
    QApplication app(argc, argv);
    server::InitWindowResources();
    int failed = 0;
    qttest::RowPaintingTest painting;
    failed += QTest::qExec(&painting, argc, argv);
    qttest::EngineLoopBridgeTest bridge;
    failed += QTest::qExec(&bridge, argc, argv);
    qttest::MainWindowTest window;
    failed += QTest::qExec(&window, argc, argv);
    qttest::TrayTest tray;
    failed += QTest::qExec(&tray, argc, argv);
    return failed == 0 ? 0 : 1;
}
