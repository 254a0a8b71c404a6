// The fetch side of the transfer engine, on the wire against a scripted server.

#include <signal.h>
#include <sys/resource.h>

#include "tests/client/client_harness.h"

namespace clienttest {
namespace {

using FetchTest = TransferTest;

TEST_F(FetchTest, RequestOfTheExampleIs35BytesAndOneFullBlockWaitsForAnEmptyOne) {
    make(1024);
    ASSERT_EQ(fetch("a.txt"), 1);
    auto rrq = server.receive();
    ASSERT_TRUE(rrq);
    EXPECT_EQ(*rrq, packet(1, {"a.txt", "octet", "tsize", "0", "blksize", "1024"}));
    EXPECT_EQ(rrq->size(), 35u);

    // The server refuses the options by answering with data: blocks are 512 bytes, so a full
    // one is not the last.
    const std::string block(512, 'x');
    EXPECT_EQ(exchange(data(1, block)), ack(1));
    EXPECT_TRUE(owner.endCodes.empty());
    EXPECT_EQ(exchange(data(2, "")), ack(2));
    pumpUntilEnded();
    EXPECT_EQ(owner.endCodes, std::vector<int>{-1});
    EXPECT_EQ(owner.statuses.back(), "Received 512 bytes (2 blocks) - Done");
    EXPECT_EQ(TempDir::read(dir / "a.txt"), block);
}

TEST_F(FetchTest, RequestFitsWhateverTheNameAndBlockSize) {
    const std::string name(500, 'n');
    make(64);
    transfer->sendTimeoutOption = 1;
    transfer->timeoutSeconds = 2147483647;
    ASSERT_EQ(transfer->StartFetch(name, "n.bin", "127.0.0.1", server.port(), true), 1);
    EXPECT_EQ(server.receive(),
              packet(1, {name, "octet", "tsize", "0", "timeout", "2147483647", "blksize", "64"}));
}

TEST_F(FetchTest, WrongBlockIsAnsweredWithTheAckBeforeTheExpectedOne) {
    make();
    fetch("f.bin");
    server.receive();
    EXPECT_EQ(exchange(data(1, std::string(512, 'a'))), ack(1));
    EXPECT_EQ(exchange(data(7, "junk")), ack(1));
    EXPECT_EQ(exchange(data(1, std::string(512, 'b'))), ack(1));
    EXPECT_EQ(transfer->block(), 2);
    EXPECT_EQ(transfer->count(), 1u);
    EXPECT_EQ(exchange(data(2, "end")), ack(2));
    EXPECT_EQ(TempDir::read(dir / "f.bin"), std::string(512, 'a') + "end");
}

TEST_F(FetchTest, OackNamesInCapitalsApplyButTimeoutLeavesTheLocalTimeOut) {
    make(1024);
    transfer->sendTimeoutOption = 1;
    fetch("f.bin");
    server.receive();
    EXPECT_EQ(exchange(packet(6, {"TSIZE", "1000", "Timeout", "2", "BLKSIZE", "600"})), ack(0));
    EXPECT_EQ(transfer->blockSize, 600);
    EXPECT_EQ(transfer->fileSize(), 1000u);
    EXPECT_EQ(exchange(data(1, std::string(600, 'z'))), ack(1));
    EXPECT_TRUE(transfer->active());  // 600 bytes is a full block now

    // Silence: the ACK goes out again, but only a bounded number of times.
    for (int i = 0; i < 10; ++i) {
        clock.advance(1);
        transfer->CheckTimeout();
        if (i < client::CTransferSocket::kMaxRetransmissions) {
            EXPECT_EQ(server.receive(), ack(1));
        }
    }
    server.expectSilence();
    EXPECT_TRUE(transfer->active());
    clock.advance(1);
    transfer->CheckTimeout();
    EXPECT_EQ(owner.endCodes, std::vector<int>{-2});
    EXPECT_EQ(owner.statuses.back(), "Timed out");
    server.expectSilence();  // a time-out sends nothing

    loop.runOnce(0);
    ASSERT_FALSE(view.notices.empty());
    EXPECT_EQ(view.notices.front().message, client::WM_LOCALADDRESS);
    EXPECT_EQ(view.notices.front().localAddress, "127.0.0.1");
    EXPECT_EQ(view.notices[1].kind, client::kProgressTotal);
    EXPECT_EQ(view.notices[1].value, 1000u);
}

TEST_F(FetchTest, OackWithoutTheBlockSizeAskedForMeansBlocksOf512) {
    make(8192);
    fetch("f.bin");
    server.receive();
    EXPECT_EQ(exchange(packet(6, {"tsize", "700"})), ack(0));
    EXPECT_EQ(transfer->blockSize, 512);
    EXPECT_EQ(exchange(data(1, std::string(512, 'q'))), ack(1));
    EXPECT_TRUE(transfer->active());
}

TEST_F(FetchTest, EndsOfTheServer) {
    struct Case {
        Bytes reply;
        int code;
        std::optional<Bytes> answer;
        std::string status;
    };
    const std::string longText(100, 'e');
    const std::vector<Case> cases = {
        {coded(5, 1, "File not found"), -1, std::nullopt, "Msg from Server > File not found"},
        {coded(5, 0, longText), -1, std::nullopt, "Msg from Server > " + longText.substr(0, 42)},
        {coded(8, 0, "Inconclusive system error"), 7, coded(5, 7, "Option negotiation failure"),
         "Requesting file from server ..."},
        {ack(1), 4, coded(5, 4, "Unknown TFTP Operation"), "Unknown TFTP command received 4"},
    };
    settings.OverWrite = true;
    for (const Case& c : cases) {
        owner = {};
        make();
        ASSERT_EQ(fetch("f.bin"), 1);
        server.receive();
        server.reply(c.reply);
        pumpUntilEnded();
        EXPECT_EQ(owner.endCodes, std::vector<int>{c.code});
        EXPECT_EQ(owner.statuses.back(), c.status);
        if (c.answer) {
            EXPECT_EQ(server.receive(), c.answer);
        } else {
            server.expectSilence();
        }
    }
}

TEST_F(FetchTest, RepliesFromTheTransferPortAreFollowed) {
    make();
    fetch("f.bin");
    server.receive();
    FakeServer transferPort(loop);
    transferPort.client = server.client;
    transferPort.reply(data(1, std::string(512, 'p')));
    EXPECT_EQ(transferPort.receive(), ack(1));
    EXPECT_EQ(transfer->peer(), transferPort.endpoint());
    transfer->EndTransfer(8);
    EXPECT_EQ(transferPort.receive(), coded(5, 8, "Transfer Aborted"));
}

TEST_F(FetchTest, AbortBeforeAnyReplyGoesToTheRequestsHostAndPort) {
    make();
    fetch("f.bin");
    server.receive();
    transfer->EndTransfer(8);
    EXPECT_EQ(server.receive(), coded(5, 8, "Transfer Aborted"));
    EXPECT_EQ(owner.endCodes, std::vector<int>{8});
}

TEST_F(FetchTest, DatagramLargerThanABlockIsDiscarded) {
    make();
    fetch("f.bin");
    server.receive();
    server.reply(data(1, std::string(513, 'x')));
    server.expectSilence();
    EXPECT_EQ(exchange(data(1, "fits")), ack(1));
}

TEST_F(FetchTest, ExistingFileIsKeptUnlessTheQuestionIsAnsweredYes) {
    TempDir::write(dir / "f.bin", "precious");
    make();
    EXPECT_EQ(fetch("f.bin"), 0);
    EXPECT_EQ(dialogs.questions, std::vector<std::string>{"File already exists\n\nOverwrite it ?"});
    EXPECT_FALSE(transfer->active());
    server.expectSilence();
    EXPECT_EQ(TempDir::read(dir / "f.bin"), "precious");
    EXPECT_TRUE(owner.endCodes.empty());

    dialogs.yes = true;
    EXPECT_EQ(fetch("f.bin"), 1);
    settings.Inbound = dir / "missing/";
    make();
    EXPECT_EQ(fetch("f.bin"), 0);
    EXPECT_EQ(dialogs.messages.back(), "Unable to create file : " + dir / "missing/f.bin");
}

TEST_F(FetchTest, NetasciiStoresLinesAsThisSystemEndsThem) {
    make(8);
    fetch("t.txt", false);
    EXPECT_EQ(server.receive(), packet(1, {"t.txt", "netascii", "blksize", "8"}));
    exchange(packet(6, {"blksize", "8"}));
    exchange(data(1, "one\r\ntwo"));
    exchange(data(2, std::string("\r\0abcde\r", 8)));
    exchange(data(3, "\nz"));
    EXPECT_EQ(TempDir::read(dir / "t.txt"), "one\ntwo\rabcde\nz");
}

TEST_F(FetchTest, OackMayOnlyAnswerWhatWasAskedAndNoLargerBlock) {
    struct Case {
        std::vector<std::string> oack;
        int code;
    };
    const std::vector<Case> cases = {
        {{"blksize", "4"}, 0},     // asked, but no socket takes it
        {{"blksize", "2048"}, 8},  // larger than asked
        {{"timeout", "5"}, 8},     // not asked
        {{"windowsize", "4"}, 8},  // not asked
    };
    for (const Case& c : cases) {
        owner = {};
        dialogs.messages.clear();
        make(1024);
        ASSERT_EQ(fetch("f.bin"), 1);
        server.receive();
        const std::string text = c.code == 0 ? "Inconclusive system error" : "Transfer Aborted";
        EXPECT_EQ(exchange(packet(6, c.oack)), coded(5, static_cast<std::uint16_t>(c.code), text));
        EXPECT_EQ(owner.endCodes, std::vector<int>{c.code});
        EXPECT_FALSE(std::filesystem::exists(dir / "f.bin"));
    }
}

// The first reply may come from any port; after it, anyone else gets ERROR 5 and changes nothing.
TEST_F(FetchTest, DatagramsFromStrangersAreAnsweredWithError5AndIgnored) {
    make();
    fetch("f.bin");
    server.receive();
    FakeServer transferPort(loop);
    transferPort.client = server.client;
    transferPort.reply(data(1, std::string(512, 'a')));
    EXPECT_EQ(transferPort.receive(), ack(1));
    FakeServer stranger(loop);
    stranger.client = server.client;
    stranger.reply(data(2, "forged"));
    EXPECT_EQ(stranger.receive(), coded(5, 5, "Unknown transfer ID"));
    stranger.reply(coded(5, 0, "go away"));
    EXPECT_EQ(stranger.receive(), coded(5, 5, "Unknown transfer ID"));
    EXPECT_EQ(transfer->block(), 2);
    EXPECT_TRUE(owner.endCodes.empty());
    transferPort.reply(data(2, "real"));
    EXPECT_EQ(transferPort.receive(), ack(2));
    EXPECT_EQ(TempDir::read(dir / "f.bin"), std::string(512, 'a') + "real");
    transferPort.expectSilence();
}

TEST_F(FetchTest, ErrorLongerThanABlockIsShownAndEnds) {
    make(64);
    fetch("f.bin");
    server.receive();
    server.reply(coded(5, 1, std::string(200, 'l')));
    pumpUntilEnded();
    EXPECT_EQ(owner.endCodes, std::vector<int>{-1});
    EXPECT_TRUE(transfer->serverSentError());
    EXPECT_EQ(owner.statuses.back(), "Msg from Server > " + std::string(42, 'l'));
}

// A failed fetch leaves nothing behind and never touches the file it would have replaced; the
// request and a lost block are sent again until the time-out.
TEST_F(FetchTest, FailedFetchKeepsTheExistingFileAndLeavesNoOther) {
    settings.OverWrite = true;
    TempDir::write(dir / "f.bin", "precious");
    make();
    fetch("f.bin");
    const Bytes rrq = server.receive().value_or(Bytes{});
    clock.advance(1);
    transfer->CheckTimeout();
    EXPECT_EQ(server.receive(), rrq);
    EXPECT_EQ(exchange(data(1, std::string(512, 'n'))), ack(1));
    server.reply(coded(5, 3, "Disk full"));
    pumpUntilEnded();
    EXPECT_EQ(TempDir::read(dir / "f.bin"), "precious");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 1);

