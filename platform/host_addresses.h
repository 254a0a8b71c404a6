#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The host's name, or nullopt when the system cannot tell.
std::optional<std::string> hostName();

// IPv4 addresses of the interfaces that are up, in the order the system lists them, loopback
// included. Host byte order.
std::vector<std::uint32_t> hostIpv4Addresses();

}  // namespace platform
