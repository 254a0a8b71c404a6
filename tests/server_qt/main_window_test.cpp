// The real window around the real engine on 127.0.0.1.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMovie>
#include <QPushButton>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "server/config/run_once.h"
#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"
#include "server/monitor/window_layout.h"
#include "tests/server_qt/qt_tests.h"
#include "tests/server_qt/windowed_server.h"

namespace qttest {

namespace {

int liveClients(server::ServerApplication& app) {
    std::lock_guard lock(app.threadListMutex);
    return app.listener() != nullptr ? static_cast<int>(app.listener()->clientCount()) : -1;
}

QString caption(WindowedServer& s) {
    return QString("Ravendock - 127.0.0.1.%1").arg(s.port);
}

}  // namespace

void MainWindowTest::menuTextsPromptsAndEnableRules() {
    WindowedServer s;
    QVERIFY(s.started);
    server::MainWindow& w = s.window();
    QCOMPARE(w.windowTitle(), caption(s));

    QStringList menus;
    for (QAction* menu : w.menuBar()->actions()) {
        menus << menu->text();
    }
    QCOMPARE(menus, (QStringList{"&File", "System", "&View", "&Help"}));
    auto items = [&](int menu) {
        QStringList texts;
        for (QAction* item : w.menuBar()->actions()[menu]->menu()->actions()) {
            if (!item->isSeparator()) {
                texts << item->text();
            }
        }
        return texts;
    };
    QCOMPARE(items(0),
             (QStringList{"&Stop Serving\tCtrl+S", "S&tart Serving\tCtrl+G", "E&xit\tAlt+F4"}));
    QCOMPARE(items(1), (QStringList{"Set&up\tCtrl+U", "&Info"}));
    QCOMPARE(items(2), (QStringList{"&Toolbar", "&Status Bar", "&Clear Display", "&Use Graphic ",
                                    "&ICMP Report"}));
    QCOMPARE(items(3), (QStringList{"&Help Topics\tF1", "&About Ravendock ...\tCtrl+A",
                                    "&Check Version ...", "Reset Co&lumns", "&Music\tF12"}));
    QCOMPARE(w.action("stop")->shortcut(), QKeySequence("Ctrl+S"));
    QCOMPARE(w.action("music")->shortcut(), QKeySequence("F12"));
    QCOMPARE(w.action("stop")->statusTip(), QString("Stops the server responding to clients"));
    QCOMPARE(w.action("stop")->toolTip(), QString("Switch Off"));
    QCOMPARE(w.action("music")->toolTip(), QString("To sooth the troubled brow ..."));
    QCOMPARE(w.action("info")->statusTip(), QString("Local Server Information"));

    // Toolbar order: About, context help, gap, Stop, gap, Start, gap, Clear, gap, ICMP Report.
    QStringList bar;
    for (QAction* a : w.findChild<QToolBar*>("toolBar")->actions()) {
        bar << (a->isSeparator() ? "|" : a->objectName());
    }
    QCOMPARE(bar, (QStringList{"about", "contextHelp", "|", "stop", "|", "start", "|", "clear", "|",
                               "icmpReport"}));
    // At start the status line names the folders served (kept as its tool tip), then goes back
    // to its idle text.
    QVERIFY(w.statusBar()->currentMessage().startsWith("Serving reads from "));
    QCOMPARE(w.statusBar()->toolTip(), w.statusBar()->currentMessage());
    w.statusBar()->clearMessage();
    QCOMPARE(w.statusBar()->currentMessage(), QString(server::kIdleStatusText));

    // Serving: Stop enabled, Start not; Stop without clients swaps them and shows no dialog.
    QVERIFY(w.action("stop")->isEnabled());
    QVERIFY(!w.action("start")->isEnabled());
    w.action("stop")->trigger();
    QVERIFY(!s.app().bServing);
    QVERIFY(!w.action("stop")->isEnabled());
    QVERIFY(w.action("start")->isEnabled());
    QVERIFY(s.dialogs.waitDialog(server::WaitDialogKind::StopServing) == nullptr);
    w.action("start")->trigger();
    QVERIFY(s.app().bServing);

    // Use Graphic: the check mark follows the flag, which is kept for the settings.
    QVERIFY(!w.action("useGraphic")->isChecked());
    w.action("useGraphic")->trigger();
    QVERIFY(w.action("useGraphic")->isChecked());
    QVERIFY(s.app().settings.bGraphics);

    // About: one sheet at a time, with its two pages.
    w.action("about")->trigger();
    QPointer<server::AboutSheet> about = w.aboutSheet();
    QVERIFY(about != nullptr && about->isVisible());
    QCOMPARE(about->windowTitle(), QString("About Ravendock"));
    w.action("about")->trigger();
    QCOMPARE(w.aboutSheet(), about.data());
    auto* pages = about->findChild<QTabWidget*>("pages");
    QCOMPARE(pages->tabText(0), QString("Contact"));
    QCOMPARE(pages->tabText(1), QString("Version"));
    QVERIFY(about->findChild<QLabel*>("versionText")->text().contains("Version 3.6.0"));

    // Clear Display sends the start-up row to the log.
    w.action("clear")->trigger();
    QCOMPARE(s.view().rows().size(), std::size_t{0});
    QVERIFY(QString::fromStdString(s.logText()).startsWith("Ravendock V3.60 "));
}

void MainWindowTest::captionRenewedAfterListenerRestart() {
    WindowedServer s;
    QVERIFY(s.started);
    platform::UdpSocket probe;
    probe.open(0x7f000001, 0);
    const std::uint16_t newPort = probe.localEndpoint().port;
    probe.close();
    s.app().settings.Port = std::to_string(newPort);
    s.app().ApplyListenChange();  // no clients: restarts at once
    QCOMPARE(s.window().windowTitle(), QString("Ravendock - 127.0.0.1.%1").arg(newPort));
}

void MainWindowTest::stopWithTwoLiveTransfersKeepThenDrop() {
    WindowedServer s;
    QVERIFY(s.started);
    s.writeOutFile("f.bin", 512 * 6 + 100);
    TftpTestClient a(s.port), b(s.port);
    a.ackLimit = b.ackLimit = 1;
    a.fetch("f.bin");
    b.fetch("f.bin");
    QVERIFY(s.pumpUntil([&] { return a.lastBlock >= 2 && b.lastBlock >= 2; }, {&a, &b}));
    QCOMPARE(liveClients(s.app()), 2);

    server::MainWindow& w = s.window();
    w.action("stop")->trigger();
    QVERIFY(w.action("start")->isEnabled());
    QPointer<server::WaitDialog> wait = s.dialogs.waitDialog(server::WaitDialogKind::StopServing);
    QVERIFY(wait != nullptr && wait->isVisible());
    QCOMPARE(wait->windowTitle(), QString("Executive decision time ..."));
    QTest::mouseClick(wait->findChild<QPushButton*>("keepClients"), Qt::LeftButton);
    QVERIFY(s.pumpUntil([&] { return wait == nullptr; }));
    QCOMPARE(liveClients(s.app()), 2);

    // New requests are refused while the two kept transfers run to their end.
    TftpTestClient late(s.port);
    late.fetch("f.bin");
    QVERIFY(s.pumpUntil([&] { return late.refusalSize != 0; }, {&late}));
    QCOMPARE(late.refusalSize, std::size_t{27});
    a.resume();
    b.resume();
    QVERIFY(s.pumpUntil([&] { return a.done && b.done; }, {&a, &b}));
    QCOMPARE(a.received.size(), std::size_t{512 * 6 + 100});
    // The 5-second pass reports the ended transfers once their last ACK is in.
    QVERIFY(s.pumpUntil([&] {
        s.view().Tick();
        return liveClients(s.app()) == 0;
    }));
    const auto& rows = s.view().rows();
    QCOMPARE(rows.size(), std::size_t{3});
    QCOMPARE(rows[1].cells[server::kColumnResult], std::string("Finished : Sending"));
    QCOMPARE(rows[2].cells[server::kColumnResult], std::string("Finished : Sending"));

    // Drop: the listener is made again and the transfers stop.
    w.action("start")->trigger();
    TftpTestClient c(s.port), d(s.port);
    c.ackLimit = d.ackLimit = 1;
    c.fetch("f.bin");
    d.fetch("f.bin");
    QVERIFY(s.pumpUntil([&] { return c.lastBlock >= 2 && d.lastBlock >= 2; }, {&c, &d}));
    w.action("stop")->trigger();
    wait = s.dialogs.waitDialog(server::WaitDialogKind::StopServing);
    QVERIFY(wait != nullptr);
    QTest::mouseClick(wait->findChild<QPushButton*>("dropClients"), Qt::LeftButton);
    QVERIFY(s.pumpUntil([&] { return wait == nullptr; }));
    QCOMPARE(liveClients(s.app()), 0);
    QVERIFY(!s.app().bServing);
    QCOMPARE(w.windowTitle(), caption(s));
}

void MainWindowTest::transferCompletesWhileModalDialogIsOpen() {
    WindowedServer s;
    QVERIFY(s.started);
    s.writeOutFile("m.bin", 512 * 40 + 3);
    TftpTestClient client(s.port);
    client.fetch("m.bin");
    QSocketNotifier acks(client.fd(), QSocketNotifier::Read);
    QObject::connect(&acks, &QSocketNotifier::activated, [&] { client.pump(); });

    // Inside the modal "Local Server Info" the fetch runs to its end; then the dialog closes.
    bool sawDialog = false;
    int polls = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr) {
            sawDialog = modal->windowTitle() == "Local Server Info";
        }
        // Once the fetch is through, passes until its row has its result.
        if ((client.done || ++polls > 2000) && modal != nullptr) {
            s.view().Tick();
            if (s.view().rows().back().cells[server::kColumnResult] != "" || polls > 2000) {
                modal->close();
            }
        }
    });
    poll.start(2);
    s.window().action("info")->trigger();  // returns when the dialog closes
    poll.stop();
    QVERIFY(sawDialog);
    QVERIFY(client.done);
    QCOMPARE(client.received.size(), std::size_t{512 * 40 + 3});
    QCOMPARE(s.view().rows().back().cells[server::kColumnResult],
             std::string("Finished : Sending"));
}

