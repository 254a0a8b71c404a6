#include "protocol/transfer_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace protocol {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

class TransferFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // tmpfs reads the holes of a sparse file without filling the page cache.
        const fs::path base =
            ::access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string templ = (base / "transfer_file_XXXXXX").string();
        ASSERT_NE(::mkdtemp(templ.data()), nullptr);
        dir_ = templ;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const char* name) const { return (dir_ / name).string(); }

    std::string put(const char* name, const std::string& content) const {
        std::ofstream(path(name), std::ios::binary) << content;
        return path(name);
    }

    static std::string slurp(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Reads to the end in block-sized pieces, as a sender of DATA packets does.
    static std::string readAll(TransferFile& f, std::size_t block = 512) {
        std::string all;
        std::vector<std::uint8_t> buf(block);
        for (;;) {
            const std::int64_t n = f.read(buf.data(), block);
            EXPECT_GE(n, 0);
            if (n <= 0) {
                break;
            }
            all.append(buf.begin(), buf.begin() + n);
            if (static_cast<std::size_t>(n) < block) {
                break;
            }
        }
        return all;
    }

    fs::path dir_;
};

const std::uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::string repeat(const std::string& s, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += s;
    }
    return out;
}

std::string randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s) {
        c = static_cast<char>(gen());
    }
    return s;
}

TEST_F(TransferFileTest, OctetRoundTrip) {
    for (std::size_t n : {0, 1, 511, 512, 513, 1 << 20}) {
        const std::string content = randomBytes(n, static_cast<unsigned>(n));
        TransferFile out;
        ASSERT_TRUE(out.openForWrite(path("copy"), false));
        // Uneven pieces cross the gather buffer's boundary at odd places.
        for (std::size_t at = 0; at < n; at += 700) {
            const std::size_t piece = std::min<std::size_t>(700, n - at);
            ASSERT_EQ(out.write(u8(content) + at, piece), piece);
        }
        ASSERT_TRUE(out.close());

        TransferFile in;
        ASSERT_TRUE(in.openForRead(path("copy"), false));
        EXPECT_EQ(in.size(), static_cast<std::int64_t>(n));
        const std::string back = readAll(in);
        EXPECT_TRUE(back == content) << "size " << n;
        // Whole blocks end with one empty read.
        if (n % 512 == 0) {
            std::uint8_t b[512];
            EXPECT_EQ(in.read(b, 512), 0);
        }
    }
}

TEST_F(TransferFileTest, StepBackRepeatsTheLastBlock) {
    const std::string content = randomBytes(1300, 7);
    TransferFile f;
    ASSERT_TRUE(f.openForRead(put("f", content), false));
    std::uint8_t a[512], b[512];
    EXPECT_FALSE(f.stepBack());
    ASSERT_EQ(f.read(a, 512), 512);
    ASSERT_EQ(f.read(a, 512), 512);
    ASSERT_TRUE(f.stepBack());
    EXPECT_TRUE(f.stepBack());  // a second step back goes no further
    ASSERT_EQ(f.read(b, 512), 512);
    EXPECT_EQ(std::string(b, b + 512), content.substr(512, 512));
    EXPECT_EQ(f.read(a, 512), 276);
}

