// The send side of the transfer engine, on the wire against a scripted server.

#include <fcntl.h>
#include <unistd.h>

#include "client/transfer_status.h"
#include "tests/client/client_harness.h"

namespace clienttest {
namespace {

using SendTest = TransferTest;

TEST_F(SendTest, RequestOfTheExampleCarriesTsizeAndTimeoutButNoBlockSize) {
    TempDir::write(dir / "n.txt", std::string(1234, 'n'));
    settings.TSize = true;
    make();
    transfer->sendTimeoutOption = 1;
    transfer->timeoutSeconds = 10;
    ASSERT_EQ(send("n.txt", false), 1);
    EXPECT_EQ(server.receive(), packet(2, {"n.txt", "netascii", "tsize", "1234", "timeout", "10"}));
}

TEST_F(SendTest, SizesBeyond4GiBAreCarriedWhole) {
    const std::string path = dir / "sparse.bin";
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 5'000'000'000), 0);
    ::close(fd);
    settings.TSize = true;
    make(1428);
    send("sparse.bin");
    EXPECT_EQ(server.receive(),
              packet(2, {"sparse.bin", "octet", "tsize", "5000000000", "blksize", "1428"}));
    EXPECT_EQ(transfer->fileSize(), 5'000'000'000u);

    char text[100];
    EXPECT_EQ(client::FormatSent(text, 4'000'000'000, 5'000'000'000, false),
              "Sent 4000000000 bytes (80%)");
    EXPECT_EQ(client::FormatReceived(text, 5'000'000'000, 9'765'625, true),
              "Received 5000000000 bytes (9765625 blocks) - Done");
    EXPECT_EQ(client::SentPercentage(512, 1000), 51);
}

TEST_F(SendTest, EmptyFileAndFileOfWholeBlocksEndWithAnEmptyBlock) {
    for (std::size_t size : {0u, 1024u}) {
        owner = {};
        TempDir::write(dir / "w.bin", std::string(size, 'w'));
        make();
        send("w.bin");
        server.receive();
        std::uint16_t number = 1;
        for (std::size_t sent = 0; sent < size; sent += 512, ++number) {
            EXPECT_EQ(exchange(ack(number - 1)), data(number, std::string(512, 'w')));
        }
        EXPECT_EQ(exchange(ack(number - 1)), data(number, ""));
        server.reply(ack(number));
        pumpUntilEnded();
        EXPECT_EQ(owner.endCodes, std::vector<int>{-1});
        EXPECT_EQ(owner.statuses.back(), size == 0 ? "Sent 0 bytes" : "Sent 1024 bytes (100%)");
    }
}

TEST_F(SendTest, RepeatedAckBeforeTheLastBlockResendsItAndOlderAcksAreIgnored) {
    const std::string body = std::string(512, 'a') + std::string(512, 'b') + "tail";
    TempDir::write(dir / "r.bin", body);
    make();
    send("r.bin");
    server.receive();
    EXPECT_EQ(exchange(ack(0)), data(1, body.substr(0, 512)));
    EXPECT_EQ(exchange(ack(1)), data(2, body.substr(512, 512)));
    // A repeat at once answers a duplicate of block 1, not a loss: it would double every block.
    server.reply(ack(1));
    server.expectSilence();
    clock.advanceMilliseconds(transfer->RetransmissionIntervalMs() / 2);
    EXPECT_EQ(exchange(ack(1)), data(2, body.substr(512, 512)));
    EXPECT_EQ(owner.statuses.back(), "ReSent 1024 bytes (99%)");
    EXPECT_EQ(transfer->count(), 1024u);
    server.reply(ack(0));
    server.expectSilence();
    EXPECT_EQ(exchange(ack(2)), data(3, "tail"));
    server.reply(ack(3));
    pumpUntilEnded();
    EXPECT_EQ(owner.endCodes, std::vector<int>{-1});

    // The figures the window saw: the size, then bytes sent (notices not yet seen are merged).
    loop.runOnce(0);
    ASSERT_GE(view.notices.size(), 3u);
    EXPECT_EQ(view.notices[1].kind, client::kProgressTotal);
    EXPECT_EQ(view.notices[1].value, body.size());
    EXPECT_EQ(view.notices.back().kind, client::kProgressSent);
    EXPECT_EQ(view.notices.back().value, body.size());
}

TEST_F(SendTest, OackIsTheAckOfTheRequestAndItsTsizeIsIgnored) {
    TempDir::write(dir / "o.bin", std::string(900, 'o'));
    settings.TSize = true;
    make(1024);
    send("o.bin");
    server.receive();
    EXPECT_EQ(exchange(packet(6, {"tsize", "5", "blksize", "700"})),
              data(1, std::string(700, 'o')));
    EXPECT_EQ(transfer->fileSize(), 900u);
}

TEST_F(SendTest, AckWithoutOackMeansTheServerRefusedTheBlockSize) {
    TempDir::write(dir / "o.bin", std::string(900, 'o'));
    make(1024);
    send("o.bin");
    server.receive();
    EXPECT_EQ(exchange(ack(0)), data(1, std::string(512, 'o')));
    loop.runOnce(0);
    ASSERT_EQ(view.notices.size(), 4u);
    EXPECT_EQ(view.notices[2].message, client::WM_BLOCKSIZECHANGED);
    EXPECT_EQ(view.notices[2].value, 512u);
}

TEST_F(SendTest, RefusalUnknownOpcodeAndUnreadableFile) {
    TempDir::write(dir / "o.bin", "x");
    make();
    send("o.bin");
    server.receive();
    EXPECT_EQ(exchange(coded(8, 0, "Inconclusive system error")),
              coded(5, 7, "Option negotiation failure"));
    EXPECT_EQ(owner.statuses.back(), "Option Failure");

    make();
    send("o.bin");
    server.receive();
    EXPECT_EQ(exchange(data(1, "?")), coded(5, 4, "Unknown TFTP Operation"));
    EXPECT_EQ(owner.statuses.back(), "Offering file to server ...");
    EXPECT_EQ(owner.endCodes, (std::vector<int>{7, 4}));

    // A file whose reading fails must not go out as a short, final block.
    make();
    transfer->sending = 1;
    transfer->pathGiven = 1;
    transfer->givenDirectory = "/proc/self/";
    ASSERT_EQ(transfer->StartSend("mem", "mem", "127.0.0.1", server.port(), true, "mem"), 1);
    server.receive();
    EXPECT_EQ(exchange(ack(0)), coded(5, 3, "Disk full"));
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Error reading local file"});

    make();
    EXPECT_EQ(send("missing.bin"), 0);
    EXPECT_EQ(dialogs.messages.back(), "Unable to open file");
    server.expectSilence();
}

// A server that never repeats its ACKs (ravendockd on a write) still gets a lost block again.
TEST_F(SendTest, LostDataAndLostRequestGoOutAgainAfterTheInterval) {
    TempDir::write(dir / "l.bin", "last");
    make();
    transfer->timeoutSeconds = 1;
    EXPECT_EQ(transfer->RetransmissionIntervalMs(), 333);
    send("l.bin");
    const Bytes wrq = server.receive().value_or(Bytes{});
    clock.advanceMilliseconds(333);
    transfer->CheckTimeout();
    EXPECT_EQ(server.receive(), wrq);
    EXPECT_EQ(exchange(ack(0)), data(1, "last"));
    clock.advanceMilliseconds(300);
    transfer->CheckTimeout();
    server.expectSilence();
    clock.advanceMilliseconds(33);
    transfer->CheckTimeout();
    EXPECT_EQ(server.receive(), data(1, "last"));
    EXPECT_EQ(transfer->count(), 4u) << "a packet sent again is not counted again";
    server.reply(ack(1));
    pumpUntilEnded();
    EXPECT_EQ(owner.endCodes, std::vector<int>{-1});
}

TEST_F(SendTest, BlockNumbersWrapAfter65535AndTheBlockBeforeTheWrapCanBeResent) {
    const std::size_t blocks = 65537;
    TempDir::write(dir / "w.bin", std::string(blocks * 8 - 3, 'w'));
    make(8);
    send("w.bin");
    server.receive();
    EXPECT_EQ(exchange(packet(6, {"blksize", "8"})), data(1, "wwwwwwww"));
    std::uint16_t number = 1;
    for (std::size_t i = 1; i < blocks - 1; ++i, ++number) {
        auto got = exchange(ack(number));
        ASSERT_EQ(blockOf(got), static_cast<std::uint16_t>(number + 1));
        ASSERT_EQ(got.size(), 12u);
    }
    EXPECT_EQ(number, 0);  // block 0 (the 65536th) went out last
    clock.advance(1);
    EXPECT_EQ(blockOf(exchange(ack(65535))), 0);
    EXPECT_EQ(exchange(ack(0)), data(1, "wwwww"));
    server.reply(ack(1));
    pumpUntilEnded();
    EXPECT_EQ(owner.endCodes, std::vector<int>{-1});
}

}  // namespace
}  // namespace clienttest

namespace clienttest {
namespace {

// One datagram in twenty lost each way, fetch and send alike: the client's retransmissions carry
// both through. The server answers what it gets and repeats its last packet when it hears the
// previous one again, as tftpd-hpa does; it never resends on its own.
TEST_F(TransferTest, FivePercentLossEachWayNoLongerEndsTransfers) {
    const std::string body = std::string(30 * 512 + 100, 'L');
    TempDir::write(dir / "up.bin", body);
    for (bool sending : {false, true}) {
        owner = {};
        std::string stored;
        int in = 0, out = 0;
        make();
        server.script([&](const Bytes& got) {
            if (++in % 20 == 0) {
                return;  // lost on the way to the server
            }
            const std::uint16_t op = opcodeOf(got);
            Bytes answer;
            if (op == 1 || op == 4) {  // a fetch: the next block, or the same one again
                const std::uint16_t next =
                    op == 1 ? 1 : static_cast<std::uint16_t>(blockOf(got) + 1);
                const std::size_t from = (next - 1) * 512u;
                answer = from <= body.size() ? data(next, body.substr(from, 512)) : Bytes{};
            } else if (op == 2 || op == 3) {  // a send: store a new block, acknowledge any
                const std::uint16_t number = op == 2 ? 0 : blockOf(got);
                if (op == 3 && number == stored.size() / 512 + 1) {
                    stored += textOf(got);
                }
                answer = ack(number);
            }
            if (!answer.empty() && ++out % 20 != 0) {
                server.reply(answer);
            }
        });
        ASSERT_EQ(sending ? send("up.bin") : fetch("down.bin"), 1);
        for (int pass = 0; pass < 2000 && owner.endCodes.empty(); ++pass) {
            if (loop.runOnce(5) == 0) {
                clock.advance(1);
                transfer->CheckTimeout();
            }
        }
        EXPECT_EQ(owner.endCodes, std::vector<int>{-1}) << (sending ? "send" : "fetch");
        EXPECT_TRUE((sending ? stored : TempDir::read(dir / "down.bin")) == body);
        EXPECT_GT(in / 20 + out / 20, 1) << "some packets were lost";
        server.unscript();
    }
}

}  // namespace
}  // namespace clienttest
