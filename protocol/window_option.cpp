#include "protocol/window_option.h"

#include <algorithm>
#include <bit>

#include "protocol/packet.h"

namespace protocol {

namespace {

constexpr std::uint32_t kHalfBlockNumbers = 32768;
// Packets a sender holds per transfer: the window in flight and the next one read ahead.
constexpr std::size_t kSenderMemory = 8 * 1024 * 1024;
// The receive buffer of a peer that does not enlarge its own (Linux's default, rmem_default).
constexpr std::size_t kPeerReceiveBuffer = 212992;

// What one datagram of a block costs in a receive buffer: payload, headers and the kernel's
// bookkeeping, in the slab or pages it is allocated from.
std::size_t receiveCharge(std::size_t blockSize) {
    const std::size_t bytes = blockSize + kHeaderSize + 28 + 320;
    return bytes <= 32768 ? std::bit_ceil(bytes) : (bytes + 4095) / 4096 * 4096 + 1024;
}

}  // namespace

std::uint32_t grantedReceiveWindow(std::uint32_t requested) {
    return std::clamp(requested, kMinWindowSize, kHalfBlockNumbers);
}

std::uint32_t grantedSendWindow(std::uint32_t requested, std::size_t blockSize) {
    const std::size_t fits = kSenderMemory / (2 * (blockSize + kHeaderSize));
    const auto bound =
        static_cast<std::uint32_t>(std::clamp<std::size_t>(fits, 1, kHalfBlockNumbers));
    return std::min(grantedReceiveWindow(requested), bound);
}

std::size_t burstLimit(std::size_t blockSize) {
    return std::max<std::size_t>(1, kPeerReceiveBuffer / receiveCharge(blockSize));
}

}  // namespace protocol