// Small and middling blocks come from a read-ahead of several blocks: a step back across its
// edge, a file that grows after the first read and odd block sizes must all still deliver the
// file's bytes.
TEST_F(TransferFileTest, SmallBlockReadAheadFollowsStepsBackAndGrowth) {
    const std::string content = randomBytes(150'000, 11);
    for (std::size_t block : {8, 512, 1428, 2048, 2049, 8192, 16384}) {
        TransferFile f;
        ASSERT_TRUE(f.openForRead(put("f", content), false));
        std::string all;
        std::vector<std::uint8_t> buf(block);
        for (int guard = 0; guard < 20'000; ++guard) {
            std::int64_t n = f.read(buf.data(), block);
            ASSERT_GE(n, 0);
            if (guard % 7 == 3) {  // a lost ACK now and then: the same block again
                ASSERT_TRUE(f.stepBack());
                std::vector<std::uint8_t> again(block);
                ASSERT_EQ(f.read(again.data(), block), n);
                ASSERT_TRUE(std::equal(again.begin(), again.begin() + n, buf.begin()));
            }
            all.append(buf.begin(), buf.begin() + n);
            if (static_cast<std::size_t>(n) < block) {
                break;
            }
        }
        EXPECT_TRUE(all == content) << "block " << block;
    }

    // Reads of nothing, and blocks larger than the first one (also larger than its whole
    // read-ahead), still follow the file.
    TransferFile h;
    ASSERT_TRUE(h.openForRead(path("f"), false));
    std::vector<std::uint8_t> big(16384);
    ASSERT_EQ(h.read(big.data(), 0), 0);
    ASSERT_EQ(h.read(big.data(), 8), 8);
    ASSERT_EQ(h.read(big.data(), 2048), 2048);
    EXPECT_TRUE(std::string(big.begin(), big.begin() + 2048) == content.substr(8, 2048));
    ASSERT_EQ(h.read(big.data(), 8), 8);
    EXPECT_TRUE(std::string(big.begin(), big.begin() + 8) == content.substr(2056, 8));
    ASSERT_EQ(h.read(big.data(), 16384), 16384);
    EXPECT_TRUE(std::string(big.begin(), big.end()) == content.substr(2064, 16384));

    // Bytes appended after the read-ahead reached the old end are still delivered.
    TransferFile g;
    ASSERT_TRUE(g.openForRead(put("g", content.substr(0, 1000)), false));
    std::uint8_t b[512];
    ASSERT_EQ(g.read(b, 512), 512);
    std::ofstream(path("g"), std::ios::binary | std::ios::app) << content.substr(1000, 1000);
    ASSERT_EQ(g.read(b, 512), 512);
    EXPECT_EQ(std::string(b, b + 512), content.substr(512, 512));
    ASSERT_EQ(g.read(b, 512), 512);
    EXPECT_EQ(std::string(b, b + 512), content.substr(1024, 512));
}

// Large blocks are read ahead into a spare packet that is swapped in whole; a retransmission
// after a step back and a partial last block must still carry the right bytes.
TEST_F(TransferFileTest, PrefetchedPacketsCarryTheRightBlocks) {
    constexpr std::size_t kBlock = 32768;
    constexpr std::size_t kHeader = 4;
    const std::string content = randomBytes(3 * kBlock + 100, 12);
    TransferFile f;
    ASSERT_TRUE(f.openForRead(put("f", content), false));
    std::vector<std::uint8_t> packet(kBlock + 16, 0xEE);
    auto blockAt = [&](std::size_t i, std::int64_t n) {
        return std::string(packet.begin() + kHeader, packet.begin() + kHeader + n) ==
               content.substr(i * kBlock, static_cast<std::size_t>(n));
    };
    // A full block read into the packet, then the next one prefetched as the sender does.
    auto sendFull = [&](std::size_t i) {
        ASSERT_EQ(f.readPacket(packet, kHeader, kBlock), static_cast<std::int64_t>(kBlock));
        EXPECT_TRUE(blockAt(i, kBlock));
        f.prefetch(packet.size(), kHeader, kBlock);
    };
    sendFull(0);
    sendFull(1);
    // Block 1's ACK was lost: block 1 again, although block 2 is already prefetched.
    ASSERT_TRUE(f.stepBack());
    sendFull(1);
    sendFull(2);
    ASSERT_EQ(f.readPacket(packet, kHeader, 100), 100);
    EXPECT_TRUE(blockAt(3, 100));
    EXPECT_EQ(packet.size(), kBlock + 16);
    f.prefetch(packet.size(), kHeader, kBlock);
    EXPECT_EQ(f.readPacket(packet, kHeader, kBlock), 0);
    // A headroom and length that do not fit the packet are refused, not written past its end.
    EXPECT_EQ(f.readPacket(packet, kHeader, packet.size()), -1);
}

// Large writes bypass the gather buffer; mixed with small ones the file must keep their order.
TEST_F(TransferFileTest, LargeAndSmallWritesKeepTheirOrder) {
    const std::string content = randomBytes(300'000, 13);
    TransferFile out;
    ASSERT_TRUE(out.openForWrite(path("w"), false));
    std::size_t at = 0;
    for (std::size_t piece : {65464, 100, 65464, 65464, 512, 40000, 65464}) {
        piece = std::min(piece, content.size() - at);
        ASSERT_EQ(out.write(u8(content) + at, piece), piece);
        at += piece;
    }
    ASSERT_EQ(out.write(u8(content) + at, content.size() - at), content.size() - at);
    ASSERT_TRUE(out.close());
    EXPECT_TRUE(slurp(path("w")) == content);
}

TEST_F(TransferFileTest, NetasciiReadEncodesLineEndsAndBareCarriageReturns) {
    TransferFile f;
    ASSERT_TRUE(f.openForRead(put("t", "a\nb\rc\r\n\x1a\0z"s), true));
    EXPECT_EQ(readAll(f), "a\r\nb\r\0c\r\0\r\n\x1a\0z"s);
    ASSERT_TRUE(f.openForRead(put("cr", "x\r"), true));
    EXPECT_EQ(readAll(f), "x\r\0"s);
}

TEST_F(TransferFileTest, NetasciiPairsSplitByBlocksAndStepBackRepeatEachBlock) {
    // Once encoded, every CR sits at an odd offset of the wire: each block of 512 ends between
    // a CR and its LF.
    const std::size_t lines = 200000;
    TransferFile f;
    ASSERT_TRUE(f.openForRead(put("lf", "x" + std::string(lines, '\n')), true));
    const std::string expected = "x" + repeat("\r\n", lines);
    EXPECT_TRUE(readAll(f) == expected);

    ASSERT_TRUE(f.openForRead(path("lf"), true));
    std::string again;
    std::vector<std::uint8_t> first(512), second(512);
    for (;;) {
        const std::int64_t n = f.read(first.data(), 512);
        ASSERT_TRUE(f.stepBack());
        ASSERT_EQ(f.read(second.data(), 512), n);
        ASSERT_EQ(first, second);
        again.append(first.begin(), first.begin() + n);
        if (n < 512) {
            break;
        }
    }
    EXPECT_TRUE(again == expected);
}

TEST_F(TransferFileTest, NetasciiWriteDecodesWhateverTheBlockBoundaries) {
    // CR LF and CR NUL split between writes, a CR before another byte, a CR at the end.
    TransferFile f;
    ASSERT_TRUE(f.openForWrite(path("w"), true));
    for (const std::string& piece : {"a\r"s, "\nb\r"s, "\0c\rd\r\r\n\x1a"s, "\r"s}) {
        EXPECT_EQ(f.write(u8(piece), piece.size()), piece.size());
    }
    ASSERT_TRUE(f.close());
    EXPECT_EQ(slurp(path("w")), "a\nb\rc\rd\r\n\x1a\r");

    // Enough pairs to fill the gather buffer several times.
    const std::string wire = repeat("\r\n", 100001);
    ASSERT_TRUE(f.openForWrite(path("w"), true));
    EXPECT_EQ(f.write(u8(wire), wire.size()), wire.size());
    ASSERT_TRUE(f.close());
    EXPECT_TRUE(slurp(path("w")) == std::string(100001, '\n'));
}

// A repeating timer interrupts an open that blocks, so a regression fails instead of hanging.
void noop(int) {}

TEST_F(TransferFileTest, OnlyRegularFilesAreOpened) {
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    fs::create_directory(path("folder"));

    struct sigaction sa {
    }, oldAction{};
    sa.sa_handler = noop;  // no SA_RESTART: a blocked open returns EINTR
    ::sigaction(SIGALRM, &sa, &oldAction);
    const itimerval every200ms{{0, 200000}, {0, 200000}};
    ::setitimer(ITIMER_REAL, &every200ms, nullptr);
    const auto start = std::chrono::steady_clock::now();
    TransferFile f;
    for (bool text : {false, true}) {
        EXPECT_FALSE(f.openForRead(path("fifo"), text));
        EXPECT_FALSE(f.openForRead(path("folder"), text));
        EXPECT_FALSE(f.openForRead(path("missing"), text));
        EXPECT_FALSE(f.openForWrite(path("fifo"), text));
        EXPECT_FALSE(f.openForWrite(path("folder"), text));
    }
    EXPECT_FALSE(f.openForWrite("/dev/full", false));
    EXPECT_FALSE(f.openForRead("/dev/zero", false));
    EXPECT_FALSE(f.openForWrite(path("no/such/dir"), false));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const itimerval off{};
    ::setitimer(ITIMER_REAL, &off, nullptr);
    ::sigaction(SIGALRM, &oldAction, nullptr);
    EXPECT_LT(elapsed, std::chrono::milliseconds(150));
    EXPECT_FALSE(f.isOpen());
}

// Lowers the file size limit so that writes past it fail the way a full disk does.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        set(bytes);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    void set(rlim_t bytes) {
        rlimit limited = old_;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    void lift() { ::setrlimit(RLIMIT_FSIZE, &old_); }

  private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>(i * 7 % 251);
    }
    return s;
}

