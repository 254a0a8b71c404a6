#include "engine_harness.h"

namespace enginetest {
namespace {

TEST_F(EngineTest, ReadOfTwoFullBlocksEndsWithAnEmptyBlock) {
    std::string body(1024, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 7);
    }
    writeFile(outPath("f.bin"), body);
    listen();
    sendToListener(request(1, "f.bin", "octet"));
    std::string got;
    for (std::uint16_t block = 1; block <= 3; ++block) {
        auto d = receive();
        ASSERT_TRUE(d);
        EXPECT_EQ(opcodeOf(*d), protocol::kData);
        EXPECT_EQ(blockOf(*d), block);
        EXPECT_EQ(d->size(), block < 3 ? 516u : 4u);
        got.append(d->begin() + 4, d->end());
        sendToTransfer(ack(block));
    }
    pump();
    EXPECT_EQ(got, body);
    EXPECT_NE(lastFrom.port, listenPort) << "answers come from the transfer's own port";
    supervise();
    EXPECT_EQ(view.texts(server::TransferEvent::Result).back(), "Finished : Sending");
    EXPECT_EQ(clientCount(), 0);
}

TEST_F(EngineTest, EmptyFileIsOneEmptyBlock) {
    writeFile(outPath("empty"), "");
    writeFile(outPath("other"), "x");
    listen();
    sendToListener(request(1, "empty", "OCTET"));
    auto d = receive();
    ASSERT_TRUE(d);
    EXPECT_EQ(*d, data(1, {}));
    const std::uint16_t emptyPort = transferPort;
    sendToListener(request(1, "other", "octet"));
    ASSERT_TRUE(receive());
    sendTo(emptyPort, ack(1));
    pump();
    // No size to show a share of: the status is this transfer's own last text, whatever another
    // transfer reported in between.
    ASSERT_EQ(view.events.back().event, server::TransferEvent::Progress);
    EXPECT_EQ(view.events.back().total, 0);
    EXPECT_EQ(view.events.back().text, outPath("empty"));
}

TEST_F(EngineTest, OackPairsInFixedOrderWhateverTheRequestOrder) {
    writeFile(outPath("f"), std::string(3000, 'x'));
    listen();
    sendToListener(
        request(1, "f", "octet", {{"BLKSIZE", "1024"}, {"timeout", "2"}, {"tsize", "0"}}));
    auto oack = receive();
    ASSERT_TRUE(oack);
    Bytes expected{0, 6};
    for (std::string_view s : {"tsize", "3000", "timeout", "2", "blksize", "1024"}) {
        expected.insert(expected.end(), s.begin(), s.end());
        expected.push_back(0);
    }
    EXPECT_EQ(*oack, expected);
    EXPECT_FALSE(receive(20)) << "no data before ACK 0";
    sendToTransfer(ack(0));
    auto d = receive();
    ASSERT_TRUE(d);
    EXPECT_EQ(blockOf(*d), 1);
    EXPECT_EQ(d->size(), 1028u);
}

TEST_F(EngineTest, OptionsAnsweredOnlyWhereAllowed) {
    writeFile(outPath("f"), "abc");
    listen();
    app.settings.bAllowTsize = false;
    app.settings.bAllowTimeout = false;
    sendToListener(request(1, "f", "octet", {{"tsize", "0"}, {"timeout", "9"}}));
    auto d = receive();
    ASSERT_TRUE(d);
    EXPECT_EQ(*d, data(1, bytes("abc"))) << "nothing to answer: straight to data";
}

// Too large a block size is answered with the largest; one below 8 is not valid and goes
// unanswered, as does a timeout outside 1..255.
TEST_F(EngineTest, OptionValuesOutOfRange) {
    writeFile(outPath("f"), std::string(100, 'x'));
    listen();
    for (const char* asked : {"70000", "99999999999"}) {
        SCOPED_TRACE(asked);
        sendToListener(request(1, "f", "octet", {{"blksize", asked}}));
        Bytes expected{0, 6};
        for (std::string_view s : {"blksize", "65464"}) {
            expected.insert(expected.end(), s.begin(), s.end());
            expected.push_back(0);
        }
        EXPECT_EQ(receive().value_or(Bytes{}), expected);
    }
    const Bytes firstBlock = data(1, Bytes(100, 'x'));
    for (const char* asked : {"7", "0", "x"}) {
        SCOPED_TRACE(asked);
        sendToListener(request(1, "f", "octet", {{"blksize", asked}}));
        EXPECT_EQ(receive().value_or(Bytes{}), firstBlock);
    }
    for (const char* asked : {"0", "256", "4294967295"}) {
        SCOPED_TRACE(asked);
        sendToListener(request(1, "f", "octet", {{"timeout", asked}}));
        EXPECT_EQ(receive().value_or(Bytes{}), firstBlock);
        pump();
        EXPECT_EQ(app.listener()->threads().back()->transfer()->timeout(), 0);
    }
}

// The smallest block size with every option answered: the OACK still fits.
TEST_F(EngineTest, OackFitsWithTheSmallestBlocks) {
    writeFile(outPath("f"), std::string(100, 'x'));
    listen();
    sendToListener(
        request(1, "f", "octet", {{"tsize", "0"}, {"timeout", "255"}, {"blksize", "8"}}));
    Bytes expected{0, 6};
    for (std::string_view s : {"tsize", "100", "timeout", "255", "blksize", "8"}) {
        expected.insert(expected.end(), s.begin(), s.end());
        expected.push_back(0);
    }
    EXPECT_EQ(receive().value_or(Bytes{}), expected);
    sendToTransfer(ack(0));
    EXPECT_EQ(receive().value_or(Bytes{}), data(1, Bytes(8, 'x')));
}

TEST_F(EngineTest, MalformedRequestsGetErrorFour) {
    listen();
    Bytes expected = errorPacket(4, "Unknown TFTP Operation");
    const Bytes cases[] = {
        request(1, "f", "binary"), request(1, "f", ""),
        Bytes{0, 1, 'a', 'b', 'c'},  // file name without its zero
        Bytes{0, 2, 'a', 0},         // no mode
    };
    for (const auto& c : cases) {
        sendToListener(c);
        auto reply = receive();
        ASSERT_TRUE(reply);
        EXPECT_EQ(*reply, expected);
    }
}

TEST_F(EngineTest, MissingFileIsFileNotFound) {
    listen();
    sendToListener(request(1, "nothing-here", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), errorPacket(1, "File not found"));
    pump();
    supervise();
    EXPECT_EQ(view.texts(server::TransferEvent::Result).back(), "File not found : Sending");
}

// A repeated ACK of the previous block brings the block again only when it went out more
// than a second ago (the client's timer: the block was lost), and then once however many
// repeats come; repeats that follow the block closely are copies, and answering them would
// double the data sent for good.
TEST_F(EngineTest, RepeatedAckResendsOnlyAfterASecondAndOnce) {
    writeFile(outPath("f"), std::string(2000, 'q'));
    listen();
    sendToListener(request(1, "f", "octet"));
    ASSERT_TRUE(receive());
    sendToTransfer(ack(1));
    auto second = receive();
    ASSERT_TRUE(second);
    auto repeatAck = [&](std::uint16_t block) {
        for (int i = 0; i < 50; ++i) {
            sendToTransfer(ack(block));
        }
        pump(20);
    };
    repeatAck(1);
    expectSilence();

    clock.advance(2);
    repeatAck(1);
    EXPECT_EQ(receive().value_or(Bytes{}), *second);
    expectSilence();

    clock.advance(31);
    supervise();
    EXPECT_EQ(receive().value_or(Bytes{}), *second) << "the supervisor's retry";
    repeatAck(1);
    expectSilence();

    sendToTransfer(ack(2));
    auto third = receive();
    ASSERT_TRUE(third);
    EXPECT_EQ(blockOf(*third), 3);
    clock.advance(2);
    repeatAck(2);
    EXPECT_EQ(receive().value_or(Bytes{}), *third);
    expectSilence();
}

TEST_F(EngineTest, SkipRetryIgnoresTheFirstDuplicate) {
    writeFile(outPath("f"), std::string(2000, 'q'));
    listen();
    app.settings.bSkipRetry = true;
    sendToListener(request(1, "f", "octet"));
    ASSERT_TRUE(receive());
    sendToTransfer(ack(1));
    auto second = receive();
    ASSERT_TRUE(second);
    clock.advance(2);
    sendToTransfer(ack(1));
    expectSilence();
    sendToTransfer(ack(1));
    EXPECT_EQ(receive().value_or(Bytes{}), *second);
}

TEST_F(EngineTest, PeerErrorEndsWithoutReply) {
    writeFile(outPath("f"), std::string(2000, 'q'));
    listen();
    sendToListener(request(1, "f", "octet"));
    ASSERT_TRUE(receive());
    sendToTransfer(errorPacket(1, "client gave up"));
    expectSilence();
    supervise();
    EXPECT_EQ(view.texts(server::TransferEvent::Result).back(), "client gave up : Sending");
}

TEST_F(EngineTest, OddSizedDatagramsAreIgnored) {
    writeFile(outPath("f"), std::string(2000, 'q'));
    listen();
    sendToListener(request(1, "f", "octet"));
    ASSERT_TRUE(receive());
    sendToTransfer({0, 4, 0});      // runt
    sendToTransfer(Bytes(600, 0));  // longer than block size + 4
    Bytes longAck = ack(1);
    longAck.resize(517, 0);
    sendToTransfer(longAck);
    expectSilence();
    sendToTransfer(ack(1));
    auto d = receive();
    ASSERT_TRUE(d);
    EXPECT_EQ(blockOf(*d), 2);
}

// The request fixed the peer: anyone else hears "Unknown transfer ID" and changes nothing.
TEST_F(EngineTest, StrangersCannotTakeOverOrEndARead) {
    writeFile(outPath("f"), std::string(2000, 'q'));
    listen();
    sendToListener(request(1, "f", "octet"));
    ASSERT_TRUE(receive());
    OtherClient stranger(loop);
    const Bytes unknown = errorPacket(5, "Unknown transfer ID");
    EXPECT_EQ(stranger.send(transferPort, ack(1)).value_or(Bytes{}), unknown);
    EXPECT_EQ(stranger.send(transferPort, errorPacket(0, "stop")).value_or(Bytes{}), unknown);
    expectSilence();
    sendToTransfer(ack(1));
    auto d = receive();
    ASSERT_TRUE(d);
    EXPECT_EQ(blockOf(*d), 2);
    EXPECT_TRUE(app.listener()->threads().back()->transfer()->active());
}

TEST_F(EngineTest, NetasciiReadEncodesLineEnds) {
    writeFile(outPath("t.txt"), "one\ntwo\rthree\n\x1atrailer");
    listen();
    sendToListener(request(1, "t.txt", "netascii"));
    auto d = receive();
    ASSERT_TRUE(d);
    EXPECT_EQ(*d, data(1, bytes(std::string("one\r\ntwo\r\0three\r\n\x1atrailer", 25))));
    sendToTransfer(ack(1));
    pump();
    supervise();
    EXPECT_EQ(view.texts(server::TransferEvent::Result).back(), "Finished : Sending");
}

// The wire carries more bytes than the file holds: 1000 bytes go out as 1200.
TEST_F(EngineTest, RetryResendsTheSameBytesInNetascii) {
    std::string body;
    for (int i = 0; i < 200; ++i) {
        body += "line\n";
    }
    writeFile(outPath("t.txt"), body);
    listen();
    sendToListener(request(1, "t.txt", "netascii"));
    ASSERT_TRUE(receive());
    sendToTransfer(ack(1));
    auto second = receive();
    ASSERT_TRUE(second);
    clock.advance(31);
    supervise();
    auto resent = receive();
    ASSERT_TRUE(resent);
    EXPECT_EQ(*resent, *second);
    EXPECT_EQ(view.texts(server::TransferEvent::Retry).back(), "Retrying");
    sendToTransfer(ack(2));
    EXPECT_EQ(receive().value_or(Bytes{}).size(), 4u + 1200 - 1024);
}

TEST_F(EngineTest, RetryBeforeAckZeroResendsTheOack) {
    writeFile(outPath("f"), "abc");
    listen();
    sendToListener(request(1, "f", "octet", {{"tsize", "0"}}));
    auto oack = receive();
    ASSERT_TRUE(oack);
    clock.advance(31);
    supervise();
    auto again = receive();
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *oack);
}

TEST_F(EngineTest, BlockNumbersWrapAfter65535) {
    // Smallest blocks keep the number of round trips past 65536 cheap.
    const std::size_t blocks = 65540;
    std::string body(blocks * 8 + 3, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i / 8);
    }
    writeFile(outPath("wrap"), body);
    listen();
    sendToListener(request(1, "wrap", "octet", {{"blksize", "8"}}));
    ASSERT_TRUE(receive());
    sendToTransfer(ack(0));
    std::string got;
    std::uint16_t expected = 1;
    for (std::size_t i = 0; i <= blocks; ++i) {
        auto d = receive();
        ASSERT_TRUE(d) << "block " << i;
        ASSERT_EQ(blockOf(*d), expected);
        got.append(d->begin() + 4, d->end());
        sendToTransfer(ack(expected));
        ++expected;
    }
    EXPECT_EQ(got, body);
    pump();
    supervise();
    EXPECT_EQ(view.texts(server::TransferEvent::Result).back(), "Finished : Sending");
}

}  // namespace
}  // namespace enginetest
