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

namespace {

// Answers the message boxes that open from now on, in order: each is pictured, then the button
// with the given text is clicked.
class BoxAnswerer {
  public:
    struct Answer {
        QString button;
        const char* screenshot;
    };
    explicit BoxAnswerer(std::deque<Answer> answers) : answers_(std::move(answers)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    std::vector<QString> texts;
    bool done() const { return answers_.empty(); }

  private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || answers_.empty()) {
            return;
        }
        const Answer answer = answers_.front();
        answers_.pop_front();
        texts.push_back(box->text());
        setupqt::snap(box, answer.screenshot);
        for (QAbstractButton* button : box->buttons()) {
            if (button->text().remove(QLatin1Char('&')) == answer.button) {
                button->click();
                return;
            }
        }
        box->reject();
    }
    std::deque<Answer> answers_;
    QTimer timer_;
};

// A version server on 127.0.0.1 that answers each connection with the next body and closes.
class LocalHttpServer {
  public:
    LocalHttpServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~LocalHttpServer() { ::close(fd_); }

    // Serves one connection with body, pumping Qt meanwhile. False when nobody came in time.
    bool serve(const std::string& body) {
        int peer = -1;
        if (!setupqt::pumpUntil([&] { return (peer = ::accept(fd_, nullptr, nullptr)) >= 0; })) {
            return false;
        }
        std::string request;
        char buffer[256];
        setupqt::pumpUntil([&] {
            const ssize_t n = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                request.append(buffer, static_cast<std::size_t>(n));
            }
            return request.find("\r\n\r\n") != std::string::npos;
        });
        requests.push_back(request);
        ::send(peer, body.data(), body.size(), MSG_NOSIGNAL);
        ::close(peer);
        return true;
    }

    std::uint16_t port = 0;
    std::vector<std::string> requests;

  private:
    int fd_ = -1;
};

}  // namespace

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
        LocalHttpServer http;
        platform::RegistryHive hive(server.root + "/hive.reg");
        hive.writeString(server::kSettingsKey, server::kVersionHostValue, "127.0.0.1");
        hive.writeDword(server::kSettingsKey, server::kVersionPortValue, http.port);
        server.app.settings.Location = server.root + "/ravendockd";

        // The question first; No ends the command.
        {
            BoxAnswerer answers({{QStringLiteral("No"), "version-question"}});
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

        BoxAnswerer answers({{QStringLiteral("No"), "version-install-question"},
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
