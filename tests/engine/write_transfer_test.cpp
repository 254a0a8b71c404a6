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
    EXPECT_EQ(view.texts(server::WM_CLIENTSTATUS).front(), "Receiving");
    EXPECT_EQ(view.texts(server::WM_CLIENTRESULT).back(), "Finished : Receiving");
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
    EXPECT_EQ(view.texts(server::WM_CLIENTFILE).back(), "* " + inPath("c.txt"));

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
    EXPECT_EQ(view.texts(server::WM_CLIENTFILE).back(), inPath("a/b/d.txt"));
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

}  // namespace
}  // namespace enginetest
