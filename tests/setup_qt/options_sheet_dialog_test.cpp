#include "server/qt/options_sheet_dialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "server/qt/options_access_list_page.h"
#include "server/qt/options_clients_page.h"
#include "server/qt/options_folder_pages.h"
#include "server/qt/options_icmp_page.h"
#include "server/qt/options_other_page.h"
#include "server/qt/options_threads_page.h"
#include "setup_qt_harness.h"

using server::OptionsPageId;
using server::OptionsSheetDialog;

namespace {

server::OptionsContext context(bool rawIcmp = true) {
    server::OptionsContext c;
    c.mounts = server::MountTable::Parse("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n");
    c.askYesNo = [](std::string_view) { return false; };
    c.rawIcmpAvailable = rawIcmp;
    return c;
}

template <typename Page>
Page* pageOf(OptionsSheetDialog& dialog, OptionsPageId id) {
    dialog.tabs()->setCurrentIndex(static_cast<int>(id));
    return static_cast<Page*>(dialog.page(id));
}

}  // namespace

class OptionsSheetDialogTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void tabsInOrderAndApplyFollowsChanges() {
        setupqt::TestServer server;
        OptionsSheetDialog dialog(server.app, server.frontEnd, context());
        dialog.show();
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Server Options"));
        QStringList titles;
        for (int i = 0; i < dialog.tabs()->count(); ++i) {
            titles << dialog.tabs()->tabText(i);
        }
        QCOMPARE(titles,
                 QStringList({"Inbound", "Outbound", "Allow", "Deny", "Options", "Client Limits",
                              "MultiThreading && Logging", "ICMP Messages"}));
        QVERIFY(!dialog.applyButton()->isEnabled());

        auto* inbound =
            static_cast<server::InboundPageWidget*>(dialog.page(OptionsPageId::Inbound));
        QVERIFY(!inbound->renameExisting()->isEnabled());
        inbound->findChildren<QCheckBox*>().at(2)->click();  // "Rename duplicate files"
        QVERIFY(inbound->renameExisting()->isEnabled());
        QVERIFY(dialog.applyButton()->isEnabled());

