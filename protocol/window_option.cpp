#include "protocol/window_option.h"

#include <algorithm>

#include "protocol/packet.h"

namespace protocol {

namespace {

constexpr std::uint32_t kHalfBlockNumbers = 32768;
// Packets a sender holds per transfer: the window in flight and the next one read ahead.
constexpr std::size_t kSenderMemory = 8 * 1024 * 1024;

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

}  // namespace protocol