    make();
    fetch("f.bin");
    server.receive();
    clock.advance(11);
    transfer->CheckTimeout();
    EXPECT_EQ(owner.endCodes.back(), -2);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 1);

    // A completed fetch replaces it, and answers the last block again if its ACK was lost.
    make();
    fetch("f.bin");
    server.receive();
    EXPECT_EQ(exchange(data(1, "new")), ack(1));
    EXPECT_EQ(exchange(data(1, "new")), ack(1));
    EXPECT_EQ(TempDir::read(dir / "f.bin"), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir()), {}), 1);
}

TEST_F(FetchTest, BlockNumbersWrapAfter65535) {
    make(8);
    fetch("w.bin");
    server.receive();
    EXPECT_EQ(exchange(packet(6, {"blksize", "8"})), ack(0));
    const std::string block(8, 'w');
    std::uint16_t number = 1;
    // 65536 full blocks: 1 to 65535, then 0.
    for (int i = 0; i < 65536; ++i, ++number) {
        server.reply(data(number, block));
        auto got = server.receive();
        ASSERT_TRUE(got);
        ASSERT_EQ(*got, ack(number));
    }
    EXPECT_EQ(number, 1);
    EXPECT_EQ(exchange(data(1, "end")), ack(1));
    pumpUntilEnded();
    EXPECT_EQ(owner.endCodes, std::vector<int>{-1});
    EXPECT_EQ(transfer->bytesReceived(), 65536u * 8 + 3);
}

