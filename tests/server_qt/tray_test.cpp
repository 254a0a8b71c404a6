// The notification-area icon, first without a host on the display, then with trayer as host.
#include <QAction>
#include <QElapsedTimer>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTest>

#include "server/engine/server_application.h"
#include "tests/server_qt/qt_tests.h"
#include "tests/server_qt/windowed_server.h"

namespace qttest {

namespace {

QProcess* trayHost = nullptr;

bool startTrayHost() {
    if (trayHost == nullptr) {
        trayHost = new QProcess;
        trayHost->start("trayer", {"--edge", "bottom", "--widthtype", "pixel", "--width", "120"});
        if (!trayHost->waitForStarted(3000)) {
            return false;
        }
    }
    QElapsedTimer elapsed;
    elapsed.start();
    while (!QSystemTrayIcon::isSystemTrayAvailable() && elapsed.elapsed() < 5000) {
        QTest::qWait(20);
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace

void TrayTest::refusedTrayTurnsTaskbarOffAndWindowStays() {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        QSKIP("a notification area is already on this display");
    }
    WindowedServer s(kTestFlags | 0x4000);  // bUseTaskbar
    QVERIFY(s.started);
    QVERIFY(!s.app().settings.bUseTaskbar);
    QVERIFY(!s.window().tray().shown());
    QTRY_VERIFY_WITH_TIMEOUT(s.window().isVisible(), 2000);
}

void TrayTest::trayHidesWindowShowAndCloseFromItsMenu() {
    if (!startTrayHost()) {
        QSKIP("trayer could not provide a notification area");
    }
    WindowedServer s(kTestFlags | 0x4000);
    QVERIFY(s.started);
    server::MainWindow& w = s.window();
    QVERIFY(s.app().settings.bUseTaskbar);
    QVERIFY(w.tray().shown());
    QTest::qWait(20);
    QVERIFY(!w.isVisible());  // behind the icon from the start
    QCOMPARE(w.tray().icon()->toolTip(), QString("Ravendock"));
    QStringList items;
    for (QAction* a : w.tray().menu().actions()) {
        items << a->text();
    }
    QCOMPARE(items, (QStringList{"Show", "Close"}));

    // Double click: the window comes back and the icon goes.
    w.tray().activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(w.isVisible());
    QVERIFY(!w.tray().shown());

    // Setup with the taskbar on: the icon again; "Close" from its menu ends the program.
    w.afterSetup();
    QVERIFY(w.tray().shown());
    QVERIFY(!w.isVisible());
    w.tray().menu().actions()[1]->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(s.closeRequests, 1, 2000);
    QVERIFY(!w.tray().shown());
}

void TrayTest::cleanupTestCase() {
    if (trayHost != nullptr) {
        trayHost->kill();
        trayHost->waitForFinished(3000);
        delete trayHost;
        trayHost = nullptr;
    }
}

}  // namespace qttest
