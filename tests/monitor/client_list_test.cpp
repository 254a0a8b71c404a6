#include <fstream>

#include "platform/registry_hive.h"
#include "server/monitor/log_file.h"
#include "tests/monitor/client_list_fixture.h"

namespace {

using namespace server;
using uitest::ClientListTest;

TEST_F(ClientListTest, InitialUpdatesPlaceWindowButFirstAloneSetsUpList) {
    platform::RegistryHive hive(root() + "/none.reg");
    for (auto [name, value] : {std::pair{"WinLeft", 10}, {"WinRight", 1010}, {"Col1", 200}}) {
        hive.writeDword(kSettingsKey, name, static_cast<std::uint32_t>(value));
    }
    CNewView view(app, &hive);
    int placed = 0;
    view.hooks.placeMainWindow = [&](const WindowPlacement& p) { placed += p.width == 1000; };
    view.hooks.listClientWidth = [] { return 1100; };
    view.hooks.createTimer = [](auto, auto) { return platform::EventLoop::TimerId{0}; };
    view.OnInitialUpdate();
    view.onNewDocument();  // a listener restart
    app.settings.bMinimised = true;
    view.onNewDocument();
    EXPECT_EQ(placed, 2);
    // Missing widths repeat Col1; the last column takes what is left of 1100.
    EXPECT_EQ(view.columnWidths(), (ColumnWidths{200, 200, 200, 200, 200, 100}));
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{std::string(kTimerWarning)});

    ASSERT_EQ(view.rows().size(), 1u);
    EXPECT_EQ(view.rows()[0].cells[kColumnResult], "Ready");
    EXPECT_EQ(view.rows()[0].tag, kTagFailed);
}

TEST_F(ClientListTest, SmallestLimitSendsStartupRowThenClientOneToTheLog) {
    app.settings.nDisplayLimit = 0;
    list.OnInitialUpdate();
    for (int id = 1; id <= 7; ++id) {
        message(TransferEvent::Admitted, id, "10.0.0." + std::to_string(id));
    }
    EXPECT_EQ(clients(), (std::vector<std::string>{"10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5",
                                                   "10.0.0.6", "10.0.0.7"}));
    // Client 1 never got a file: the empty cell still has its blank, hence two in a row.
    EXPECT_EQ(logText(),
              "Ravendock V3.60  06 Dec, 14:05  Ready\r\n"
              "10.0.0.1  06 Dec, 14:05  \r\n");
}

TEST_F(ClientListTest, StatusShowsProgressOnceThenText) {
    message(TransferEvent::Admitted, 3, "10.0.0.3");
    list.onTransferNotice({TransferEvent::Progress, 3, "ignored", 1, 3});
    EXPECT_EQ(cell(0, kColumnStatus), "%33, 1");
    message(TransferEvent::Progress, 3, "Receiving");
    EXPECT_EQ(cell(0, kColumnStatus), "Receiving");
    list.onTransferNotice({TransferEvent::Progress, 99, "", 2, 3});  // no such row
    EXPECT_EQ(cell(0, kColumnStatus), "Receiving");

    // (100.0 / total) * done, truncated: not the same as done * 100 / total.
    EXPECT_EQ(FormatProgress(97, 97), "%99, 97");
}

TEST_F(ClientListTest, MessagesReachOnlyTheNewestLiveRowOfAnId) {
    list.OnInitialUpdate();  // the start-up row is tagged 1 but never live
    message(TransferEvent::Admitted, 5, "older");
    message(TransferEvent::Admitted, 5, "newer");
    message(TransferEvent::FileKnown, 5, "f.bin");
    message(TransferEvent::FileKnown, 1, "x");
    EXPECT_EQ(cell(0, kColumnFile), "");
    EXPECT_EQ(cell(1, kColumnFile), "");
    EXPECT_EQ(cell(2, kColumnFile), "f.bin");
}

TEST_F(ClientListTest, AbortedRowKeepsStatusAndEmptyFinish) {
    message(TransferEvent::Admitted, 6, "10.0.0.6");
    message(TransferEvent::Progress, 6, "Receiving");
    message(TransferEvent::Aborted, 6, "Disk error");
    // The supervisor's report at its next pass no longer finds the row.
    message(TransferEvent::Finished, 6);
    message(TransferEvent::Result, 6, "Disk error : Receiving");
    EXPECT_EQ(cell(0, kColumnStatus), "Receiving");
    EXPECT_EQ(cell(0, kColumnFinish), "");
    EXPECT_EQ(cell(0, kColumnResult), "Disk error");
    EXPECT_EQ(list.rows()[0].tag, kTagEnded);
}

