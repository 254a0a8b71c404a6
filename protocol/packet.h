#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace protocol {

enum Opcode : std::uint16_t {
    kRrq = 1,
    kWrq = 2,
    kData = 3,
    kAck = 4,
    kError = 5,
    kOack = 6,
    kOptionRefusal = 8,
};

// The code of an ERROR packet, with the meaning this system gives it (texts: error_table.h).
// 0 to 6 are RFC 1350's; 7 is RFC 1350's "no such user", used here for a failed option
// negotiation, and 8 ends a transfer that was aborted.
enum class ErrorCode : std::uint16_t {
    Undefined = 0,
    FileNotFound = 1,
    AccessViolation = 2,
    DiskFull = 3,
    IllegalOperation = 4,
    UnknownTransferId = 5,
    FileExists = 6,
    OptionNegotiation = 7,
    Aborted = 8,
};

inline constexpr std::size_t kHeaderSize = 4;
inline constexpr int kDefaultBlockSize = 512;
// RFC 2348 bounds for the blksize option.
inline constexpr int kMinBlockSize = 8;
inline constexpr int kMaxBlockSize = 65464;

struct OptionPair {
    std::string_view name;
    std::uint64_t value;
};

// Every builder writes into out and returns the packet's length, or 0 when out is too small.
// Nothing is allocated.
std::size_t buildRequest(std::span<std::uint8_t> out, Opcode opcode, std::string_view fileName,
                         std::string_view mode, std::span<const OptionPair> options);
std::size_t buildDataHeader(std::span<std::uint8_t> out, std::uint16_t block);  // data follows
std::size_t buildAck(std::span<std::uint8_t> out, std::uint16_t block);
std::size_t buildError(std::span<std::uint8_t> out, ErrorCode code, std::string_view text);
std::size_t buildOack(std::span<std::uint8_t> out, std::span<const OptionPair> options);
// Opcode 8, code 0 and the given text.
std::size_t buildOptionRefusal(std::span<std::uint8_t> out, std::string_view text);

inline std::uint16_t readU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline void writeU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v & 0xff);
}

// The opcode and the second 16-bit field of a datagram in host order; for ERROR the text that
// starts at byte 4 (up to its zero or the end of the datagram).
struct ParsedPacket {
    std::uint16_t opcode = 0;
    std::uint16_t field = 0;
    std::string_view text;
};
// Requires at least 4 bytes; returns false otherwise.
bool parsePacket(std::span<const std::uint8_t> datagram, ParsedPacket& out);

struct OptionText {
    std::string_view name;
    std::string_view value;
};
// The name/value pairs of an OACK datagram (opcode included), in order, viewing its bytes. The
// walk stops at an empty name or at a pair whose terminating zero is missing: nothing past the
// datagram is read, and a value cut short is not taken.
std::vector<OptionText> parseOack(std::span<const std::uint8_t> datagram);

// The two fixed refusals sent from the listening port, as byte images.
std::span<const std::uint8_t> serviceRefusalPacket();      // 27 bytes
std::span<const std::uint8_t> clientLimitRefusalPacket();  // 21 bytes

}  // namespace protocol
