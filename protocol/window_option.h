#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace protocol {

// The windowsize option (RFC 7440): how many DATA blocks go out before the sender waits for an
// ACK. Requests outside 1 to 65535 are left unanswered, so the transfer stays lock-step.
inline constexpr std::string_view kWindowSizeOption = "windowsize";
inline constexpr std::uint32_t kMinWindowSize = 1;
inline constexpr std::uint32_t kMaxWindowSize = 65535;

inline bool windowSizeInRange(std::uint32_t requested) {
    return requested >= kMinWindowSize && requested <= kMaxWindowSize;
}

// The window granted for a requested one (in range). At most half the block numbers, so every
// ACK and every DATA number tells old from new across the wrap; a sender also keeps two windows
// of packets in memory, which bounds its window by block size.
std::uint32_t grantedReceiveWindow(std::uint32_t requested);
std::uint32_t grantedSendWindow(std::uint32_t requested, std::size_t blockSize);

// Blocks sent back to back at most: what a peer's default receive buffer holds (about 100
// blocks of 1428 bytes, 13 of 8192). A window larger than that goes out in parts a moment
// apart, or its tail is dropped every time and a peer that acknowledges only whole windows
// waits for its time-out each time.
std::size_t burstLimit(std::size_t blockSize);

}  // namespace protocol