TEST_F(ClientListTest, ClearAppendsEveryRowOldestFirst) {
    std::ofstream(app.settings.LogFile, std::ios::binary) << "earlier\r\n";
    list.OnInitialUpdate();
    message(TransferEvent::Admitted, 1, "a");
    message(TransferEvent::FileKnown, 1, "one");
    message(TransferEvent::Admitted, 2, "b");
    list.ClearClientList();
    EXPECT_TRUE(list.rows().empty());
    EXPECT_EQ(logText(),
              "earlier\r\n"
              "Ravendock V3.60  06 Dec, 14:05  Ready\r\n"
              "a one 06 Dec, 14:05  \r\n"
              "b  06 Dec, 14:05  \r\n");
}

// A requested name is the client's text: a line end in it must not forge a log line, nor an
// escape sequence reach the file.
TEST_F(ClientListTest, ControlCharactersInNamesAreEscapedInTheLog) {
    list.OnInitialUpdate();
    message(TransferEvent::Admitted, 1, "a");
    message(TransferEvent::FileKnown, 1, "x\r\n10.0.0.9 forged\x1b[2J\x7f");
    list.ClearClientList();
    const std::string text = logText();
    EXPECT_NE(text.find("a x??10.0.0.9 forged?[2J? 06 Dec"), std::string::npos) << text;
}

TEST_F(ClientListTest, RowsLeaveEvenWhenNothingIsOrCanBeWritten) {
    std::vector<std::string> tried;
    list.hooks.appendLogLine = [&](const std::string&, const ClientRow& row) {
        tried.push_back(row.cells[kColumnClient]);
        return false;
    };
    for (int id = 1; id <= 3; ++id) {
        message(TransferEvent::Admitted, id, std::to_string(id));
    }
    list.ClearClientList();
    EXPECT_TRUE(list.rows().empty());
    EXPECT_EQ(tried, std::vector<std::string>{"1"}) << "no write after the first failure";

    app.settings.nDisplayLimit = 0;
    app.settings.LogFile.clear();
    for (int id = 1; id <= 8; ++id) {
        message(TransferEvent::Admitted, id, std::to_string(id));
    }
    EXPECT_EQ(list.rows().size(), 6u);
    list.ClearClientList();
    EXPECT_TRUE(list.rows().empty());
    EXPECT_EQ(tried.size(), 1u) << "an empty log path writes nothing";
    EXPECT_FALSE(AppendLogLine(root() + "/missing/Ravendock.log", ClientRow{}));
}

TEST_F(ClientListTest, IdleTicksCloseAlertThenSweepOncePerIdlePeriod) {
    list.hooks.mainWindowMinimised = [] { return true; };
    int destroyed = 0;
    list.hooks.showAlert = [](const std::string&) {};
    list.hooks.destroyAlert = [&] { ++destroyed; };
    list.OnInitialUpdate();
    message(TransferEvent::Admitted, 8, "10.0.0.8");
    clock.advance(60);
    tick();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(list.rows()[1].tag, 8) << "no sweep on the tick that closed the alert";
    tick();
    EXPECT_EQ(cell(1, kColumnStatus), "Done");
    EXPECT_EQ(cell(1, kColumnFinish), "06 Dec, 14:06");
    EXPECT_EQ(list.rows()[1].tag, kTagSwept);
    EXPECT_EQ(list.rows()[0].tag, kTagFailed) << "the start-up row is not live";

    app.settings.bAlertMinimised = false;
    message(TransferEvent::Admitted, 9, "10.0.0.9");
    tick();
    EXPECT_EQ(list.rows()[2].tag, 9) << "still the same idle period";
    EXPECT_EQ(destroyed, 1);
}

TEST_F(ClientListTest, LastColumnStretchesOnlyBeyondTenSparePixels) {
    list.StretchLastColumn(540);
    EXPECT_EQ(list.columnWidths()[kColumnResult], 110);
    list.StretchLastColumn(541);
    EXPECT_EQ(list.columnWidths()[kColumnResult], 11);
}

}  // namespace