void MainWindowTest::layoutSavedAtExitAndRestoredAtStart() {
    std::string hivePath;
    std::string log;
    QTemporaryDir keep;
    {
        WindowedServer s;
        QVERIFY(s.started);
        server::MainWindow& w = s.window();
        w.setGeometry(40, 50, 700, 300);
        QTest::qWait(5);
        w.listView().header()->resizeSection(1, 200);  // as the user drags it
        QCOMPARE(s.view().columnWidths()[1], 200);
        // Exit: the window asks the program to end, which then goes in its order.
        w.action("exit")->trigger();
        QCOMPARE(s.closeRequests, 1);
        s.frontEnd->closeDocument();
        s.frontEnd->destroyView();
        log = s.logText();
        platform::RegistryHive saved(s.root + "/ravendockd.reg");
        saved.reload();
        const server::WindowLayout layout = server::LoadWindowLayout(saved);
        QVERIFY(layout.haveRect);
        QCOMPARE(layout.rect.left, 40);
        QCOMPARE(layout.rect.top, 50);
        QCOMPARE(layout.rect.right, 740);
        QCOMPARE(layout.widths[1], 200);
        hivePath = keep.path().toStdString() + "/kept.reg";
        QFile::copy(QString::fromStdString(s.root + "/ravendockd.reg"),
                    QString::fromStdString(hivePath));
    }
    QVERIFY(QString::fromStdString(log).startsWith("Ravendock V3.60 "));

    WindowedServer again(kTestFlags, [&](platform::RegistryHive& hive) {
        platform::RegistryHive kept(hivePath);
        kept.reload();
        const server::WindowLayout layout = server::LoadWindowLayout(kept);
        server::SaveWindowLayout(hive, layout.rect, layout.widths);
        hive.reload();
    });
    QVERIFY(again.started);
    QTest::qWait(5);
    QCOMPARE(again.window().geometry(), QRect(40, 50, 700, 300));
    QCOMPARE(again.window().listView().header()->sectionSize(1), 200);
}

