#include "protocol/packet.h"

#include <charconv>
#include <cstring>

namespace protocol {

namespace {

// Appends to a packet under construction; once something does not fit, every later append
// is refused too and the packet's length reads as 0.
class Writer {
  public:
    explicit Writer(std::span<std::uint8_t> out) : out_(out) {}

    void u16(std::uint16_t v) {
        if (reserve(2)) {
            writeU16(out_.data() + pos_, v);
            pos_ += 2;
        }
    }

    // The text and its terminating zero.
    void text(std::string_view s) {
        if (reserve(s.size() + 1)) {
            std::memcpy(out_.data() + pos_, s.data(), s.size());
            pos_ += s.size();
            out_[pos_++] = 0;
        }
    }

    void decimal(std::uint64_t v) {
        char digits[20];
        auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v);
        (void)ec;  // 20 digits hold any 64-bit value
        text(std::string_view(digits, static_cast<std::size_t>(end - digits)));
    }

    void pairs(std::span<const OptionPair> options) {
        for (const OptionPair& option : options) {
            text(option.name);
            decimal(option.value);
        }
    }

    std::size_t length() const { return failed_ ? 0 : pos_; }

  private:
    bool reserve(std::size_t n) {
        if (failed_ || out_.size() - pos_ < n) {
            failed_ = true;
            return false;
        }
        return true;
    }

    std::span<std::uint8_t> out_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

// Both refusals are fixed byte images; the service refusal deliberately carries a second
// trailing zero, which peers have always received.
constexpr std::uint8_t kServiceRefusal[] = {0,   5,   0,   0,   'S', 'e', 'r', 'v', 'i',
                                            'c', 'e', ' ', 'n', 'o', 't', ' ', 'a', 'v',
                                            'a', 'i', 'l', 'a', 'b', 'l', 'e', 0,   0};
constexpr std::uint8_t kClientLimitRefusal[] = {
    0, 5, 0, 0, 'T', 'o', 'o', ' ', 'M', 'a', 'n', 'y', ' ', 'C', 'l', 'i', 'e', 'n', 't', 's', 0};
static_assert(sizeof kServiceRefusal == 27);
static_assert(sizeof kClientLimitRefusal == 21);

}  // namespace

std::size_t buildRequest(std::span<std::uint8_t> out, Opcode opcode, std::string_view fileName,
                         std::string_view mode, std::span<const OptionPair> options) {
    Writer w(out);
    w.u16(opcode);
    w.text(fileName);
    w.text(mode);
    w.pairs(options);
    return w.length();
}

std::size_t buildDataHeader(std::span<std::uint8_t> out, std::uint16_t block) {
    Writer w(out);
    w.u16(kData);
    w.u16(block);
    return w.length();
}

std::size_t buildAck(std::span<std::uint8_t> out, std::uint16_t block) {
    Writer w(out);
    w.u16(kAck);
    w.u16(block);
    return w.length();
}

std::size_t buildError(std::span<std::uint8_t> out, ErrorCode code, std::string_view text) {
    Writer w(out);
    w.u16(kError);
    w.u16(static_cast<std::uint16_t>(code));
    w.text(text);
    return w.length();
}

std::size_t buildOack(std::span<std::uint8_t> out, std::span<const OptionPair> options) {
    Writer w(out);
    w.u16(kOack);
    w.pairs(options);
    return w.length();
}

std::size_t buildOptionRefusal(std::span<std::uint8_t> out, std::string_view text) {
    Writer w(out);
    w.u16(kOptionRefusal);
    w.u16(0);
    w.text(text);
    return w.length();
}

bool parsePacket(std::span<const std::uint8_t> datagram, ParsedPacket& out) {
    if (datagram.size() < kHeaderSize) {
        return false;
    }
    out.opcode = readU16(datagram.data());
    out.field = readU16(datagram.data() + 2);
    out.text = {};
    if (out.opcode == kError) {
        // A peer may omit the terminating zero; the datagram's end then ends the text.
        const auto* begin = datagram.data() + kHeaderSize;
        const std::size_t room = datagram.size() - kHeaderSize;
        const void* zero = std::memchr(begin, 0, room);
        const std::size_t length =
            zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - begin) : room;
        out.text = std::string_view(reinterpret_cast<const char*>(begin), length);
    }
    return true;
}

std::span<const std::uint8_t> serviceRefusalPacket() {
    return kServiceRefusal;
}

std::span<const std::uint8_t> clientLimitRefusalPacket() {
    return kClientLimitRefusal;
}

std::vector<OptionText> parseOack(std::span<const std::uint8_t> datagram) {
    std::vector<OptionText> options;
    if (datagram.size() < 2) {
        return options;
    }
    const std::string_view body(reinterpret_cast<const char*>(datagram.data()) + 2,
                                datagram.size() - 2);
    std::size_t pos = 0;
    while (pos < body.size()) {
        const std::size_t nameEnd = body.find('\0', pos);
        if (nameEnd == std::string_view::npos || nameEnd == pos) {
            break;
        }
        const std::size_t valueEnd = body.find('\0', nameEnd + 1);
        if (valueEnd == std::string_view::npos) {
            break;
        }
        options.push_back(
            {body.substr(pos, nameEnd - pos), body.substr(nameEnd + 1, valueEnd - nameEnd - 1)});
        pos = valueEnd + 1;
    }
    return options;
}

}  // namespace protocol
