#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace client {

// The engine's progress texts, built in the caller's fixed buffer and cut to fit it.

// 100 / (fileSize / count) in floating point, cut toward zero: 512 of 1000 bytes is 51.
int SentPercentage(std::uint64_t count, std::uint64_t fileSize);

// "Received %lu bytes (%lu blocks)", with " - Done" after the last block.
std::string_view FormatReceived(std::span<char> out, std::uint64_t bytes, std::uint64_t blocks,
                                bool done);
// "Sent %lu bytes (%d%%)" when both numbers are non-zero, else "Sent %lu bytes"; "ReSent" for a
// block sent again.
std::string_view FormatSent(std::span<char> out, std::uint64_t count, std::uint64_t fileSize,
                            bool resent);
// "Msg from Server > " and the server's text, at most 60 characters in all.
std::string_view FormatServerMessage(std::span<char> out, std::string_view text);

}  // namespace client
