// The window sender and receiver shared by both programs, alone and talking to each other over
// a simulated path that loses and reorders packets.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "protocol/packet.h"
#include "protocol/transfer_file.h"
#include "protocol/window_option.h"
#include "protocol/window_receiver.h"
#include "protocol/window_sender.h"

namespace protocol {
namespace {

namespace fs = std::filesystem;
using Ack = WindowSender::Ack;

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string templ = (fs::temp_directory_path() / "window_XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir_ = templ;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string put(const std::string& content) {
        const std::string path = (dir_ / "f").string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::string pattern(std::size_t n) {
        std::string s(n, '\0');
        for (std::size_t i = 0; i < n; ++i) {
            s[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
        }
        return s;
    }
    // Block numbers of a burst.
    static std::vector<int> numbers(std::span<const iovec> burst) {
        std::vector<int> out;
        for (const iovec& v : burst) {
            out.push_back(readU16(static_cast<const std::uint8_t*>(v.iov_base) + 2));
        }
        return out;
    }
    static std::size_t dataBytes(const iovec& v) { return v.iov_len - kHeaderSize; }

    fs::path dir_;
};

TEST_F(WindowTest, OptionRangeAndGrant) {
    EXPECT_FALSE(windowSizeInRange(0));
    EXPECT_TRUE(windowSizeInRange(1));
    EXPECT_TRUE(windowSizeInRange(65535));
    EXPECT_FALSE(windowSizeInRange(65536));
    EXPECT_EQ(grantedSendWindow(16, 1428), 16u);
    EXPECT_EQ(grantedSendWindow(64, 8192), 64u);
    // Bursts fit a peer's default receive buffer.
    EXPECT_EQ(burstLimit(1428), 104u);
    EXPECT_EQ(burstLimit(8192), 13u);
    EXPECT_GE(burstLimit(65464), 1u);
    // Never more than half the block numbers, and two windows of big blocks stay bounded.
    EXPECT_EQ(grantedReceiveWindow(65535), 32768u);
    EXPECT_LE(grantedSendWindow(65535, 512), 32768u);
    EXPECT_LE(grantedSendWindow(65535, 65464) * 2 * 65468ull, 8ull * 1024 * 1024);
    EXPECT_GE(grantedSendWindow(65535, 65464), 1u);
}

TEST_F(WindowTest, ReadBlocksFillsInOrderAndStopsAtTheEnd) {
    const std::string content = pattern(1000);
    TransferFile file;
    ASSERT_TRUE(file.openForRead(put(content), false));
    std::vector<std::uint8_t> a(300), b(300), c(300), d(300);
    iovec io[] = {{a.data(), 300}, {b.data(), 300}, {c.data(), 300}, {d.data(), 300}};
    EXPECT_EQ(file.readBlocks(io, 2), 600);
    EXPECT_EQ(file.readBlocks(io + 2, 2), 400);
    EXPECT_EQ(std::string(d.begin(), d.begin() + 100), content.substr(900));
    EXPECT_EQ(file.readBlocks(io, 1), 0);
}

TEST_F(WindowTest, SenderSendsWindowsAndEndsOnAShortBlockInsideOne) {
    // Six full blocks and a short seventh: windows 1-4, 5-7.
    const std::string content = pattern(6 * 512 + 10);
    TransferFile file;
    ASSERT_TRUE(file.openForRead(put(content), false));
    WindowSender sender;
    ASSERT_TRUE(sender.start(4, 512));
    ASSERT_TRUE(sender.fillWindow(file));
    auto burst = sender.takeDue();
    EXPECT_EQ(numbers(burst), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(readU16(static_cast<const std::uint8_t*>(burst[0].iov_base)), kData);
    EXPECT_EQ(std::memcmp(static_cast<const std::uint8_t*>(burst[1].iov_base) + 4,
                          content.data() + 512, 512),
              0);
    EXPECT_TRUE(sender.takeDue().empty());  // waits for the ACK
    EXPECT_FALSE(sender.hasDue());
    ASSERT_TRUE(sender.fillAhead(file));
    EXPECT_TRUE(sender.lastBlockRead());

    EXPECT_EQ(sender.onAck(4), Ack::Progress);
    EXPECT_EQ(sender.ackedBytes(), 4u * 512);
    EXPECT_EQ(numbers(sender.takeDue(2)), (std::vector<int>{5, 6}));  // in parts
    EXPECT_TRUE(sender.hasDue());
    burst = sender.takeDue();
    ASSERT_EQ(numbers(burst), (std::vector<int>{7}));
    EXPECT_EQ(dataBytes(burst[0]), 10u);
    EXPECT_EQ(sender.onAck(7), Ack::Complete);
    EXPECT_EQ(sender.ackedBytes(), content.size());
}

TEST_F(WindowTest, SenderAnswersGapsRepeatsAndStrayAcks) {
    TransferFile file;
    ASSERT_TRUE(file.openForRead(put(pattern(20 * 100)), false));  // multiple: empty block 21
    WindowSender sender;
    ASSERT_TRUE(sender.start(4, 100));
    ASSERT_TRUE(sender.fillAhead(file));
    EXPECT_EQ(numbers(sender.takeDue()), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(sender.onAck(9), Ack::Ignored);  // never sent
    // The peer saw a gap after block 2: the next window starts at 3.
    EXPECT_EQ(sender.onAck(2), Ack::Progress);
    ASSERT_TRUE(sender.fillAhead(file));
    EXPECT_EQ(numbers(sender.takeDue()), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(sender.onAck(1), Ack::Ignored);  // reordered, older
    // A repeat of the last ACK: block 3 was lost. One resend, then silence until progress.
    EXPECT_EQ(sender.onAck(2), Ack::Resend);
    EXPECT_EQ(numbers(sender.takeDue()), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(sender.onAck(2), Ack::Ignored);
    EXPECT_TRUE(sender.takeDue().empty());
    sender.rewind();  // the peer stayed silent
    EXPECT_EQ(numbers(sender.takeDue()), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(sender.onAck(6), Ack::Progress);
    for (int end = 10; end <= 18; end += 4) {
        ASSERT_TRUE(sender.fillAhead(file));
        ASSERT_EQ(sender.takeDue().size(), 4u);
        EXPECT_EQ(sender.onAck(static_cast<std::uint16_t>(end)), Ack::Progress);
    }
    ASSERT_TRUE(sender.fillAhead(file));
    auto burst = sender.takeDue();
    ASSERT_EQ(numbers(burst), (std::vector<int>{19, 20, 21}));
    EXPECT_EQ(dataBytes(burst[2]), 0u);
    EXPECT_EQ(sender.onAck(21), Ack::Complete);
}

TEST_F(WindowTest, ReceiverAcknowledgesWindowEndsGapsAndLostAcks) {
    WindowReceiver r;
    r.start(3);
    EXPECT_FALSE(r.onData(1, false).ack);
    EXPECT_FALSE(r.onData(2, false).ack);
    auto step = r.onData(3, false);
    EXPECT_TRUE(step.store && step.ack);
    EXPECT_EQ(step.ackBlock, 3);
    // Block 4 lost: 5 shows the gap, answered once with the last block in order.
    step = r.onData(5, false);
    EXPECT_FALSE(step.store);
    EXPECT_TRUE(step.ack);
    EXPECT_EQ(step.ackBlock, 3);
    EXPECT_FALSE(r.onData(6, false).ack);
    // The sender went again from 4; a late copy of an old block changes nothing.
    EXPECT_FALSE(r.onData(2, false).ack);
    EXPECT_TRUE(r.onData(4, false).store);
    EXPECT_TRUE(r.onData(5, false).store);
    step = r.onData(6, false);
    EXPECT_EQ(step.ackBlock, 6);
    // Our ACK 6 was lost: the resent window's end asks for it again.
    EXPECT_FALSE(r.onData(4, false).ack);
    step = r.onData(6, false);
    EXPECT_TRUE(step.ack && !step.store);
    EXPECT_EQ(step.ackBlock, 6);
    EXPECT_EQ(r.lastInOrder(), 6);
    // The short block ends it at once, mid-window; its repeat is acknowledged again.
    step = r.onData(7, true);
    EXPECT_TRUE(step.store && step.ack && step.last);
    EXPECT_TRUE(r.complete());
    EXPECT_FALSE(r.onData(8, false).store);
    step = r.onData(7, true);
    EXPECT_TRUE(step.ack && !step.store);
}

TEST_F(WindowTest, ReceiverWaitsForTheRestOfAWindowOnlyWhileOneIsUnderWayAndBriefly) {
    int yields = 0;
    WindowReceiver lockStep;
    lockStep.start(1);
    lockStep.onData(1, false);
    EXPECT_FALSE(lockStep.yieldForRestOfWindow(yields)) << "nothing more is coming before an ACK";
    WindowReceiver r;
    r.start(4);
    EXPECT_FALSE(r.yieldForRestOfWindow(yields)) << "no window under way yet";
    r.onData(1, false);
    while (r.yieldForRestOfWindow(yields)) {
    }
    EXPECT_EQ(yields, WindowReceiver::kMidWindowYields);
    yields = 0;
    r.onData(2, false);
    r.onData(3, false);
    r.onData(4, false);
    EXPECT_FALSE(r.yieldForRestOfWindow(yields)) << "the window is in and acknowledged";
    r.onData(5, true);
    EXPECT_FALSE(r.yieldForRestOfWindow(yields)) << "complete";
}

// Sender and receiver over a path that drops and reorders what `lose` says, until the receiver
// has the whole file; the file crosses the 16-bit wrap of block numbers.
struct PathCase {
    std::size_t window;
    std::size_t blockSize;
    std::size_t size;
    bool text;
    std::function<bool(int packet)> lose;
    bool reorder;
};

class WindowPathTest : public WindowTest, public ::testing::WithParamInterface<int> {};

std::vector<PathCase> pathCases() {
    return {
        // 70000 blocks of 8 bytes: block numbers wrap; the last window ends short.
        {16, 8, 70000 * 8 + 3, false, [](int) { return false; }, false},
        {7, 8, 70001 * 8, false, [](int n) { return n % 23 == 5; }, true},
        {4, 64, 300 * 64 + 17, true, [](int n) { return n % 11 == 3 || n % 13 == 0; }, false},
        {1, 32, 2000, false, [](int n) { return n % 5 == 1; }, true},
    };
}

TEST_P(WindowPathTest, WholeFileArrivesDespiteLossAndReordering) {
    const PathCase pc = pathCases()[static_cast<std::size_t>(GetParam())];
    std::string content = pattern(pc.size);
    if (pc.text) {
        for (std::size_t i = 40; i < content.size(); i += 97) {
            content[i - 1] = '\r';
            content[i] = '\n';
        }
    }
    TransferFile file;
    ASSERT_TRUE(file.openForRead(put(content), pc.text));
    std::string expected;
    {
        TransferFile plain;
        ASSERT_TRUE(plain.openForRead((dir_ / "f").string(), pc.text));
        std::vector<std::uint8_t> buf(4096);
        for (std::int64_t n; (n = plain.read(buf.data(), buf.size())) > 0;) {
            expected.append(buf.begin(), buf.begin() + n);
        }
    }

    WindowSender sender;
    ASSERT_TRUE(sender.start(pc.window, pc.blockSize));
    WindowReceiver receiver;
    receiver.start(pc.window);
    std::string received;
    std::deque<std::vector<std::uint8_t>> toReceiver;
    std::deque<std::uint16_t> toSender;
    int packets = 0;
    bool done = false;
    for (int round = 0; round < 400000 && !done; ++round) {
        ASSERT_TRUE(sender.fillWindow(file));
        for (const iovec& v : sender.takeDue()) {
            if (!pc.lose(packets++)) {
                auto* p = static_cast<const std::uint8_t*>(v.iov_base);
                toReceiver.emplace_back(p, p + v.iov_len);
            }
        }
        ASSERT_TRUE(sender.fillAhead(file));
        if (pc.reorder && toReceiver.size() > 2) {
            std::swap(toReceiver[0], toReceiver[1]);
        }
        while (!toReceiver.empty()) {
            const auto packet = std::move(toReceiver.front());
            toReceiver.pop_front();
            const bool isShort = packet.size() < pc.blockSize + kHeaderSize;
            const auto step = receiver.onData(readU16(packet.data() + 2), isShort);
            if (step.store) {
                received.append(packet.begin() + kHeaderSize, packet.end());
            }
            if (step.ack && !pc.lose(packets++)) {
                toSender.push_back(step.ackBlock);
            }
        }
        if (toSender.empty()) {
            sender.rewind();  // silence: the sender's time-out
            continue;
        }
        while (!toSender.empty() && !done) {
            done = sender.onAck(toSender.front()) == Ack::Complete;
            toSender.pop_front();
        }
    }
    EXPECT_TRUE(done);
    EXPECT_TRUE(receiver.complete());
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
    EXPECT_EQ(sender.ackedBytes(), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, WindowPathTest, ::testing::Range(0, 4));

}  // namespace
}  // namespace protocol
