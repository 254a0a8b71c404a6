// Windowed transfers (the windowsize option) of the server, on the wire over loopback.

#include "engine_harness.h"

namespace enginetest {
namespace {

Bytes oackOf(std::initializer_list<std::string_view> texts) {
    Bytes out{0, 6};
    for (std::string_view s : texts) {
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    }
    return out;
}

std::string patterned(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>(i * 13 + i / 509);
    }
    return s;
}

class WindowTransferTest : public EngineTest {
  protected:
    // The next `count` DATA packets: their block numbers, their data appended to `into`.
    std::vector<int> window(std::size_t count, std::string* into = nullptr) {
        std::vector<int> numbers;
        for (std::size_t i = 0; i < count; ++i) {
            auto d = receive();
            if (!d || opcodeOf(*d) != protocol::kData) {
                break;
            }
            numbers.push_back(blockOf(*d));
            if (into != nullptr) {
                into->append(d->begin() + 4, d->end());
            }
        }
        return numbers;
    }
};

TEST_F(WindowTransferTest, ReadSendsWindowsAcrossTheWrapAndEndsShortInsideOne) {
    // 70000 blocks of 8 bytes and 3 more: numbers wrap, and the last window holds 1 block.
    const std::string body = patterned(70000 * 8 + 3);
    writeFile(outPath("f"), body);
    listen();
    sendToListener(
        request(1, "f", "octet", {{"WindowSize", "16"}, {"tsize", "0"}, {"blksize", "8"}}));
    auto oack = receive();
    ASSERT_TRUE(oack);
    EXPECT_EQ(*oack, oackOf({"tsize", "560003", "blksize", "8", "windowsize", "16"}));
    sendToTransfer(ack(0));
    std::string got;
    std::uint32_t next = 1;
    bool sawWrap = false;
    while (got.size() < body.size()) {
        const std::size_t expected = std::min<std::size_t>(16, 70001 - (next - 1));
        const auto numbers = window(expected, &got);
        ASSERT_EQ(numbers.size(), expected) << "window from " << next;
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            ASSERT_EQ(numbers[i], static_cast<std::uint16_t>(next + i));
            sawWrap = sawWrap || numbers[i] == 0;
        }
        next += static_cast<std::uint32_t>(numbers.size());
        sendToTransfer(ack(static_cast<std::uint16_t>(next - 1)));
    }
    pump();
    EXPECT_TRUE(sawWrap);
    EXPECT_TRUE(got == body);
    // Progress per acknowledged window, not per block.
    std::size_t progress = 0;
    for (const auto& e : view.events) {
        progress += e.event == server::TransferEvent::Progress ? 1 : 0;
    }
    EXPECT_EQ(progress, (70001 + 15) / 16);
    supervise();
    EXPECT_EQ(view.texts(server::TransferEvent::Result).back(), "Finished : Sending");
}

TEST_F(WindowTransferTest, ReadAnswersAGapARepeatAndSilence) {
    writeFile(outPath("f"), patterned(20 * 512));  // a multiple: an empty block 21 ends it
    listen();
    sendToListener(request(1, "f", "octet", {{"windowsize", "4"}}));
    ASSERT_EQ(*receive(), oackOf({"windowsize", "4"}));
    sendToTransfer(ack(0));
    EXPECT_EQ(window(4), (std::vector<int>{1, 2, 3, 4}));
    // Block 3 was lost: the client acknowledges 2, and the next window starts at 3.
    sendToTransfer(ack(2));
    EXPECT_EQ(window(4), (std::vector<int>{3, 4, 5, 6}));
    // A repeat of ACK 2 (block 3 lost again): one resend, then nothing for further copies.
    sendToTransfer(ack(2));
    EXPECT_EQ(window(4), (std::vector<int>{3, 4, 5, 6}));
    sendToTransfer(ack(2));
    sendToTransfer(ack(1));  // stale
    expectSilence();
    // Silence: the supervisor's retry sends the window again from its first block.
    clock.advance(31);
    supervise();
    EXPECT_EQ(window(4), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(view.texts(server::TransferEvent::Retry).back(), "Retrying");
    for (int end = 6; end < 18; end += 4) {
        sendToTransfer(ack(static_cast<std::uint16_t>(end)));
        EXPECT_EQ(window(4).size(), 4u);
    }
    sendToTransfer(ack(18));
    std::string tail;
    EXPECT_EQ(window(3, &tail), (std::vector<int>{19, 20, 21}));
    EXPECT_EQ(tail.size(), 2u * 512);
    sendToTransfer(ack(21));
    pump();
    supervise();
    EXPECT_EQ(view.texts(server::TransferEvent::Result).back(), "Finished : Sending");
}

TEST_F(WindowTransferTest, OutOfRangeWindowIsLeftUnanswered) {
    writeFile(outPath("f"), "abc");
    listen();
    for (const char* value : {"0", "65536", "x", "99999999999"}) {
        SCOPED_TRACE(value);
        sendToListener(request(1, "f", "octet", {{"windowsize", value}}));
        auto d = receive();
        ASSERT_TRUE(d);
        EXPECT_EQ(*d, data(1, bytes("abc"))) << "lock-step, as without the option";
        sendToTransfer(ack(1));
        pump();
    }
    sendToListener(request(1, "f", "octet", {{"windowsize", "65535"}, {"blksize", "1428"}}));
    EXPECT_EQ(*receive(), oackOf({"blksize", "1428", "windowsize", "2928"}))
        << "a huge window is granted as two windows of packets fit a transfer's memory";
}

TEST_F(WindowTransferTest, UploadAcknowledgesWindowEndsGapsAndTheLastBlock) {
    listen();
    sendToListener(request(2, "up", "octet", {{"windowsize", "4"}, {"blksize", "100"}}));
    ASSERT_EQ(*receive(), oackOf({"blksize", "100", "windowsize", "4"}));
    const std::string body = patterned(9 * 100 + 42);
    auto block = [&](int n) {
        const std::size_t from = static_cast<std::size_t>(n - 1) * 100;
        const std::string part = body.substr(from, std::min<std::size_t>(100, body.size() - from));
        sendToTransfer(data(static_cast<std::uint16_t>(n), bytes(part)));
    };
    for (int n = 1; n <= 3; ++n) {
        block(n);
    }
    expectSilence();  // no ACK inside a window
    block(4);
    EXPECT_EQ(*receive(), ack(4));
    // Block 6 lost: 7 shows the gap, answered once with the last block in order.
    block(5);
    block(7);
    EXPECT_EQ(*receive(), ack(5));
    block(8);
    expectSilence();
    for (int n = 6; n <= 9; ++n) {
        block(n);
    }
    EXPECT_EQ(*receive(), ack(9));
    // The ACK of 9 was lost: the client's resent window ends with 9 again.
    for (int n = 6; n <= 9; ++n) {
        block(n);
    }
    EXPECT_EQ(*receive(), ack(9));
    expectSilence();
    block(10);  // short: acknowledged at once, mid-window
    EXPECT_EQ(*receive(), ack(10));
    pump();
    EXPECT_EQ(readFile(inPath("up")), body);
    block(10);  // the final ACK was lost
    EXPECT_EQ(*receive(), ack(10));
    supervise();
    EXPECT_EQ(view.texts(server::TransferEvent::Result).back(), "Finished : Receiving");
}

}  // namespace
}  // namespace enginetest
