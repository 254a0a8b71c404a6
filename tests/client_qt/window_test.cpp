// The client's window wired to its engine: transfers through the buttons against the real
// server, the menus' commands and their profile writes, the set-up dialogs, drops, and the
// automatic transfer of a command line.

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>

#include "client/qt/about_sheet.h"
#include "client/qt/listening_address_dialog.h"
#include "client/qt/multihomed_dialog.h"
#include "client/qt/options_sheet.h"
#include "client/qt/window_run.h"
#include "protocol/packet.h"
#include "window_harness.h"

using namespace windowtest;

namespace {

constexpr int kTransferWait = 20000;

// A server played by the test that sends the first blocks of a 10-block file and then falls
// silent, so a fetch stays in its middle until it is aborted.
class StallingServer {
  public:
    explicit StallingServer(platform::EventLoop& loop, int blocksBeforeStall)
        : loop_(loop), stallAfter_(blocksBeforeStall) {
        socket_.open(kLoopback, 0);
        [[maybe_unused]] const bool watched =
            loop_.watchReadable(socket_.fd(), [this] { OnReceive(); });
    }
    ~StallingServer() { loop_.unwatch(socket_.fd()); }
    std::uint16_t port() const { return socket_.localEndpoint().port; }
    int errorCode = -1;

  private:
    void OnReceive() {
        std::uint8_t in[600];
        platform::Ipv4Endpoint from;
        const ssize_t n = socket_.receiveFrom(in, sizeof in, from);
        if (n < 4) {
            return;
        }
        const std::uint16_t opcode = protocol::readU16(in);
        std::vector<std::uint8_t> out(600);
        std::size_t length = 0;
        if (opcode == protocol::kRrq) {
            const protocol::OptionPair size[] = {{"tsize", kSize}};
            length = protocol::buildOack(out, size);
        } else if (opcode == protocol::kAck) {
            const std::uint16_t next = static_cast<std::uint16_t>(protocol::readU16(in + 2) + 1);
            if (next > stallAfter_) {
                return;
            }
            length = protocol::buildDataHeader(out, next);
            std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(length), 512, 'x');
            length += 512;
        } else if (opcode == protocol::kError) {
            errorCode = protocol::readU16(in + 2);
            return;
        }
        socket_.sendTo(out.data(), length, from);
    }

    static constexpr std::uint64_t kSize = 10 * 512;
    platform::EventLoop& loop_;
    platform::UdpSocket socket_;
    int stallAfter_;
};

QString profileText(const WindowRig& rig) {
    return QString::fromUtf8(readFile(QString::fromStdString(rig.profile.path())));
}

}  // namespace

class WindowTest final : public QObject {
    Q_OBJECT

  private slots:
    void startsWithTheStoredForm() {
        WindowRig rig;
        QCOMPARE(rig.frame.windowTitle(), QString("Welcome to  - Merrowin"));
        clientqt::FormPanel& form = *rig.frame.form();
        QCOMPARE(form.port->text(), QString("69"));
        QCOMPARE(form.timeout->text(), QString("10"));
        QCOMPARE(form.blockSize->currentText(), QString("512"));
        QVERIFY(form.binary->isChecked());
        QVERIFY(form.matchFiles->isChecked());
        QVERIFY(!form.abortButton->isEnabled());
        QVERIFY(!rig.frame.abortAction->isEnabled());
        QCOMPARE(rig.frame.statusPane()->text(), QString("Press F1 for Help"));
        QVERIFY(!rig.frame.clockPane()->text().isEmpty());
        // Fixed size: nothing to stretch, and no maximise button.
        QCOMPARE(rig.frame.minimumSize(), rig.frame.maximumSize());
        QVERIFY(!(rig.frame.windowFlags() & Qt::WindowMaximizeButtonHint));
        screenshot(rig.frame, "client-window");
    }