TEST_F(TransferFileTest, FailedFlushIsReported) {
    const std::size_t limit = 100000;
    const std::string data = pattern(400000);
    const auto* bytes = u8(data);
    FileSizeLimit guard(limit);

    // Data still in the gather buffer fails only when close flushes it.
    TransferFile f;
    ASSERT_TRUE(f.openForWrite(path("closing"), false));
    constexpr std::size_t kPieces = 231;  // 118272 bytes: one flush at 64 KiB, the rest buffered
    for (std::size_t i = 0; i < kPieces; ++i) {
        ASSERT_EQ(f.write(bytes + i * 512, 512), 512u);
    }
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(slurp(path("closing")) == data.substr(0, limit));

    // A large block goes to the file directly, so its shortfall shows in the write itself.
    ASSERT_TRUE(f.openForWrite(path("direct"), false));
    EXPECT_EQ(f.write(bytes, limit + 20000), limit);
    EXPECT_TRUE(slurp(path("direct")) == data.substr(0, limit));
    f.close();

    // A failing flush shortens the write that triggered it.
    ASSERT_TRUE(f.openForWrite(path("writing"), false));
    std::size_t accepted = 0;
    std::size_t n = 512;
    while (accepted < data.size() && n == 512) {
        n = f.write(bytes + accepted, 512);
        accepted += n;
    }
    ASSERT_LT(n, 512u);
    EXPECT_GE(accepted, limit);

    // Nothing accepted is lost: once there is room again, close stores all of it.
    guard.lift();
    EXPECT_TRUE(f.close());
    EXPECT_TRUE(slurp(path("writing")) == data.substr(0, accepted));
}

