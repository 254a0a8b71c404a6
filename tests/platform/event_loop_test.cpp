#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/ipv4.h"
#include "platform/udp_socket.h"

namespace {

bool openOnLoopback(platform::UdpSocket& a, platform::UdpSocket& b) {
    return a.open(0x7f000001, 0) && b.open(0x7f000001, 0);
}

TEST(EventLoop, RunsPostedCallsFromOtherThreadsAndQuits) {
    platform::EventLoop loop;
    int calls = 0;
    std::thread poster([&] {
        loop.post([&] { ++calls; });
        loop.post([&] { loop.quit(); });
    });
    for (int pass = 0; pass < 100 && !loop.quitRequested(); ++pass) {
        loop.runOnce(50);
    }
    poster.join();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(loop.quitRequested());
}

// Calls posted by a callback run before runOnce returns, without waking the loop's descriptor;
// what those calls post in turn wakes it as usual, so nothing waits for an unrelated event.
TEST(EventLoop, CallsPostedDuringDispatchRunInTheSamePass) {
    platform::EventLoop loop;
    platform::UdpSocket a;
    platform::UdpSocket b;
    ASSERT_TRUE(openOnLoopback(a, b));
    std::vector<int> order;
    loop.watchReadable(a.fd(), [&] {
        char buf[8];
        platform::Ipv4Endpoint from;
        a.receiveFrom(buf, sizeof buf, from);
        order.push_back(1);
        loop.post([&] {
            order.push_back(2);
            loop.post([&] { order.push_back(3); });
        });
    });
    ASSERT_TRUE(b.sendTo("x", 1, a.localEndpoint()));
    int passes = 0;
    while (order.size() < 2 && passes++ < 50) {
        loop.runOnce(20);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(loop.runOnce(0), 1) << "the call posted by a posted call wakes the loop";
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(loop.runOnce(0), 0);
}

TEST(EventLoop, TimersRepeatUntilCancelledAndOneShotsFireOnce) {
    platform::EventLoop loop;
    int repeating = 0;
    int once = 0;
    platform::EventLoop::TimerId id = 0;
    id = loop.addTimer(std::chrono::milliseconds(1), [&] {
        if (++repeating == 3) {
            loop.cancelTimer(id);  // cancelling itself from its own callback
        }
    });
    loop.addTimer(
        std::chrono::milliseconds(1), [&] { ++once; }, false);
    for (int pass = 0; pass < 200 && repeating < 3; ++pass) {
        loop.runOnce(10);
    }
    for (int pass = 0; pass < 5; ++pass) {
        loop.runOnce(5);
    }
    EXPECT_EQ(repeating, 3);
    EXPECT_EQ(once, 1);
}

TEST(EventLoop, ReadableSocketCanUnwatchItselfInItsCallback) {
    platform::EventLoop loop;
    platform::UdpSocket a;
    platform::UdpSocket b;
    ASSERT_TRUE(openOnLoopback(a, b));
    int calls = 0;
    loop.watchReadable(a.fd(), [&] {
        ++calls;
        loop.unwatch(a.fd());
    });
    const char msg[] = "hi";
    ASSERT_TRUE(b.sendTo(msg, 2, a.localEndpoint()));
    for (int pass = 0; pass < 20; ++pass) {
        loop.runOnce(5);
    }
    EXPECT_EQ(calls, 1) << "the datagram is still unread, yet no further calls after unwatch";
}

TEST(UdpSocket, ReportsTheFullLengthOfATruncatedDatagram) {
    platform::UdpSocket a;
    platform::UdpSocket b;
    ASSERT_TRUE(openOnLoopback(a, b));
    std::vector<char> big(1000, 'x');
    ASSERT_TRUE(b.sendTo(big.data(), big.size(), a.localEndpoint()));
    char small[10];
    platform::Ipv4Endpoint from;
    ssize_t n = -1;
    for (int i = 0; i < 100 && n < 0; ++i) {
        n = a.receiveFrom(small, sizeof small, from);
        if (n < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_EQ(n, 1000);
    EXPECT_EQ(from, b.localEndpoint());
    EXPECT_LT(a.receiveFrom(small, sizeof small, from), 0) << "nothing left";
}

TEST(UdpSocket, BufferSizesReadBackAtLeastWhatWasAsked) {
    platform::UdpSocket s;
    ASSERT_TRUE(s.open(0x7f000001, 0));
    ASSERT_TRUE(s.setSendBufferSize(65484));
    EXPECT_GE(s.sendBufferSize(), 65484);
    ASSERT_TRUE(s.setReceiveBufferSize(1448));
    EXPECT_GE(s.receiveBufferSize(), 1448);
}

TEST(Ipv4, ParsesOnlyStrictDottedQuads) {
    EXPECT_EQ(platform::parseAddress("127.0.0.1"), 0x7f000001u);
    EXPECT_EQ(platform::parseAddress("255.255.255.255"), 0xffffffffu);
    for (const char* bad :
         {"10.0.0.300", "1.2.3", "1.2.3.4.5", "a.b.c.d", "1..2.3", "", "1.2.3.4 ", "0001.2.3.4"}) {
        EXPECT_FALSE(platform::parseAddress(bad)) << bad;
    }
    EXPECT_EQ(platform::formatAddress(0xc0a80014), "192.168.0.20");
}

}  // namespace
