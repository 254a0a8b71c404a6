// The setup sheet, ICMP report and version check reached from the real main window.
#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <filesystem>

#include "platform/registry_hive.h"
#include "platform/udp_socket.h"
#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"
#include "server/monitor/version_check.h"
#include "server/qt/options_clients_page.h"
#include "server/qt/options_folder_pages.h"
#include "server/qt/options_other_page.h"
#include "server/qt/options_sheet_dialog.h"
#include "server/qt/version_check_dialog.h"
#include "server/qt/window_resources.h"
#include "setup_qt_harness.h"
#include "tests/server_qt/windowed_server.h"

namespace {

template <typename Widget>
Widget* waitForModal() {
    Widget* widget = nullptr;
    setupqt::pumpUntil([&] {
        widget = dynamic_cast<Widget*>(QApplication::activeModalWidget());
        return widget != nullptr;
    });
    return widget;
}

}  // namespace

class SetupWiringTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void ctrlUChangesPortClientLimitAndInboundFolder() {
        auto s = std::make_unique<qttest::WindowedServer>();
        QVERIFY(s->started);
        server::MainWindow& w = s->window();
        s->writeOutFile("file.bin", 3000);
        const std::uint16_t newPort = setupqt::TestServer::freePort();
        const std::string inbound = s->root + "/uploads/";
        std::filesystem::create_directories(inbound);
        bool sheetSeen = false;

        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // Runs inside the sheet's own loop.
        QTimer::singleShot(0, &w, [&] {
            auto* sheet = waitForModal<server::OptionsSheetDialog>();
            if (sheet == nullptr) {
                return;
            }
            sheetSeen = sheet->tabs()->count() == 8;
            auto* in = static_cast<server::InboundPageWidget*>(
                sheet->page(server::OptionsPageId::Inbound));
            in->pathEdit()->selectAll();
            QTest::keyClicks(in->pathEdit(), QString::fromStdString(inbound));
            sheet->tabs()->setCurrentIndex(static_cast<int>(server::OptionsPageId::Other));
            auto* other =
                static_cast<server::OtherPageWidget*>(sheet->page(server::OptionsPageId::Other));
            other->portEdit()->selectAll();
            QTest::keyClicks(other->portEdit(), QString::number(newPort));
            sheet->tabs()->setCurrentIndex(static_cast<int>(server::OptionsPageId::Clients));
            static_cast<server::ClientsPageWidget*>(sheet->page(server::OptionsPageId::Clients))
                ->clientSlider()
                ->setValue(2);
            sheet->okButton()->click();
        });
        QTest::keyClick(&w, Qt::Key_U, Qt::ControlModifier);
        QVERIFY(sheetSeen);
        QCOMPARE(s->app().listener()->port(), newPort);
        QCOMPARE(s->app().settings.InPath, inbound);

        // Five clients were the limit; a sixth is admitted now, all on the new port.
        std::vector<std::unique_ptr<qttest::TftpTestClient>> clients;
        for (int i = 0; i < 6; ++i) {
            auto& client = clients.emplace_back(std::make_unique<qttest::TftpTestClient>(newPort));
            client->ackLimit = 0;
            client->fetch("file.bin");
            QVERIFY(s->pumpUntil([&] { return client->lastBlock == 1 || client->refusalSize > 0; },
                                 {client.get()}));
            QCOMPARE(client->refusalSize, std::size_t{0});
        }
        for (auto& client : clients) {
            client->resume();
        }
        QVERIFY(s->pumpUntil(
            [&] {
                for (auto& client : clients) {
                    if (!client->done) {
                        return false;
                    }
                }
                return true;
            },
            {clients[0].get(), clients[1].get(), clients[2].get(), clients[3].get(),
             clients[4].get(), clients[5].get()}));

        // An upload lands in the new inbound folder.
        platform::UdpSocket writer;
        QVERIFY(writer.open(0x7f000001, 0));
        const std::uint8_t wrq[] = {0, 2,   'u', 'p', '.', 't', 'x', 't',
                                    0, 'o', 'c', 't', 'e', 't', 0};
        writer.sendTo(wrq, sizeof wrq, {0x7f000001, newPort});
        std::uint8_t reply[64];
        platform::Ipv4Endpoint from;
        QVERIFY(s->pumpUntil([&] { return writer.receiveFrom(reply, sizeof reply, from) == 4; }));
        const std::uint8_t data[] = {0, 3, 0, 1, 'h', 'i'};
        writer.sendTo(data, sizeof data, from);
        QVERIFY(s->pumpUntil([&] { return writer.receiveFrom(reply, sizeof reply, from) == 4; }));
        QVERIFY(std::filesystem::exists(inbound + "up.txt"));

        // Exit: both values reach the hive.
        s->exit();
        platform::RegistryHive hive(s->root + "/ravendockd.reg");
        QCOMPARE(hive.readString(server::kSettingsKey, "Port"),
                 std::optional<std::string>(std::to_string(newPort)));
        QCOMPARE(hive.readString(server::kSettingsKey, "InPath"),
                 std::optional<std::string>(inbound));
    }

    void icmpReportCommandTogglesItsWindow() {
        qttest::WindowedServer s;
        QVERIFY(s.started);
        server::MainWindow& w = s.window();
        QAction* command = w.action("icmpReport");
        server::IcmpReportWindow* report = w.icmpReportWindow();
        QCOMPARE(command->isEnabled(), report != nullptr);
        if (report == nullptr) {
            QSKIP("raw ICMP sockets are not available to this process");
        }
        QVERIFY(!report->isVisible());
        command->trigger();
        QVERIFY(report->isVisible());
        QCOMPARE(report->windowTitle(), QStringLiteral("Detected ICMP Messages"));
        command->trigger();
        QVERIFY(!report->isVisible());
    }

    void checkVersionAsksThenShowsItsLines() {
        setupqt::LocalHttpServer http;
        qttest::WindowedServer s(qttest::kTestFlags, [&](platform::RegistryHive& hive) {
            hive.writeString(server::kSettingsKey, server::kVersionHostValue, "127.0.0.1");
            hive.writeDword(server::kSettingsKey, server::kVersionPortValue, http.port);
        });
        QVERIFY(s.started);
        setupqt::BoxAnswerer answers({{QStringLiteral("Yes"), "unused"}});
        QString lines;
        // Polls without blocking, so the question's own loop can end first.
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog =
                dynamic_cast<server::VersionCheckWindow*>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                return;
            }
            poll.stop();
            http.serve("<!Current Version=V3.50>");
            setupqt::pumpUntil([&] {
                return dialog->lines()->toPlainText().contains(QStringLiteral("Size : 0"));
            });
            lines = dialog->lines()->toPlainText();
            dialog->cancelButton()->click();
        });
        poll.start();
        s.window().action("checkVersion")->trigger();
        QCOMPARE(answers.texts,
                 std::vector<QString>{QStringLiteral("Are you connected to the Internet ?")});
        QVERIFY(lines.contains(QStringLiteral("Latest Version : V3.50")));
    }
};

int main(int argc, char** argv) {
    const QByteArray config = "/tmp/ravendock-setup-wiring-" + QByteArray::number(::getpid());
    ::setenv("XDG_CONFIG_HOME", config.constData(), 1);
    QApplication app(argc, argv);
    server::InitWindowResources();
    SetupWiringTest test;
    const int failed = QTest::qExec(&test, argc, argv);
    std::filesystem::remove_all(config.toStdString());
    return failed;
}

#include "setup_wiring_test.moc"