// The last bytes are flushed when the file is closed; if that fails the server must not be told
// that all went well.
TEST_F(FetchTest, FailureToStoreTheLastBytesIsAWriteErrorNotASuccess) {
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    make();
    fetch("big.bin");
    server.receive();
    const Bytes answer = exchange(data(1, std::string(300, 'd')));
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(answer, coded(5, 3, "Disk full"));
    EXPECT_EQ(owner.endCodes, std::vector<int>{3});
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Error writing to local file"});
}

// A full block is acknowledged before it is stored; if storing it fails, the server hears
// ERROR 3 right after that ACK, and the transfer ends as a local write error.
TEST_F(FetchTest, FailureToStoreAFullBlockFollowsItsAckWithError3) {
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    make(40000);
    fetch("big.bin");
    server.receive();
    EXPECT_EQ(exchange(packet(6, {"blksize", "40000"})), ack(0));
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const Bytes first = exchange(data(1, std::string(40000, 'd')));
    auto second = server.receive();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(first, ack(1));
    EXPECT_EQ(second.value_or(Bytes{}), coded(5, 3, "Disk full"));
    EXPECT_EQ(owner.endCodes, std::vector<int>{3});
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Error writing to local file"});
}

}  // namespace
}  // namespace clienttest

namespace clienttest {
namespace {

// The socket holds a burst: blocks that arrive before the client reads any are all kept.
TEST_F(TransferTest, BurstOfBlocksBeforeTheClientReadsIsKept) {
    make();
    ASSERT_EQ(fetch("burst.bin"), 1);
    server.receive();
    std::string expected;
    for (std::uint16_t n = 1; n <= 12; ++n) {
        const std::string block(n < 12 ? 512 : 7, static_cast<char>('a' + n));
        expected += block;
        server.reply(data(n, block));
    }
    pumpUntilEnded();
    EXPECT_EQ(owner.endCodes, std::vector<int>{-1});
    EXPECT_TRUE(TempDir::read(dir / "burst.bin") == expected);
}

}  // namespace
}  // namespace clienttest
