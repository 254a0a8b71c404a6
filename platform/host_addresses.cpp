#include "platform/host_addresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>

namespace platform {

std::optional<std::string> hostName() {
    char name[101] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        return std::nullopt;
    }
    return std::string(name);
}

std::vector<std::uint32_t> usableHostAddresses(const std::vector<InterfaceAddress>& interfaces) {
    std::vector<std::uint32_t> others;
    std::vector<std::uint32_t> loopbacks;
    for (const InterfaceAddress& entry : interfaces) {
        if (!entry.up) {
            continue;
        }
        // 127/8 counts as loopback even on an interface that does not say so.
        const bool loopback = entry.loopback || (entry.address >> 24) == 127;
        std::vector<std::uint32_t>& list = loopback ? loopbacks : others;
        if (std::find(list.begin(), list.end(), entry.address) == list.end()) {
            list.push_back(entry.address);
        }
    }
    return others.empty() ? loopbacks : others;
}

std::vector<std::uint32_t> hostIpv4Addresses() {
    std::vector<InterfaceAddress> interfaces;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return {};
    }
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        const auto* sa = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        interfaces.push_back(InterfaceAddress{ntohl(sa->sin_addr.s_addr),
                                              (it->ifa_flags & IFF_UP) != 0,
                                              (it->ifa_flags & IFF_LOOPBACK) != 0});
    }
    ::freeifaddrs(list);
    return usableHostAddresses(interfaces);
}

}  // namespace platform
