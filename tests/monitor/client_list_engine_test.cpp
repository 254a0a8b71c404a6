// The client list fed by a real engine on 127.0.0.1, ticked by hand.

#include "tests/monitor/client_list_fixture.h"

namespace {

using namespace server;
using namespace enginetest;

class ClientListEngineTest : public uitest::ClientListTest {
  protected:
    void SetUp() override {
        list.OnInitialUpdate();
        listen();
    }
    const ClientRow& lastRow() const { return list.rows().back(); }
};

TEST_F(ClientListEngineTest, FinishedTransferKeepsResultAndIdleSweepWaitsForActivity) {
    list.Tick();  // idle: the sweep of this idle period runs now
    list.AddClientRow(999, "ghost");
    list.Tick();
    ASSERT_EQ(list.rows()[1].tag, 999);

    writeFile(outPath("a.txt"), std::string(100, 'x'));
    sendToListener(request(1, "a.txt", "octet"));
    ASSERT_TRUE(receive().has_value());
    list.Tick();  // seen running: a new idle period may begin
    sendToTransfer(ack(1));
    pump();

    // The transfer has ended but is not yet reported: it still counts as a client, so its row
    // gets its result rather than being swept.
    list.Tick();
    const ClientRow& row = lastRow();
    EXPECT_EQ(row.cells[kColumnClient], "127.0.0.1");
    EXPECT_EQ(row.cells[kColumnFile], outPath("a.txt"));
    EXPECT_EQ(row.cells[kColumnStatus], "Done");
    EXPECT_EQ(row.cells[kColumnResult], "Finished : Sending");
    EXPECT_EQ(row.tag, kTagEnded);
    EXPECT_EQ(list.rows()[1].tag, 999);

    list.Tick();  // the first idle tick after activity sweeps
    EXPECT_EQ(list.rows()[1].tag, kTagSwept);
    EXPECT_EQ(list.rows()[1].cells[kColumnStatus], "Done");
}

TEST_F(ClientListEngineTest, SilentClientEndsTimedOut) {
    writeFile(outPath("b.txt"), std::string(700, 'y'));
    sendToListener(request(1, "b.txt", "octet"));
    ASSERT_TRUE(receive().has_value());
    for (int pass = 0; pass < 6; ++pass) {
        clock.advance(31);
        list.Tick();
    }
    const ClientRow& row = lastRow();
    EXPECT_EQ(row.cells[kColumnStatus], "Done");
    EXPECT_EQ(row.cells[kColumnFinish], "06 Dec, 14:08");
    EXPECT_EQ(row.cells[kColumnResult], "TimedOut : Sending");
    EXPECT_EQ(row.tag, kTagFailed);
    EXPECT_EQ(clientCount(), 0);
}

}  // namespace
