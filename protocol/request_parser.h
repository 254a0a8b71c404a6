#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace protocol {

enum class OptionKind { Tsize, Timeout, Blksize, Windowsize };

struct RequestOption {
    OptionKind kind;
    // Decimal digits as read, saturating at UINT32_MAX; 0 when the value starts with no digit.
    std::uint32_t value;
};

struct ParsedRequest {
    enum class Status { Ok, Malformed, BadMode };
    Status status = Status::Malformed;
    bool netascii = false;
    // The recognised options in the order received; unknown names are skipped.
    std::vector<RequestOption> options;
};

// The file name of a request: bytes from offset 2 up to the first zero or the end of the
// datagram. Empty when the datagram is shorter than 3 bytes.
std::string_view requestFileName(std::span<const std::uint8_t> datagram);

// Parses file name, mode and options of an RRQ/WRQ held in datagram (its received length;
// bytes after it are never read). Malformed: unterminated file name or nothing after it.
// BadMode: a mode other than "netascii" or "octet" (case-insensitive), an empty one included.
// The end of the datagram terminates a mode or option text that lacks its zero.
ParsedRequest parseRequest(std::span<const std::uint8_t> datagram);

}  // namespace protocol
