// What the engine tells at the end of each transfer (one journal line each), and the transfer
// port range.
#include <gtest/gtest.h>

#include "engine_harness.h"
#include "server/engine/transfer_ports.h"

namespace enginetest {
namespace {

TEST_F(EngineTest, EachEndedTransferIsSummarisedOnceWithItsBytesAndDuration) {
    std::vector<server::ServerApplication::TransferSummary> ended;
    app.onTransferEnded = [&](const auto& summary) { ended.push_back(summary); };
    writeFile(outPath("sub/f.bin"), std::string(700, 'x'));
    app.settings.bOutPaths = true;
    listen();

    sendToListener(request(1, "sub/f.bin", "octet"));
    ASSERT_TRUE(receive());
    clock.advance(3);
    sendToTransfer(ack(1));
    ASSERT_TRUE(receive());
    sendToTransfer(ack(2));
    pump();
    supervise();
    supervise();

    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].client, "127.0.0.1:" + std::to_string(client.localEndpoint().port));
    EXPECT_EQ(ended[0].file, outPath("sub/f.bin"));
    EXPECT_EQ(ended[0].bytes, 700);
    EXPECT_EQ(ended[0].seconds, 3);
    EXPECT_EQ(ended[0].result, "Finished : Sending");
}

TEST_F(EngineTest, ATransferWithoutAPortEndsAsAFailureNotAsFinished) {
    std::vector<server::ServerApplication::TransferSummary> ended;
    app.onTransferEnded = [&](const auto& summary) { ended.push_back(summary); };
    writeFile(outPath("f.bin"), "x");
    platform::UdpSocket taken;
    ASSERT_TRUE(taken.open(0x7f000001, 0));
    const std::uint16_t port = taken.localEndpoint().port;
    app.transferPorts.setRange(server::PortRange{port, port});
    listen();

    sendToListener(request(1, "f.bin", "octet"));
    pump();
    supervise();

    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].result, "No transfer port : Sending");
}

TEST(TransferPorts, RangeIsHandedOutInTurnAndBusyPortsAreSkipped) {
    // A free pair of neighbouring ports to build the range from.
    platform::UdpSocket probe;
    ASSERT_TRUE(probe.open(0x7f000001, 0));
    const std::uint16_t low = probe.localEndpoint().port;
    probe.close();
    if (low >= 65534) {
        GTEST_SKIP() << "no room above the probed port";
    }
    server::TransferPorts ports;
    ports.setRange(server::PortRange{low, static_cast<std::uint16_t>(low + 1)});

    platform::UdpSocket a;
    platform::UdpSocket b;
    platform::UdpSocket c;
    ASSERT_TRUE(ports.open(a, 0x7f000001));
    ASSERT_TRUE(ports.open(b, 0x7f000001));
    EXPECT_EQ(a.localEndpoint().port, low);
    EXPECT_EQ(b.localEndpoint().port, low + 1);
    EXPECT_FALSE(ports.open(c, 0x7f000001)) << "both ports are taken";
    a.close();
    ASSERT_TRUE(ports.open(c, 0x7f000001));
    EXPECT_EQ(c.localEndpoint().port, low);

    ports.setRange(std::nullopt);
    platform::UdpSocket any;
    EXPECT_TRUE(ports.open(any, 0x7f000001));
}

}  // namespace
}  // namespace enginetest
