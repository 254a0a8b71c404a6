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

std::vector<std::uint32_t> hostIpv4Addresses() {
    std::vector<std::uint32_t> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return result;
    }
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        if ((it->ifa_flags & IFF_UP) == 0) {
            continue;
        }
        auto* sa = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        std::uint32_t address = ntohl(sa->sin_addr.s_addr);
        if (std::find(result.begin(), result.end(), address) == result.end()) {
            result.push_back(address);
        }
    }
    ::freeifaddrs(list);
    return result;
}

}  // namespace platform
