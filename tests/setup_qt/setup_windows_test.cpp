#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <filesystem>
#include <fstream>

#include "platform/registry_hive.h"
#include "server/monitor/icmp_report.h"
#include "server/qt/folder_browser_dialog.h"
#include "server/qt/icmp_report_window.h"
#include "server/qt/version_check_dialog.h"
#include "setup_qt_harness.h"

class SetupWindowsTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void folderBrowserWalksFoldersAndReturnsThePath() {
        char pattern[] = "/tmp/ravendock-browse-XXXXXX";
        const std::string dir = ::mkdtemp(pattern);
        std::filesystem::create_directories(dir + "/alpha/inner");
        std::filesystem::create_directories(dir + "/beta");
        server::FolderBrowser browser(
            dir + "/alpha", server::MountTable::Parse("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"),
            {{"/dev/sda1", "system"}});
        server::FolderBrowserDialog dialog;
        QStringList rows;
        QString shownPath;
        QString drive;
        bool readOnly = false;
        // Only gathers what the dialog shows: a failed check here would leave it open.
        QTimer::singleShot(0, &dialog, [&] {
            drive = dialog.drives()->currentText();
            readOnly = dialog.pathField()->isReadOnly();
            for (int i = 0; i < dialog.folders()->count(); ++i) {
                rows << dialog.folders()->item(i)->text();
            }
            setupqt::snap(&dialog, "folder-browser");
            dialog.folders()->setCurrentRow(rows.indexOf(QStringLiteral("alpha")));
            QTest::keyClick(dialog.folders(), Qt::Key_Return);
            shownPath = dialog.pathField()->text();
            dialog.accept();
        });
        QVERIFY(dialog.run(browser));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Folder Browser"));
        QVERIFY(readOnly);
        QVERIFY(drive.startsWith(QStringLiteral("/ ")));
        rows.sort();
        QCOMPARE(rows, QStringList({"[..]", "alpha", "beta"}));
        QCOMPARE(shownPath, QString::fromStdString(dir + "/alpha/"));
        QCOMPARE(browser.path(), dir + "/alpha/");
        std::filesystem::remove_all(dir);
    }

    void icmpReportListsNewestFirstAndHides() {
        server::ServerSettings settings;
        settings.IcmpFlags = 0x2001;
        platform::ManualClock clock;
        clock.set(1'796'000'000);
        server::IcmpReport report(settings, clock);
        server::IcmpReportWindow window(report);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.windowTitle(), QStringLiteral("Detected ICMP Messages"));
        std::vector<std::uint8_t> datagram(28, 0);
        datagram[12] = 10;
        datagram[15] = 7;
        report.AddIcmpRow(datagram);  // type 0, echo reply
        datagram[20] = 200;
        datagram[15] = 8;
        report.AddIcmpRow(datagram);
        datagram[20] = 3;  // not selected
        report.AddIcmpRow(datagram);
        QCOMPARE(window.list()->topLevelItemCount(), 2);
        QCOMPARE(window.list()->topLevelItem(0)->text(0), QStringLiteral("10.0.0.8"));
        QCOMPARE(window.list()->topLevelItem(0)->text(2), QStringLiteral("Unassigned report (C8)"));
        QCOMPARE(window.list()->topLevelItem(1)->text(2), QStringLiteral("Echo Reply"));

        report.toggleVisible();
        QVERIFY(window.isVisible());
        setupqt::snap(&window, "icmp-report");
        window.resize(200, 200);
        QApplication::processEvents();
        QCOMPARE(window.list()->columnWidth(2), 0);
        window.hideButton()->click();
        QVERIFY(!window.isVisible());
        QVERIFY(!report.visible());
    }

    void versionCheckFindsANewerVersionAndDownloadsIt() {
        setupqt::TestServer server;
        setupqt::LocalHttpServer http;
        platform::RegistryHive hive(server.root + "/hive.reg");
        hive.writeString(server::kSettingsKey, server::kVersionHostValue, "127.0.0.1");
        hive.writeDword(server::kSettingsKey, server::kVersionPortValue, http.port);
        server.app.settings.Location = server.root + "/ravendockd";

        // The question first; No ends the command.
        {
            setupqt::BoxAnswerer answers({{QStringLiteral("No"), "version-question"}});
            server::RunVersionCheck(server.loop, server.app.settings, hive, nullptr);
            QCOMPARE(answers.texts,
                     std::vector<QString>{QStringLiteral("Are you connected to the Internet ?")});
        }

        server::VersionCheckWindow window(server.loop, server.app.settings, hive);
        QCOMPARE(window.windowTitle(), QStringLiteral("Version Check"));
        window.show();
        window.check().start();
        QVERIFY(!window.downloadButton()->isEnabled());
        QVERIFY(
            http.serve("<!note=Hello><!current version=V3.70><!size=5>"
                       "<!available from=/files/new.exe>"));
        QVERIFY(setupqt::pumpUntil([&] { return window.downloadButton()->isEnabled(); }));
        const QString text = window.lines()->toPlainText();
        QVERIFY(text.contains(QStringLiteral("Hello\nLatest Version : V3.70\nSize : 5")));
        setupqt::snap(&window, "version-check");

        setupqt::BoxAnswerer answers({{QStringLiteral("No"), "version-install-question"},
                                      {QStringLiteral("OK"), "version-install-later"}});
        window.downloadButton()->click();
        QVERIFY(!window.downloadButton()->isEnabled());
        QVERIFY(http.serve("abcde"));
        QVERIFY(setupqt::pumpUntil([&] { return answers.done(); }));
        QCOMPARE(http.requests.back(),
                 std::string("GET /files/new.exe HTTP 1/1\r\nAccept : */*\r\n\r\n"));
        QCOMPARE(answers.texts.front(),
                 QStringLiteral("Do you want to install the new version now ?"));
        QVERIFY(answers.texts.back().startsWith(QStringLiteral("The latest version is called")));
        window.cancelButton()->click();
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(SetupWindowsTest)
#include "setup_windows_test.moc"
