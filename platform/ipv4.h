#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// An IPv4 address and port, both in host byte order.
struct Ipv4Endpoint {
    std::uint32_t address = 0;
    std::uint16_t port = 0;

    sockaddr_in toSockaddr() const;
    static Ipv4Endpoint fromSockaddr(const sockaddr_in& sa);
    bool operator==(const Ipv4Endpoint&) const = default;
};

// "%d.%d.%d.%d"
std::string formatAddress(std::uint32_t address);
// Strict dotted-quad parse: four decimal fields 0..255.
std::optional<std::uint32_t> parseAddress(std::string_view text);

}  // namespace platform
