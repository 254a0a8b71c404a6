#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The host's name, or nullopt when the system cannot tell.
std::optional<std::string> hostName();

// One IPv4 address of a network interface, host byte order.
struct InterfaceAddress {
    std::uint32_t address = 0;
    bool up = false;
    bool loopback = false;
};

// The addresses a program may bind to reach other hosts: those of interfaces that are up, in
// the order given, without repeats. Loopback addresses only when there is no other, since a
// socket bound to one cannot send anywhere else.
std::vector<std::uint32_t> usableHostAddresses(const std::vector<InterfaceAddress>& interfaces);

// usableHostAddresses of this host's interfaces, in the order the system lists them.
std::vector<std::uint32_t> hostIpv4Addresses();

}  // namespace platform
