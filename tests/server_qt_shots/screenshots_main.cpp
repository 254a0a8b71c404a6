// Writes pictures of the server's window with live transfers, its tray menu and each of its
// dialogs into the folder given as the argument (scripts/screenshots.sh runs it on Xvfb with a
// window manager, so the pictures carry their frames).
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"
#include "server/qt/listening_address_dialog.h"
#include "server/qt/multihomed_dialog.h"
#include "server/qt/window_resources.h"
#include "tests/server_qt/windowed_server.h"

namespace {

QString folder;
int failures = 0;

// The window as the screen shows it, frame and all.
void shoot(QWidget* widget, const QString& name) {
    QTest::qWait(300);
    QRect area = widget->frameGeometry();
    QPixmap picture =
        widget->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (picture.isNull() || !picture.save(folder + "/" + name + ".png")) {
        std::fprintf(stderr, "screenshots: %s failed\n", qPrintable(name));
        ++failures;
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("XDG_CONFIG_HOME", "/tmp/ravendock-screenshots-config", 1);
    QApplication app(argc, argv);
    server::InitWindowResources();
    folder = argc > 1 ? argv[1] : "build/screenshots";
    QDir().mkpath(folder);

    qttest::WindowedServer s(qttest::kTestFlags);
    if (!s.started) {
        return 1;
    }
    server::MainWindow& w = s.window();
    w.setGeometry(60, 60, 780, 300);
    QTest::qWait(200);

    // Rows of every kind: finished, live at several points, held by clients that stop acking.
    s.writeOutFile("firmware.bin", 512 * 200);
    s.writeOutFile("pxelinux.0", 512 * 60 + 17);
    qttest::TftpTestClient done(s.port);
    done.fetch("pxelinux.0");
    s.pumpUntil([&] { return done.done; }, {&done});
    s.pumpUntil([&] {
        s.view().Tick();
        return s.view().rows().back().cells[server::kColumnResult] != "";
    });
    std::vector<std::unique_ptr<qttest::TftpTestClient>> live;
    for (int limit : {12, 90, 171}) {
        live.push_back(std::make_unique<qttest::TftpTestClient>(s.port));
        live.back()->ackLimit = limit;
        live.back()->fetch("firmware.bin");
        qttest::TftpTestClient* client = live.back().get();
        s.pumpUntil([&] { return client->lastBlock >= limit + 1; }, {client});
    }
    s.pumpUntil([] { return false; }, {});  // a few seconds for the list to catch up
    s.view().rows();
    shoot(&w, "main-window");
    w.action("useGraphic")->trigger();
    shoot(&w, "main-window-graphic");

    // The tray icon's menu, beside the window it stands in for.
    w.addTrayIcon();
    if (w.tray().shown()) {
        w.tray().menu().popup(QPoint(300, 200));
        shoot(&w.tray().menu(), "tray-menu");
        w.tray().menu().hide();
        w.showFromTray();
    }

    w.action("about")->trigger();
    shoot(w.aboutSheet(), "about-contact");
    w.aboutSheet()->findChild<QTabWidget*>("pages")->setCurrentIndex(1);
    shoot(w.aboutSheet(), "about-version");
    w.aboutSheet()->close();

    w.action("stop")->trigger();
    shoot(s.dialogs.waitDialog(server::WaitDialogKind::StopServing), "wait-dialog-stop");
    w.action("start")->trigger();
    s.app().ApplyListenChange();
    shoot(s.dialogs.waitDialog(server::WaitDialogKind::PortChange), "wait-dialog-port");
    s.app().CloseWaitDialogs();

    // Modal: shot from inside its own loop, then closed.
    QTimer::singleShot(0, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr) {
            shoot(modal, "server-info");
            modal->close();
        }
    });
    w.action("info")->trigger();

    server::ListeningAddressDialog address(&w);
    address.show();
    shoot(&address, "listening-address");
    address.close();
    server::MultihomedDialog multihomed({"192.168.0.20", "10.0.0.5", "172.16.4.1"}, false, &w);
    multihomed.show();
    shoot(&multihomed, "multihomed");
    multihomed.close();

    w.showMinimized();
    QTest::qWait(200);
    qttest::TftpTestClient newcomer(s.port);
    newcomer.fetch("pxelinux.0");
    s.pumpUntil([&] { return newcomer.done; }, {&newcomer});
    if (w.alert() != nullptr) {
        w.alert()->move(200, 200);
        shoot(w.alert(), "new-client-alert");
    }
    w.showNormal();

    server::SplashWindow* splash = server::SplashWindow::create(":/images/splash.png", {});
    splash->show();
    shoot(splash, "splash");
    splash->close();

    for (auto& client : live) {
        client->resume();
    }
    return failures == 0 ? 0 : 1;
}
