// Windowed transfers of the client (--windowsize=N), on the wire against a scripted server.

#include "client/command_line.h"
#include "tests/client/client_harness.h"

namespace clienttest {
namespace {

using WindowTest = TransferTest;

std::string patterned(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>('a' + (i * 5 + i / 100) % 26);
    }
    return s;
}

TEST_F(WindowTest, OptionFromCommandLineOrProfileInRangeOnly) {
    EXPECT_EQ(client::ParseClientCommandLine({"m", "--windowsize=16"}).windowSize, "16");
    EXPECT_EQ(client::WindowSizeFrom("16"), 16);
    EXPECT_EQ(client::WindowSizeFrom("65535"), 65535);
    EXPECT_EQ(client::WindowSizeFrom("65536"), 0);
    EXPECT_EQ(client::WindowSizeFrom("x"), 0);
    EXPECT_EQ(settings.WindowSize, 0) << "off by default";
}

TEST_F(WindowTest, FetchAcknowledgesWindowEndsAGapAndTheShortBlock) {
    make(100);
    transfer->windowSize = 8;
    ASSERT_EQ(fetch("f.bin"), 1);
    EXPECT_EQ(server.receive(),
              packet(1, {"f.bin", "octet", "tsize", "0", "blksize", "100", "windowsize", "8"}));
    // Granted less than asked: windows of 3.
    EXPECT_EQ(exchange(packet(6, {"blksize", "100", "windowsize", "3"})), ack(0));
    const std::string body = patterned(7 * 100 + 30);
    auto block = [&](int n) {
        const auto from = static_cast<std::size_t>(n - 1) * 100;
        server.reply(data(static_cast<std::uint16_t>(n),
                          body.substr(from, std::min<std::size_t>(100, body.size() - from))));
    };
    block(1);
    block(2);
    server.expectSilence();
    EXPECT_EQ(exchange(data(3, body.substr(200, 100))), ack(3));
    block(5);  // 4 lost
    EXPECT_EQ(server.receive(), ack(3));
    block(6);
    server.expectSilence();  // the gap is told once
    block(4);
    block(5);
    block(6);
    EXPECT_EQ(server.receive(), ack(6));
    // Silence: after two seconds the client repeats the ACK of what it has in order.
    clock.advance(2);
    transfer->CheckTimeout();
    EXPECT_EQ(server.receive(), ack(6));
    block(7);
    server.expectSilence();
    block(8);  // short: ends it
    EXPECT_EQ(server.receive(), ack(8));
    pumpUntilEnded();
    EXPECT_EQ(owner.endCodes, std::vector<int>{-1});
    EXPECT_EQ(owner.statuses.back(), "Received 730 bytes (8 blocks) - Done");
    EXPECT_EQ(TempDir::read(dir / "f.bin"), body);
}

TEST_F(WindowTest, OackWithoutWindowOrWithTooBigAWindow) {
    make();
    transfer->windowSize = 4;
    fetch("f.bin");
    server.receive();
    EXPECT_EQ(exchange(packet(6, {"tsize", "600"})), ack(0));
    EXPECT_EQ(exchange(data(1, std::string(512, 'l'))), ack(1)) << "lock-step";

    make();
    transfer->windowSize = 4;
    fetch("g.bin");
    server.receive();
    server.reply(packet(6, {"windowsize", "5"}));  // more than asked
    pumpUntilEnded();
    EXPECT_EQ(owner.endCodes.back(), 8);
    EXPECT_EQ(server.receive(), coded(5, 8, "Transfer Aborted"));
}

TEST_F(WindowTest, SendGoesByWindowsAcrossTheWrapAndResendsOnGapsAndSilence) {
    // 65540 blocks of 8 bytes and 5 more: numbers wrap, and the last block is short.
    const std::string body = patterned(65540 * 8 + 5);
    TempDir::write(dir / "w.bin", body);
    make(8);
    transfer->windowSize = 64;
    ASSERT_EQ(send("w.bin"), 1);
    EXPECT_EQ(server.receive(), packet(2, {"w.bin", "octet", "blksize", "8", "windowsize", "64"}));
    server.reply(packet(6, {"blksize", "8", "windowsize", "4"}));
    auto window = [&](std::string* into) {
        std::vector<int> numbers;
        for (int i = 0; i < 4; ++i) {
            auto d = server.receive();
            if (!d) {
                break;
            }
            numbers.push_back(blockOf(*d));
            if (into != nullptr) {
                into->append(d->begin() + 4, d->end());
            }
            if (d->size() < 12) {
                break;
            }
        }
        return numbers;
    };
    EXPECT_EQ(window(nullptr), (std::vector<int>{1, 2, 3, 4}));
    server.reply(ack(2));  // the server saw a gap after 2
    EXPECT_EQ(window(nullptr), (std::vector<int>{3, 4, 5, 6}));
    clock.advance(2);
    transfer->CheckTimeout();  // silence: the window again
    EXPECT_EQ(window(nullptr), (std::vector<int>{3, 4, 5, 6}));
    std::string got = body.substr(0, 16);
    std::uint32_t acked = 2;
    server.reply(ack(2));  // a repeat of the last ACK: one more resend
    while (owner.endCodes.empty()) {
        const auto numbers = window(&got);
        ASSERT_FALSE(numbers.empty()) << "after " << acked;
        ASSERT_EQ(numbers.front(), static_cast<std::uint16_t>(acked + 1));
        acked += static_cast<std::uint32_t>(numbers.size());
        server.reply(ack(static_cast<std::uint16_t>(acked)));
        if (numbers.size() < 4) {
            pumpUntilEnded();
        }
    }
    EXPECT_EQ(acked, 65541u);
    EXPECT_EQ(owner.endCodes, std::vector<int>{-1});
    EXPECT_TRUE(got == body);
    EXPECT_EQ(owner.statuses.back(), "Sent 524325 bytes (100%)");
}

}  // namespace
}  // namespace clienttest
