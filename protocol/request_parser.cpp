#include "protocol/request_parser.h"

#include <limits>

#include "platform/ascii_text.h"

namespace protocol {

namespace {

constexpr std::size_t kNameOffset = 2;

// Walks the datagram strictly inside its length. Past the end it behaves as if zeros followed,
// as in a zero-filled receive buffer, so a request whose last string lacks its zero is read the
// same as one that has it.
class Cursor {
  public:
    explicit Cursor(std::span<const std::uint8_t> d) : d_(d) {}

    bool atEnd() const { return pos_ >= d_.size(); }
    std::uint8_t peek() const { return atEnd() ? 0 : d_[pos_]; }
    void skip() { ++pos_; }

    // The text up to the next zero or the end; the zero is not consumed.
    std::string_view text() {
        const std::size_t start = pos_;
        while (!atEnd() && d_[pos_] != 0) {
            ++pos_;
        }
        return {reinterpret_cast<const char*>(d_.data()) + start, pos_ - start};
    }

    // Leading decimal digits; none gives 0, overflow saturates.
    std::uint32_t number() {
        if (atEnd()) {
            return 0;
        }
        std::size_t length = 0;
        const std::uint64_t value = platform::LeadingDecimal(
            {reinterpret_cast<const char*>(d_.data()) + pos_, d_.size() - pos_},
            std::numeric_limits<std::uint32_t>::max(), &length);
        pos_ += length;
        return static_cast<std::uint32_t>(value);
    }

    void seek(std::size_t pos) { pos_ = pos; }

  private:
    std::span<const std::uint8_t> d_;
    std::size_t pos_ = 0;
};

bool optionKind(std::string_view name, OptionKind& kind) {
    if (platform::EqualsIgnoreCase(name, "tsize")) {
        kind = OptionKind::Tsize;
    } else if (platform::EqualsIgnoreCase(name, "timeout")) {
        kind = OptionKind::Timeout;
    } else if (platform::EqualsIgnoreCase(name, "blksize")) {
        kind = OptionKind::Blksize;
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::string_view requestFileName(std::span<const std::uint8_t> datagram) {
    if (datagram.size() <= kNameOffset) {
        return {};
    }
    Cursor c(datagram);
    c.seek(kNameOffset);
    return c.text();
}

ParsedRequest parseRequest(std::span<const std::uint8_t> datagram) {
    ParsedRequest result;
    Cursor c(datagram);
    c.seek(kNameOffset);

    // The name must end in a zero inside the datagram, and something must follow it.
    c.text();
    if (c.atEnd()) {
        return result;  // Malformed
    }
    c.skip();
    if (c.atEnd()) {
        return result;  // Malformed
    }

    const std::string_view mode = c.text();
    if (platform::EqualsIgnoreCase(mode, "netascii")) {
        result.netascii = true;
    } else if (!platform::EqualsIgnoreCase(mode, "octet")) {
        result.status = ParsedRequest::Status::BadMode;
        return result;
    }
    c.skip();

    // Each pair: name, its zero, the value's digits, then one more byte. Whatever follows
    // the digits (normally the zero) is passed over unread, so trailing junk in a value
    // lands on the zero and ends the list.
    while (!c.atEnd() && c.peek() != 0) {
        const std::string_view name = c.text();
        c.skip();
        const std::uint32_t value = c.number();
        c.skip();
        OptionKind kind;
        if (optionKind(name, kind)) {
            result.options.push_back({kind, value});
        }
    }
    result.status = ParsedRequest::Status::Ok;
    return result;
}

}  // namespace protocol
