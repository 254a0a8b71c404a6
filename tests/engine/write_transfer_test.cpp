#include <sys/resource.h>

#include <csignal>

#include "engine_harness.h"

namespace enginetest {
namespace {

TEST_F(EngineTest, WriteWithOnlyTsizeIsAnsweredWithAckZero) {
    listen();
    sendToListener(request(2, "up.bin", "octet", {{"tsize", "5"}}));
    auto reply = receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(*reply, ack(0));
}

TEST_F(EngineTest, WriteOackHasTimeoutThenBlksize) {
    listen();
    sendToListener(
        request(2, "up.bin", "octet", {{"blksize", "1428"}, {"tsize", "9"}, {"timeout", "3"}}));
    auto reply = receive();
    ASSERT_TRUE(reply);
    Bytes expected{0, 6};
    for (std::string_view s : {"timeout", "3", "blksize", "1428"}) {
        expected.insert(expected.end(), s.begin(), s.end());
        expected.push_back(0);
    }
    EXPECT_EQ(*reply, expected);
}

TEST_F(EngineTest, UploadIsStoredAndReported) {
    listen();
    sendToListener(request(2, "up.bin", "octet"));
    ASSERT_EQ(receive().value_or(Bytes{}), ack(0));
    Bytes first(512, 'a');
    sendToTransfer(data(1, first));
    EXPECT_EQ(receive().value_or(Bytes{}), ack(1));
    sendToTransfer(data(2, bytes("tail")));
    EXPECT_EQ(receive().value_or(Bytes{}), ack(2));
    EXPECT_EQ(readFile(inPath("up.bin")), std::string(512, 'a') + "tail");
    supervise();
    EXPECT_EQ(view.texts(server::TransferEvent::Progress).front(), "Receiving");
    EXPECT_EQ(view.texts(server::TransferEvent::Result).back(), "Finished : Receiving");
}

TEST_F(EngineTest, LostAckIsRecoveredByRepeatingIt) {
    listen();
    sendToListener(request(2, "up.bin", "octet"));
    ASSERT_TRUE(receive());
    sendToTransfer(data(1, Bytes(512, 'a')));
    EXPECT_EQ(receive().value_or(Bytes{}), ack(1));
    // Our ACK 1 "got lost": the client sends DATA 1 again.
    sendToTransfer(data(1, Bytes(512, 'a')));
    EXPECT_EQ(receive().value_or(Bytes{}), ack(1));
    // Other out-of-order data is still ignored.
    sendToTransfer(data(5, Bytes(512, 'z')));
    expectSilence();
    sendToTransfer(data(2, bytes("end")));
    EXPECT_EQ(receive().value_or(Bytes{}), ack(2));
    // The final ACK lost too.
    sendToTransfer(data(2, bytes("end")));
    EXPECT_EQ(receive().value_or(Bytes{}), ack(2));
    EXPECT_EQ(readFile(inPath("up.bin")), std::string(512, 'a') + "end");
}

// A block is acknowledged before it is stored; when storing it fails the client hears ERROR 3
// at once, and nothing it sends afterwards is acknowledged.
TEST_F(EngineTest, FailedStoreAfterTheAckEndsTheUploadWithDiskError) {
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    listen();
    sendToListener(request(2, "up.bin", "octet", {{"blksize", "40000"}}));
    ASSERT_TRUE(receive());
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    sendToTransfer(data(1, Bytes(40000, 'a')));
    auto first = receive();
    auto second = receive();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(first.value_or(Bytes{}), ack(1));
    ASSERT_TRUE(second);
    ASSERT_GE(second->size(), 4u);
    EXPECT_EQ(Bytes(second->begin(), second->begin() + 4), (Bytes{0, 5, 0, 3}));
    sendToTransfer(data(2, bytes("end")));
    expectSilence();
    EXPECT_TRUE(std::filesystem::is_empty(inPath(""))) << "a failed upload leaves nothing";
}

TEST_F(EngineTest, NetasciiUploadStoresLinesAsThisSystemEndsThem) {
    listen();
    sendToListener(request(2, "t.txt", "netascii"));
    ASSERT_TRUE(receive());
    sendToTransfer(data(1, bytes(std::string("a\r\nb\r\0c\n", 8))));
    EXPECT_EQ(receive().value_or(Bytes{}), ack(1));
    EXPECT_EQ(readFile(inPath("t.txt")), "a\nb\rc\n");
}

TEST_F(EngineTest, WriteBlockNumbersWrap) {
    listen();
    sendToListener(request(2, "wrap.bin", "octet", {{"blksize", "8"}}));
    ASSERT_TRUE(receive());
    std::string expected;
    std::uint16_t block = 1;
    for (int i = 0; i < 65537; ++i, ++block) {
        Bytes payload(8, static_cast<std::uint8_t>(i));
        expected.append(payload.begin(), payload.end());
        sendToTransfer(data(block, payload));
        auto reply = receive();
        ASSERT_TRUE(reply) << i;
        ASSERT_EQ(*reply, ack(block));
    }
    EXPECT_EQ(block, 2) << "went through 0";
    sendToTransfer(data(block, {}));
    EXPECT_EQ(receive().value_or(Bytes{}), ack(block));
    EXPECT_EQ(readFile(inPath("wrap.bin")), expected);
}

TEST_F(EngineTest, SubdirectoriesDroppedUnlessAllowed) {
    listen();
    sendToListener(request(2, "a/b/c.txt", "octet"));
    ASSERT_TRUE(receive());
    sendToTransfer(data(1, bytes("x")));
    ASSERT_TRUE(receive());
    EXPECT_EQ(readFile(inPath("c.txt")), "x");
    EXPECT_EQ(view.texts(server::TransferEvent::FileKnown).back(), "* " + inPath("c.txt"));

    app.settings.bInPaths = true;
    sendToListener(request(2, "a\\b\\d.txt", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), errorPacket(2, "Access violation"))
        << "folders are not created without the setting";

    app.settings.bCreatePaths = true;
    sendToListener(request(2, "a\\b\\d.txt", "octet"));
    ASSERT_EQ(receive().value_or(Bytes{}), ack(0));
    sendToTransfer(data(1, bytes("y")));
    ASSERT_TRUE(receive());
    EXPECT_EQ(readFile(inPath("a/b/d.txt")), "y");
    EXPECT_EQ(view.texts(server::TransferEvent::FileKnown).back(), inPath("a/b/d.txt"));
}

TEST_F(EngineTest, DuplicatesAreRenamed) {
    writeFile(inPath("data.bin"), "old");
    writeFile(inPath("data.1.bin"), "older");
    listen();
    app.settings.bRenameDuplicates = true;
    sendToListener(request(2, "data.bin", "octet"));
    ASSERT_TRUE(receive());
    sendToTransfer(data(1, bytes("new")));
    ASSERT_TRUE(receive());
    EXPECT_EQ(readFile(inPath("data.2.bin")), "new");
    EXPECT_EQ(readFile(inPath("data.bin")), "old");

    app.settings.bRenameExisting = true;
    sendToListener(request(2, "data.bin", "octet"));
    ASSERT_TRUE(receive());
    sendToTransfer(data(1, bytes("newest")));
    ASSERT_TRUE(receive());
    EXPECT_EQ(readFile(inPath("data.bin")), "newest");
    EXPECT_EQ(readFile(inPath("data.3.bin")), "old");
}

// Names that try to leave the base folder, with sub-directories kept or not.
TEST_F(EngineTest, NoRequestReachesOutsideItsBase) {
    writeFile(root() + "/secret", "secret");
    writeFile(outPath("secret"), "inside");
    listen();
    const char* names[] = {"/etc/passwd",    "\\secret", "..\\secret",   "../secret",
                           "a/../../secret", "..",       "....//secret", "out/../secret"};
    for (bool paths : {false, true}) {
        app.settings.bOutPaths = paths;
        for (const char* name : names) {
            SCOPED_TRACE(std::string(name) + (paths ? " paths" : " flat"));
            newClientPort();
            sendToListener(request(1, name, "octet"));
            auto reply = receive();
            ASSERT_TRUE(reply);
            if (opcodeOf(*reply) == protocol::kData) {
                std::string body(reply->begin() + 4, reply->end());
                EXPECT_EQ(body, "inside");
            } else {
                EXPECT_EQ(opcodeOf(*reply), protocol::kError);
            }
        }
    }
}

TEST_F(EngineTest, EmptyBaseIsTheCurrentFolderAndAbsoluteNamesAreRefused) {
    auto previous = std::filesystem::current_path();
    std::filesystem::current_path(root() + "/out");
    writeFile(outPath("here.txt"), "here");
    app.settings.OutPath = "";
    app.settings.InPath = "";
    app.settings.bOutPaths = true;
    app.settings.bInPaths = true;
    listen();
    sendToListener(request(1, "here.txt", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), data(1, bytes("here")));
    sendToListener(request(1, "/etc/hostname", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), errorPacket(2, "Access violation"));
    sendToListener(request(2, "/tmp/ravendock-should-not-exist", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), errorPacket(2, "Access violation"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/ravendock-should-not-exist"));
    std::filesystem::current_path(previous);
}

TEST_F(EngineTest, ForcedFileIsServedForEveryRead) {
    writeFile(outPath("boot.img"), "kernel");
    listen();
    app.settings.bForce = 1;
    app.settings.ForceFile = "boot.img";
    sendToListener(request(1, "anything/else", "octet"));
    EXPECT_EQ(receive().value_or(Bytes{}), data(1, bytes("kernel")));
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(EngineTest, StrangersCannotStoreIntoAnUpload) {
    listen();
    sendToListener(request(2, "up.bin", "octet"));
    ASSERT_EQ(receive().value_or(Bytes{}), ack(0));
    OtherClient stranger(loop);
    EXPECT_EQ(stranger.send(transferPort, data(1, bytes("forged"))).value_or(Bytes{}),
              errorPacket(5, "Unknown transfer ID"));
    sendToTransfer(data(1, bytes("mine")));
    EXPECT_EQ(receive().value_or(Bytes{}), ack(1));
    EXPECT_EQ(readFile(inPath("up.bin")), "mine");
}

// Links in the inbound folder are the operator's: an upload never writes through one, and
// never lands outside the folder once its sub-folders are resolved.
TEST_F(EngineTest, UploadsNeverGoThroughLinks) {
    writeFile(root() + "/secret", "secret");
    std::filesystem::create_directories(root() + "/elsewhere");
    std::filesystem::create_symlink(root() + "/secret", inPath("link"));
    std::filesystem::create_symlink(root() + "/created", inPath("dangling"));
    std::filesystem::create_symlink(root() + "/elsewhere", inPath("away"));
    listen();
    app.settings.bInPaths = true;
    app.settings.bCreatePaths = true;
    for (const char* name : {"link", "dangling", "away/f", "away/new/f", "away"}) {
        SCOPED_TRACE(name);
        sendToListener(request(2, name, "octet"));
        EXPECT_EQ(receive().value_or(Bytes{}), errorPacket(2, "Access violation"));
    }
    EXPECT_EQ(readFile(root() + "/secret"), "secret");
    EXPECT_FALSE(std::filesystem::exists(root() + "/created"));
    EXPECT_TRUE(std::filesystem::is_empty(root() + "/elsewhere"));
    EXPECT_EQ(folderEntries(inPath("")), (std::vector<std::string>{"away", "dangling", "link"}));
}

// The data waits in a temporary file until the last block: a fetch meanwhile gets the old
// file whole, and only then does the new one take the name.
TEST_F(EngineTest, AnUploadTakesItsNameOnlyWhenComplete) {
    app.settings.OutPath = app.settings.InPath;
    writeFile(inPath("up.bin"), "old");
    listen();
    sendToListener(request(2, "up.bin", "octet"));
    ASSERT_EQ(receive().value_or(Bytes{}), ack(0));
    const std::uint16_t uploadPort = transferPort;
    sendToTransfer(data(1, Bytes(512, 'n')));
    ASSERT_EQ(receive().value_or(Bytes{}), ack(1));

    OtherClient reader(loop);
    EXPECT_EQ(reader.send(listenPort, request(1, "up.bin", "octet")).value_or(Bytes{}),
              data(1, bytes("old")));
    EXPECT_EQ(folderEntries(inPath("")).size(), 2u) << "the old file and the temporary";

    sendTo(uploadPort, data(2, bytes("end")));
    ASSERT_EQ(receive().value_or(Bytes{}), ack(2));
    EXPECT_EQ(readFile(inPath("up.bin")), std::string(512, 'n') + "end");
    EXPECT_EQ(folderEntries(inPath("")), (std::vector<std::string>{"up.bin"}));
}

TEST_F(EngineTest, TwoUploadsOfOneNameStoreOneWhole) {
    listen();
    OtherClient first(loop);
    OtherClient second(loop);
    ASSERT_EQ(first.send(listenPort, request(2, "same", "octet")).value_or(Bytes{}), ack(0));
    const std::uint16_t firstPort = first.from.port;
    ASSERT_EQ(second.send(listenPort, request(2, "same", "octet")).value_or(Bytes{}), ack(0));
    const std::uint16_t secondPort = second.from.port;
    for (std::uint16_t block = 1; block <= 3; ++block) {
        ASSERT_TRUE(first.send(firstPort, data(block, Bytes(512, 'a'))));
        ASSERT_TRUE(second.send(secondPort, data(block, Bytes(512, 'b'))));
    }
    ASSERT_TRUE(second.send(secondPort, data(4, bytes("B"))));
    ASSERT_TRUE(first.send(firstPort, data(4, bytes("A"))));
    EXPECT_EQ(readFile(inPath("same")), std::string(1536, 'a') + "A") << "the last one to end";
    EXPECT_EQ(folderEntries(inPath("")), (std::vector<std::string>{"same"}));
}

// Whatever ends an upload early, its partial data goes.
TEST_F(EngineTest, AnUploadThatFailsLeavesNothing) {
    writeFile(inPath("kept"), "kept");
    listen();
    const std::vector<std::string> kept{"kept"};
    auto startUpload = [&] {
        newClientPort();
        sendToListener(request(2, "up.bin", "octet"));
        ASSERT_TRUE(receive());
        sendToTransfer(data(1, Bytes(512, 'x')));
        ASSERT_TRUE(receive());
    };
    startUpload();
    sendToTransfer(errorPacket(0, "gave up"));
    pump();
    EXPECT_EQ(folderEntries(inPath("")), kept) << "peer's error";

    startUpload();
    for (int pass = 0; pass < 7; ++pass) {
        clock.advance(31);
        supervise();
    }
    EXPECT_EQ(view.texts(server::TransferEvent::TimedOut).back(), "TimedOut : Receiving");
    EXPECT_EQ(folderEntries(inPath("")), kept) << "time-out";

    startUpload();
    app.DestroyListener();
    EXPECT_EQ(receive().value_or(Bytes{}), errorPacket(0, "Server shutting down"));
    EXPECT_EQ(folderEntries(inPath("")), kept) << "server stop";
}

}  // namespace
}  // namespace enginetest
