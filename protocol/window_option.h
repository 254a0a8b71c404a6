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

}  // namespace protocol