        // A slider put back where it was is no change.
        auto* clients = pageOf<server::ClientsPageWidget>(dialog, OptionsPageId::Clients);
        QCOMPARE(clients->displaySlider()->value(), 6);
        dialog.applyButton()->click();
        QVERIFY(!dialog.applyButton()->isEnabled());
        clients->displaySlider()->setValue(6);
        QVERIFY(!dialog.applyButton()->isEnabled());
        clients->displaySlider()->setValue(3);
        QVERIFY(dialog.applyButton()->isEnabled());
        QVERIFY(server.app.settings.bRenameDuplicates);
    }

    void portAndClientLimitTakeEffectOnOk() {
        setupqt::TestServer server;
        QVERIFY(server.listen());
        const std::uint16_t newPort = server.freePort();

        OptionsSheetDialog dialog(server.app, server.frontEnd, context());
        dialog.show();
        auto* other = pageOf<server::OtherPageWidget>(dialog, OptionsPageId::Other);
        other->portEdit()->selectAll();
        QTest::keyClicks(other->portEdit(), QString::number(newPort) + QStringLiteral("x"));
        QCOMPARE(other->portEdit()->text(), QString::number(newPort));
        auto* clients = pageOf<server::ClientsPageWidget>(dialog, OptionsPageId::Clients);
        clients->clientSlider()->setValue(2);
        dialog.okButton()->click();
        QVERIFY(!dialog.isVisible());
        dialog.sheet().closed();
        QCOMPARE(server.frontEnd.calls, std::vector<std::string>{"remove"});

        QCOMPARE(server.app.listener()->port(), newPort);
        QCOMPARE(server.app.settings.nClientLimit, 2U);
    }

    void refusedFolderTurnsTheSheetToItsPage() {
        setupqt::TestServer server;
        OptionsSheetDialog dialog(server.app, server.frontEnd, context());
        dialog.show();
        auto* inbound =
            static_cast<server::InboundPageWidget*>(dialog.page(OptionsPageId::Inbound));
        inbound->pathEdit()->clear();
        QTest::keyClicks(inbound->pathEdit(), QString::fromStdString(server.root + "/nowhere"));
        pageOf<server::OtherPageWidget>(dialog, OptionsPageId::Other);
        dialog.okButton()->click();
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.tabs()->currentIndex(), 0);
        QCOMPARE(server.dialogs.messages.size(), std::size_t{1});
        QCOMPARE(server.app.settings.InPath, server.root + "/in/");

        inbound->pathEdit()->clear();
        QTest::keyClicks(inbound->pathEdit(), QString::fromStdString(server.root + "/out"));
        dialog.okButton()->click();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(server.app.settings.InPath, server.root + "/out/");
    }

    void allowEntryIsWrittenOnApply() {
        setupqt::TestServer server;
        OptionsSheetDialog dialog(server.app, server.frontEnd, context());
        dialog.show();
        auto* allow = pageOf<server::AccessListPageWidget>(dialog, OptionsPageId::Allow);
        QCOMPARE(allow->checkBox()->text(), QStringLiteral("Only allow these connections"));
        const char* octets[] = {"127", "0", "", "255"};
        for (int i = 0; i < 4; ++i) {
            QTest::keyClicks(allow->addressFields()[static_cast<std::size_t>(i)], octets[i]);
        }
        allow->addButton()->click();
        allow->addButton()->click();
        QCOMPARE(server.dialogs.messages, std::vector<std::string>{"Entry already exists"});
        QCOMPARE(allow->list()->count(), 1);
        QCOMPARE(allow->list()->item(0)->text(), QStringLiteral("127.0.0.*"));
        allow->checkBox()->click();
        dialog.applyButton()->click();
        QCOMPARE(server.app.settings.bAllow, 1U);
        QVERIFY(std::filesystem::file_size(server.app.settings.ADData) == 18);
        allow->list()->setCurrentRow(0);
        allow->removeButton()->click();
        QCOMPARE(allow->list()->count(), 0);
    }

    void threadsAndIcmpPages() {
        setupqt::TestServer server;
        server.app.settings.nPriority = 255;
        server.app.settings.IcmpFlags = 0x40000 | 0x2000;
        OptionsSheetDialog dialog(server.app, server.frontEnd, context(false));
        dialog.show();
        auto* threads = pageOf<server::ThreadsPageWidget>(dialog, OptionsPageId::Threads);
        QVERIFY(threads->priorityButton(3)->isChecked());
        QCOMPARE(threads->priorityButton(3)->text(), QStringLiteral("Automatic Priority Changes"));
        auto* icmp = pageOf<server::IcmpPageWidget>(dialog, OptionsPageId::Icmp);
        QVERIFY(icmp->box(13)->isChecked());
        QVERIFY(!icmp->box(13)->isEnabled());
        QVERIFY(icmp->box(0)->toolTip().contains(QStringLiteral("CAP_NET_RAW")));
        QCOMPARE(icmp->box(0)->text(), QStringLiteral("Echo reply"));
        setupqt::snap(&dialog, "options-icmp-unavailable");
        threads->priorityButton(1)->click();
        dialog.okButton()->click();
        QCOMPARE(server.app.settings.nPriority, 1U);
        QCOMPARE(server.app.settings.IcmpFlags, 0x2000U);
    }

    void screenshots() {
        setupqt::TestServer server;
        server.app.settings.AllowList = {"192.168.1.*", "10.0.0.7"};
        server.app.settings.bAllow = 1;
        server.app.settings.IcmpFlags = 0x2011;
        server.app.settings.nPriority = 3;
        OptionsSheetDialog dialog(server.app, server.frontEnd, context());
        dialog.show();
        const char* names[] = {"options-inbound", "options-outbound", "options-allow",
                               "options-deny",    "options-options",  "options-client-limits",
                               "options-threads", "options-icmp"};
        for (int i = 0; i < dialog.tabs()->count(); ++i) {
            dialog.tabs()->setCurrentIndex(i);
            setupqt::snap(&dialog, names[i]);
        }
    }
};

QTEST_MAIN(OptionsSheetDialogTest)
#include "options_sheet_dialog_test.moc"