    void fetchAndSendThroughTheButtons() {
        ServerProcess server;
        QVERIFY(server.ready());
        const QByteArray body = server.offer("pulled.bin", 300000, 1);
        WindowRig rig;
        rig.app.settings.Inbound = rig.folder("in");
        rig.fill(server.port(), "pulled.bin");
        clientqt::FormPanel& form = *rig.frame.form();
        QCOMPARE(form.remoteName->text(), QString("pulled.bin"));

        QTest::mouseClick(form.fetchButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(form.progress->value(), 100, kTransferWait);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.app.view().TransferActive(), kTransferWait);
        QCOMPARE(readFile(QString::fromStdString(rig.app.settings.Inbound) + "pulled.bin"), body);
        QCOMPARE(rig.frame.windowTitle(), QString("127.0.0.1 - Merrowin"));
        QVERIFY(!form.abortButton->isEnabled());

        const QByteArray upload = pattern(70000, 2);
        rig.app.settings.Outbound = rig.folder("out");
        writeFile(QString::fromStdString(rig.app.settings.Outbound) + "pushed.bin", upload);
        form.localName->clear();
        QTest::keyClicks(form.localName, "pushed.bin");
        QTest::mouseClick(form.sendButton, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.app.view().TransferActive(), kTransferWait);
        QCOMPARE(form.progress->value(), 100);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(server.inDir() + "/pushed.bin"), upload, kTransferWait);
        // The start stored what it was given.
        QVERIFY(profileText(rig).contains("Remote=pushed.bin"));
    }

    void abortStopsATransferInItsMiddle() {
        WindowRig rig;
        StallingServer server(rig.loop, 4);
        rig.app.settings.Inbound = rig.folder("in");
        rig.fill(server.port(), "half.bin");
        clientqt::FormPanel& form = *rig.frame.form();
        QTest::mouseClick(form.fetchButton, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(form.progress->value(), 40, kTransferWait);
        QVERIFY(form.abortButton->isEnabled());
        QVERIFY(rig.frame.abortAction->isEnabled());
        // A second press while it runs changes nothing.
        QTest::mouseClick(form.fetchButton, Qt::LeftButton);
        QVERIFY(rig.app.view().TransferActive());
        screenshot(rig.frame, "client-window-transfer");

        QTest::mouseClick(form.abortButton, Qt::LeftButton);
        QVERIFY(!rig.app.view().TransferActive());
        QVERIFY(!form.abortButton->isEnabled());
        QVERIFY(!rig.frame.abortAction->isEnabled());
        QTRY_COMPARE(server.errorCode, 8);
    }

    void renameButtonsRelabelsAndStores() {
        WindowRig rig;
        clientqt::FormPanel& form = *rig.frame.form();
        rig.frame.renameAction->trigger();
        QCOMPARE(form.fetchButton->text(), QString("Get"));
        QCOMPARE(form.sendButton->text(), QString("Put"));
        QVERIFY(profileText(rig).contains("Change Buttons=Yes"));
        rig.frame.renameAction->trigger();
        QCOMPARE(form.fetchButton->text(), QString("Fetch"));
        QCOMPARE(form.sendButton->text(), QString("Send"));
        QVERIFY(profileText(rig).contains("Change Buttons=No"));
    }

    void optionsSheetOkStoresAndCancelKeeps() {
        WindowRig rig;
        onModal<clientqt::COptionsSheet>([](clientqt::COptionsSheet& sheet) {
            QCOMPARE(sheet.windowTitle(), QString("File Locations & Options"));
            QCOMPARE(sheet.tabs->tabText(0), QString("Inbound"));
            QCOMPARE(sheet.tabs->tabText(1), QString("Outbound"));
            QCOMPARE(sheet.tabs->tabText(2), QString("Other Options"));
            QCOMPARE(sheet.incoming->overwrite->text(), QString("Overwrite exisiting files"));
            sheet.incoming->directory->setText("/srv/incoming");
            sheet.incoming->overwrite->setChecked(true);
            sheet.options->sendTsize->setChecked(true);
            screenshot(sheet, "client-options-inbound");
            sheet.tabs->setCurrentIndex(1);
            screenshot(sheet, "client-options-outbound");
            sheet.tabs->setCurrentIndex(2);
            screenshot(sheet, "client-options-other");
            sheet.buttons->button(QDialogButtonBox::Ok)->click();
        });
        rig.frame.setupAction->trigger();
        const QString stored =
            "[Options]\nInbound=/srv/incoming/\nOutbound=\nOverWrite=Yes\nTruncate=No\nTSize=Yes\n"
            "Default IP=0\n";
        QCOMPARE(profileText(rig), stored);
        QVERIFY(rig.app.settings.OverWrite);

        onModal<clientqt::COptionsSheet>([](clientqt::COptionsSheet& sheet) {
            QCOMPARE(sheet.incoming->directory->text(), QString("/srv/incoming/"));
            QVERIFY(sheet.options->sendTsize->isChecked());
            sheet.outgoing->directory->setText("/elsewhere");
            sheet.incoming->overwrite->setChecked(false);
            sheet.buttons->button(QDialogButtonBox::Cancel)->click();
        });
        rig.frame.setupAction->trigger();
        QCOMPARE(profileText(rig), stored);
        QVERIFY(rig.app.settings.OverWrite);
        QVERIFY(rig.app.settings.Outbound.empty());
    }

    void multihomedOkWaitsForARow() {
        clientqt::MultihomedDialog dialog({"10.0.0.1", "192.168.1.9", "172.16.0.4"}, true);
        dialog.show();
        QVERIFY(dialog.showAgainBox->isChecked());
        QTest::mouseClick(dialog.okButton, Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        dialog.list->item(1)->setSelected(true);
        dialog.showAgainBox->setChecked(false);
        screenshot(dialog, "client-multihomed");
        QTest::mouseClick(dialog.okButton, Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const client::MultihomedAnswer answer = dialog.Answer();
        QVERIFY(answer.ok);
        QCOMPARE(answer.row, std::size_t(1));
        QVERIFY(!answer.showAgain);

        // Closed another way: no answer, so the first address is taken.
        clientqt::QtClientDialogs dialogs;
        onModal<clientqt::MultihomedDialog>([](clientqt::MultihomedDialog& d) { d.reject(); });
        QVERIFY(!dialogs.ChooseLocalAddress({"10.0.0.1", "10.0.0.2"}, false).ok);
    }

    void droppedFilesAreSentOneAfterTheOther() {
        ServerProcess server;
        QVERIFY(server.ready());
        WindowRig rig;
        const QString folder = QString::fromStdString(rig.folder("drop"));
        const QByteArray first = pattern(200000, 3);
        const QByteArray second = pattern(1234, 4);
        writeFile(folder + "first.bin", first);
        writeFile(folder + "second.bin", second);
        rig.frame.form()->host->setText("127.0.0.1");
        rig.frame.form()->port->setText(QString::number(server.port()));

        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(folder + "first.bin"),
                      QUrl::fromLocalFile(folder + "second.bin")});
        const QPoint at = rig.frame.rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&rig.frame, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&rig.frame, &drop);
        QVERIFY(drop.isAccepted());

        QTRY_COMPARE_WITH_TIMEOUT(readFile(server.inDir() + "/first.bin"), first, kTransferWait);
        QTRY_COMPARE_WITH_TIMEOUT(readFile(server.inDir() + "/second.bin"), second, kTransferWait);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.app.view().TransferActive(), kTransferWait);
        QCOMPARE(rig.frame.pendingSends(), std::size_t(0));
        QCOMPARE(rig.frame.form()->localName->text(), QString("second.bin"));
    }

    void automaticTransferShowsTheWindowAndEnds() {
        ServerProcess server;
        QVERIFY(server.ready());
        const QByteArray body = server.offer("auto.bin", 100000, 5);
        QTemporaryDir dir;
        platform::EventLoop loop;
        platform::SystemClock clock;
        clientqt::QtClientDialogs dialogs;
        client::IniProfile profile(dir.filePath("merrowinc.ini").toStdString());
        client::CMerrowinApp app(loop, clock, dialogs, profile, loopbackHost());
        bool shown = false;
        QString title;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* frame = dynamic_cast<clientqt::CMainFrame*>(w)) {
                    shown = frame->isVisible();
                    title = frame->windowTitle();
                    QObject::connect(frame, &QWidget::windowTitleChanged,
                                     [&title](const QString& now) { title = now; });
                }
            }
        });
        // Bounded: a window that never closes is closed after the wait, and the test fails.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [] { QApplication::closeAllWindows(); });
        guard.start(kTransferWait);
        const std::string target = dir.filePath("got.bin").toStdString();
        const int code =
            clientqt::RunWindow(app, loop, profile, dialogs,
                                {"merrowinc", "-H127.0.0.1", "-O" + std::to_string(server.port()),
                                 "-G" + target, "-Rauto.bin"});
        QVERIFY(guard.isActive());
        QCOMPARE(code, client::kExitCompleted);
        QVERIFY(shown);
        QCOMPARE(title, QString("Auto 127.0.0.1 from 127.0.0.1 - Merrowin"));
        QCOMPARE(readFile(QString::fromStdString(target)), body);
    }

    void commandLineWithADisplayExitsAsTheConsoleDoes() {
        ServerProcess server;
        QVERIFY(server.ready());
        const QByteArray body = server.offer("cli.bin", 5000, 6);
        QTemporaryDir dir;
        // The first of the host's addresses without asking, should it have several.
        writeFile(dir.filePath("merrowinc.ini"), "[Options]\nDefault IP=1\n");
        auto run = [&](const QStringList& extra, const QString& target,
                       const QString& remote = "cli.bin") {
            QProcess client;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_CONFIG_HOME", dir.path());
            client.setProcessEnvironment(env);
            client.start(MERROWINC_PATH,
                         QStringList{"-H127.0.0.1", "-O" + QString::number(server.port()),
                                     "-G" + target, "-R" + remote} +
                             extra);
            if (!client.waitForFinished(kTransferWait)) {
                client.kill();
                client.waitForFinished();
                return -1000;
            }
            return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1001;
        };
        QVERIFY(!qgetenv("DISPLAY").isEmpty());
        const int window = run({}, dir.filePath("window.bin"));
        const int console = run({"--headless"}, dir.filePath("console.bin"));
        QCOMPARE(window, console);
        QCOMPARE(window, client::kExitCompleted);
        QCOMPARE(readFile(dir.filePath("window.bin")), body);
        QCOMPARE(readFile(dir.filePath("console.bin")), body);
        // A fetch of a file the server does not have ends the same way in both.
        QCOMPARE(run({}, dir.filePath("none1"), "none.bin"), client::kExitServerError);
        QCOMPARE(run({"--headless"}, dir.filePath("none2"), "none.bin"), client::kExitServerError);
    }

    void screenshotsOfTheOtherDialogs() {
        if (qgetenv("RAVEN_SCREENSHOTS").isEmpty()) {
            QSKIP("RAVEN_SCREENSHOTS not set");
        }
        WindowRig rig;
        rig.frame.form()->host->setText("192.168.0.20");
        rig.frame.aboutAction->trigger();
        QVERIFY(rig.frame.about() != nullptr);
        clientqt::CAbout* about = rig.frame.about();
        for (int page = 0; page < about->tabs->count(); ++page) {
            about->tabs->setCurrentIndex(page);
            screenshot(*about, QString("client-about-%1").arg(page + 1));
        }
        clientqt::ListeningAddressDialog address;
        address.show();
        screenshot(address, "client-listening-address");
        onModal<QMessageBox>([](QMessageBox& box) {
            screenshot(box, "client-block-size-error");
            box.accept();
        });
        rig.dialogs.MessageBox(client::kBlockSizeErrorText, client::kBlockSizeErrorTitle);
        onModal<QMessageBox>([](QMessageBox& box) {
            screenshot(box, "client-overwrite-question");
            box.reject();
        });
        QVERIFY(!rig.dialogs.AskYesNo("File already exists\n\nOverwrite it ?"));
    }

    void aboutSheetIsOneAtATime() {
        WindowRig rig;
        rig.frame.aboutAction->trigger();
        clientqt::CAbout* first = rig.frame.about();
        QVERIFY(first != nullptr);
        QCOMPARE(first->windowTitle(), QString("About Merrowin Client"));
        QVERIFY(!first->isModal());
        rig.frame.aboutAction->trigger();
        QCOMPARE(rig.frame.about(), first);
        QCOMPARE(first->tabs->tabText(2), QString("Command Line"));
        first->close();
        QTRY_VERIFY(rig.frame.about() == nullptr);
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
