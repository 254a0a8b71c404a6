// The per-packet path of a transfer must not touch the heap: counted with a replaced global
// operator new while blocks flow in both directions.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "../engine/engine_harness.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace enginetest {
namespace {

// Stands in for the view without recording (recording would allocate).
class QuietView final : public server::ViewObserver {
  public:
    void onTransferNotice(const server::TransferNotice&) override {}
};

class HotPathTest : public EngineTest {
  protected:
    HotPathTest() { app.setViewObserver(&quiet); }
    QuietView quiet;

    // Sends a datagram and waits for the answer without allocating.
    std::size_t exchange(std::uint16_t port, const std::uint8_t* out, std::size_t length,
                         std::uint8_t* in, std::size_t capacity) {
        client.sendTo(out, length, {0x7f000001, port});
        platform::Ipv4Endpoint from;
        for (int pass = 0; pass < 200; ++pass) {
            loop.runOnce(pass < 5 ? 0 : 5);
            ssize_t n = client.receiveFrom(in, capacity, from);
            if (n >= 0) {
                return static_cast<std::size_t>(n);
            }
        }
        return 0;
    }
};

TEST_F(HotPathTest, ReadAndWriteBlocksAllocateNothing) {
    writeFile(outPath("f"), std::string(512 * 3000, 'r'));
    listen();
    sendToListener(request(1, "f", "octet"));
    ASSERT_TRUE(receive());
    std::uint8_t ackPacket[4] = {0, 4, 0, 0};
    std::uint8_t in[600];
    for (std::uint16_t block = 1; block < 10; ++block) {
        protocol::writeU16(ackPacket + 2, block);
        ASSERT_EQ(exchange(transferPort, ackPacket, 4, in, sizeof in), 516u);
    }
    counting = true;
    for (std::uint16_t block = 10; block < 2000; ++block) {
        protocol::writeU16(ackPacket + 2, block);
        if (exchange(transferPort, ackPacket, 4, in, sizeof in) != 516u) {
            counting = false;
            FAIL() << "block " << block;
        }
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0) << "reads";

    sendToListener(request(2, "up", "octet"));
    ASSERT_TRUE(receive());
    std::uint8_t dataPacket[516] = {0, 3};
    allocations = 0;
    counting = true;
    for (std::uint16_t block = 1; block < 2000; ++block) {
        protocol::writeU16(dataPacket + 2, block);
        if (exchange(transferPort, dataPacket, sizeof dataPacket, in, sizeof in) != 4u) {
            counting = false;
            FAIL() << "block " << block;
        }
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0) << "writes";
}

TEST_F(HotPathTest, WindowedReadAndWriteAllocateNothing) {
    writeFile(outPath("w"), std::string(1428 * 4000, 'w'));
    listen();
    sendToListener(request(1, "w", "octet", {{"blksize", "1428"}, {"windowsize", "16"}}));
    ASSERT_TRUE(receive());  // the OACK
    std::uint8_t ackPacket[4] = {0, 4, 0, 0};
    std::uint8_t in[1500];
    auto window = [&](std::uint16_t end) {
        protocol::writeU16(ackPacket + 2, static_cast<std::uint16_t>(end - 16));
        std::size_t got = exchange(transferPort, ackPacket, 4, in, sizeof in) == 1432u ? 1 : 0;
        platform::Ipv4Endpoint from;
        for (int pass = 0; pass < 200 && got < 16; ++pass) {
            loop.runOnce(0);
            got += client.receiveFrom(in, sizeof in, from) == 1432 ? 1 : 0;
        }
        return got == 16;
    };
    ASSERT_TRUE(window(16));
    allocations = 0;
    counting = true;
    for (std::uint16_t end = 32; end < 3200; end += 16) {
        if (!window(end)) {
            counting = false;
            FAIL() << "window ending " << end;
        }
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0) << "windowed reads";

    sendToListener(request(2, "wup", "octet", {{"windowsize", "8"}}));
    ASSERT_TRUE(receive());
    std::uint8_t dataPacket[516] = {0, 3};
    allocations = 0;
    counting = true;
    for (std::uint16_t block = 1; block < 2000; ++block) {
        protocol::writeU16(dataPacket + 2, block);
        client.sendTo(dataPacket, sizeof dataPacket, {0x7f000001, transferPort});
        if (block % 8 == 0 && exchange(transferPort, dataPacket, 0, in, sizeof in) != 4u) {
            counting = false;
            FAIL() << "block " << block;
        }
    }
    counting = false;
    EXPECT_EQ(allocations.load(), 0) << "windowed writes";
}

}  // namespace
}  // namespace enginetest
