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

}  // namespace
}  // namespace enginetest
