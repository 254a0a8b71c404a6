#include "platform/event_loop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "platform/ipv4.h"
#include "platform/udp_socket.h"

namespace {

bool openOnLoopback(platform::UdpSocket& a, platform::UdpSocket& b) {
    return a.open(0x7f000001, 0) && b.open(0x7f000001, 0);
}

TEST(EventLoop, RunsPostedCallsFromOtherThreadsAndQuitsFromThem) {
    platform::EventLoop loop;
    int calls = 0;
    std::thread poster([&] {
        loop.post([&] { ++calls; });
        loop.quit();
    });
    for (int pass = 0; pass < 100 && !loop.quitRequested(); ++pass) {
        loop.runOnce(50);
    }
    poster.join();
    loop.runOnce(0);  // the posted call may wait behind the quit
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
    ASSERT_TRUE(loop.watchReadable(a.fd(), [&] {
        char buf[8];
        platform::Ipv4Endpoint from;
        a.receiveFrom(buf, sizeof buf, from);
        order.push_back(1);
        loop.post([&] {
            order.push_back(2);
            loop.post([&] { order.push_back(3); });
        });
    }));
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

TEST(EventLoop, WatchesCanDropThemselvesInTheirCallbacksAndRefusalsReachTheCaller) {
    platform::EventLoop loop;
    platform::UdpSocket a;
    platform::UdpSocket b;
    ASSERT_TRUE(openOnLoopback(a, b));
    int readable = 0;
    int writable = 0;
    ASSERT_TRUE(loop.watchReadable(a.fd(), [&] {
        ++readable;
        loop.unwatch(a.fd());
    }));
    ASSERT_TRUE(loop.watchWritable(a.fd(), [&] {
        ++writable;
        loop.unwatchWritable(a.fd());
    }));
    loop.runOnce(0);
    EXPECT_EQ(writable, 1) << "a UDP socket has room at once";
    EXPECT_EQ(readable, 0) << "the readable watch stays, quiet until data comes";
    const char msg[] = "hi";
    ASSERT_TRUE(b.sendTo(msg, 2, a.localEndpoint()));
    for (int pass = 0; pass < 20; ++pass) {
        loop.runOnce(5);
    }
    EXPECT_EQ(writable, 1);
    EXPECT_EQ(readable, 1) << "the datagram is still unread, yet no further calls after unwatch";

    // What epoll cannot watch is refused: nothing is watched and the caller hears of it.
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(loop.watchReadable(::fileno(file), [] {}));
    EXPECT_FALSE(loop.watchWritable(-1, [] {}));
    std::fclose(file);
    EXPECT_EQ(loop.runOnce(0), 0);
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

TEST(UdpSocket, BufferSizesGrantWhatWasAskedDespiteTheDoubledReport) {
    platform::UdpSocket s;
    EXPECT_EQ(s.sizeBuffer(platform::UdpSocket::Buffer::Send, 1448), -1) << "not open";
    ASSERT_TRUE(s.open(0x7f000001, 0));
    EXPECT_EQ(s.sizeBuffer(platform::UdpSocket::Buffer::Send, 65484), 65484);
    EXPECT_EQ(s.sizeBuffer(platform::UdpSocket::Buffer::Receive, 1448), 1448);
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