void MainWindowTest::alertWhileMinimisedOneInstanceGoneOnActivation() {
    WindowedServer s;
    QVERIFY(s.started);
    server::MainWindow& w = s.window();
    w.showMinimized();
    QTest::qWait(5);
    s.writeOutFile("a.bin", 10);
    TftpTestClient first(s.port), second(s.port);
    first.fetch("a.bin");
    QVERIFY(s.pumpUntil([&] { return first.done; }, {&first}));
    QPointer<server::NewClientAlert> alert = w.alert();
    QVERIFY(alert != nullptr && alert->isVisible());
    QCOMPARE(alert->windowTitle(), QString("Ravendock          New Client being Served"));
    QVERIFY(alert->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(alert->palette().color(QPalette::Window), QColor(255, 0, 255));
    QCOMPARE(alert->clientText(), QString("127.0.0.1"));
    QVERIFY(alert->movie()->isValid());
    QCOMPARE(alert->movie()->state(), QMovie::Running);

    // A key hides it; the next client shows the same one again.
    QTest::keyClick(alert.data(), Qt::Key_Space);
    QVERIFY(!alert->isVisible());
    second.fetch("a.bin");
    QVERIFY(s.pumpUntil([&] { return second.done; }, {&second}));
    QCOMPARE(w.alert(), alert.data());
    QVERIFY(alert->isVisible());

    // The main window active again: the alert goes.
    w.showNormal();
    QApplication::setActiveWindow(&w);
    QVERIFY(s.pumpUntil([&] { return alert == nullptr; }));
    QVERIFY(!s.view().alertExists());
}

void MainWindowTest::splashClosesAtItsTimeoutOrFirstKeyWhichItSwallows() {
    std::function<void()> fire;
    int interval = 0;
    // Like a timer with a context object: nothing fires once the context is gone.
    auto fakeTimer = [&](QObject* context, int ms, std::function<void()> f) {
        interval = ms;
        fire = [guard = QPointer<QObject>(context), f = std::move(f)] {
            if (guard != nullptr) {
                f();
            }
        };
    };
    platform::EventLoop loop;
    platform::ManualClock clock;
    server::QtServerDialogs dialogs;
    QTemporaryDir dir;
    platform::RegistryHive hive(dir.path().toStdString() + "/r.reg");
    server::QtFrontEnd frontEnd(hive, dialogs);
    frontEnd.setSplashTimer(fakeTimer);
    server::ServerApplication app(loop, clock, dialogs);
    app.listenAddress = "127.0.0.1";
    frontEnd.attach(app);
    frontEnd.enableSplash();
    QVERIFY(frontEnd.createMainWindow(false));
    QPointer<server::SplashWindow> splash = frontEnd.splash();
    QVERIFY(splash != nullptr && splash->isVisible());
    QCOMPARE(interval, server::SplashWindow::kSplashTimeoutMs);
    QCOMPARE(splash->size(), QPixmap(":/images/splash.png").size());
    QVERIFY(splash->windowFlags() & Qt::FramelessWindowHint);
    fire();
    QVERIFY(!splash->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(splash == nullptr, 2000);
    fire();  // a late timer finds nothing to close
    frontEnd.destroyView();
    frontEnd.destroyMainWindow();

    // A second program: the first key press closes the splash and goes no further.
    server::QtFrontEnd other(hive, dialogs);
    other.setSplashTimer(fakeTimer);
    other.attach(app);
    other.enableSplash();
    QVERIFY(other.createMainWindow(false));
    splash = other.splash();
    QVERIFY(splash != nullptr);
    QTest::qWait(5);
    const bool servingBefore = app.bServing;
    QTest::keyClick(other.window(), Qt::Key_S, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(splash == nullptr, 2000);
    QCOMPARE(app.bServing, servingBefore);  // Ctrl+S did not reach Stop
    other.destroyView();
    other.destroyMainWindow();
}

void MainWindowTest::listBackgroundFollowsThePalette() {
    WindowedServer s;
    QVERIFY(s.started);
    const QPalette original = QApplication::palette();
    QPalette changed = original;
    changed.setColor(QPalette::Base, QColor(10, 120, 30));
    QApplication::setPalette(changed);
    QTest::qWait(5);
    const QImage shot = s.window().listView().viewport()->grab().toImage();
    QCOMPARE(shot.pixelColor(shot.width() - 5, shot.height() - 5), QColor(10, 120, 30));
    // The rows' cells too: the start-up row's empty Finish cell.
    const QRect first =
        s.window().listView().visualRect(s.window().listView().model()->index(0, 4));
    QCOMPARE(shot.pixelColor(first.center().x(), first.center().y()), QColor(10, 120, 30));
    QApplication::setPalette(original);
}

void MainWindowTest::sessionQueryLogsRowsAndEndRegistersRestart() {
    for (const bool preventRestart : {false, true}) {
        // bPreventRestart is stored inverted: a clear bit means it is on.
        WindowedServer s(preventRestart ? kTestFlags & ~0x200u : kTestFlags);
        QVERIFY(s.started);
        s.window().sessionQuery();
        QVERIFY(s.view().rows().empty());
        QVERIFY(QString::fromStdString(s.logText()).startsWith("Ravendock V3.60 "));
        QVERIFY(s.window().endingWithSession());
        s.window().sessionEnd();
        platform::RegistryHive saved(s.root + "/ravendockd.reg");
        saved.reload();
        const auto restart = saved.readString(server::kRunOnceKey, server::kRunOnceSelf);
        QCOMPARE(restart.has_value(), !preventRestart);
        if (restart) {
            QCOMPARE(*restart, s.root + "/ravendockd");
        }
        // The rectangle only; the widths are not written at the session's end.
        QVERIFY(saved.readDword(server::kSettingsKey, "WinLeft").has_value());
        QVERIFY(!saved.readDword(server::kSettingsKey, "Col1").has_value());
    }
}

void MainWindowTest::progressOfEveryBlockRepaintsTheRowOnceAPeriod() {
    WindowedServer s;
    QVERIFY(s.started);
    s.window().listView().listModel().flushChanges();  // the start-up row's result
    s.view().AddClientRow(5, "10.0.0.1");
    QSignalSpy repaints(&s.window().listView().listModel(), &server::ClientListModel::rowsChanged);
    for (int block = 1; block <= 500; ++block) {
        s.view().onTransferNotice({server::TransferEvent::Progress, 5, {}, block * 512, 500 * 512});
    }
    QCOMPARE(repaints.count(), 0);
    QVERIFY(repaints.wait(1000));
    QCOMPARE(repaints.count(), 1);
    // The new row alone, below the start-up row.
    QCOMPARE(repaints.at(0).at(0).toInt(), 1);
    QCOMPARE(repaints.at(0).at(1).toInt(), 1);
    QCOMPARE(s.view().rows()[1].cells[server::kColumnStatus], std::string("%100, 256000"));
}

}  // namespace qttest
