#include "platform/ipv4.h"

#include <arpa/inet.h>

#include <cstdio>

namespace platform {

sockaddr_in Ipv4Endpoint::toSockaddr() const {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(address);
    return sa;
}

Ipv4Endpoint Ipv4Endpoint::fromSockaddr(const sockaddr_in& sa) {
    return Ipv4Endpoint{ntohl(sa.sin_addr.s_addr), ntohs(sa.sin_port)};
}

std::string formatAddress(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>((address >> 24) & 0xff),
                  static_cast<int>((address >> 16) & 0xff), static_cast<int>((address >> 8) & 0xff),
                  static_cast<int>(address & 0xff));
    return text;
}

std::optional<std::uint32_t> parseAddress(std::string_view text) {
    std::uint32_t result = 0;
    std::size_t pos = 0;
    for (int field = 0; field < 4; ++field) {
        if (field > 0) {
            if (pos >= text.size() || text[pos] != '.') {
                return std::nullopt;
            }
            ++pos;
        }
        std::uint32_t value = 0;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 4) {
            value = value * 10 + static_cast<std::uint32_t>(text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return std::nullopt;
        }
        result = (result << 8) | value;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    return result;
}

}  // namespace platform