TEST_F(TransferFileTest, FilesBeyondTwoGigabytes) {
    const std::string p = path("sparse");
    const std::int64_t size = (std::int64_t{1} << 31) + 3 * 512 + 100;
    {
        std::ofstream(p, std::ios::binary).close();
        ASSERT_EQ(::truncate(p.c_str(), size - 4), 0);
        std::ofstream(p, std::ios::binary | std::ios::app) << "tail";
    }
    TransferFile f;
    ASSERT_TRUE(f.openForRead(p, false));
    EXPECT_EQ(f.size(), size);
    // Large reads reach the end quickly; the holes read as zeros.
    std::vector<std::uint8_t> buf(8 << 20);
    std::int64_t total = 0;
    for (;;) {
        const std::int64_t n = f.read(buf.data(), buf.size());
        ASSERT_GE(n, 0);
        total += n;
        if (n < static_cast<std::int64_t>(buf.size())) {
            EXPECT_EQ(std::string(buf.begin() + n - 4, buf.begin() + n), "tail");
            break;
        }
    }
    EXPECT_EQ(total, size);
    ASSERT_TRUE(f.stepBack());
    EXPECT_EQ(f.read(buf.data(), buf.size()), size % static_cast<std::int64_t>(buf.size()));
}

}  // namespace
}  // namespace protocol
