#include "platform/udp_batch.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform {
namespace {

TEST(UdpBatchTest, SendsEachBufferAsOneDatagramInOrder) {
    UdpSocket a;
    UdpSocket b;
    ASSERT_TRUE(a.open(0x7f000001, 0));
    ASSERT_TRUE(b.open(0x7f000001, 0));
    reserveForBurst(a, true, 100, 1500);
    reserveForBurst(b, false, 100, 1500);
    // More than one system call's worth, with differing lengths.
    std::vector<std::vector<std::uint8_t>> packets;
    std::vector<iovec> io;
    for (int i = 0; i < 100; ++i) {
        packets.emplace_back(static_cast<std::size_t>(1 + i * 7), static_cast<std::uint8_t>(i));
    }
    for (auto& p : packets) {
        io.push_back({p.data(), p.size()});
    }
    ASSERT_EQ(sendDatagrams(a, io, b.localEndpoint()), 100u);
    std::uint8_t buf[2000];
    Ipv4Endpoint from;
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(b.receiveFrom(buf, sizeof buf, from), 1 + i * 7) << i;
        EXPECT_EQ(buf[0], i);
        EXPECT_EQ(from.port, a.localEndpoint().port);
    }
    EXPECT_EQ(sendDatagrams(a, {}, b.localEndpoint()), 0u);
}

}  // namespace
}  // namespace platform
