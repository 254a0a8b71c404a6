// Which of the host's addresses a program binds to.

#include "platform/host_addresses.h"

#include <gtest/gtest.h>

namespace {

using platform::InterfaceAddress;

TEST(HostAddresses, LoopbackOnlyWhenNoOtherInterfaceIsUp) {
    const std::uint32_t lo = 0x7f000001, eth = 0xc6120d01, wlan = 0xc6120e01, down = 0xc6120f01;
    // An ordinary host: loopback and one card is one address, not a multihomed host.
    EXPECT_EQ(platform::usableHostAddresses(
                  {{lo, true, true}, {eth, true, false}, {down, false, false}, {eth, true, false}}),
              std::vector<std::uint32_t>{eth});
    EXPECT_EQ(
        platform::usableHostAddresses({{eth, true, false}, {lo, true, true}, {wlan, true, false}}),
        (std::vector<std::uint32_t>{eth, wlan}));
    EXPECT_EQ(platform::usableHostAddresses({{lo, true, true}, {down, false, false}}),
              std::vector<std::uint32_t>{lo});
    EXPECT_TRUE(platform::usableHostAddresses({{lo, false, true}}).empty());
    EXPECT_FALSE(platform::hostIpv4Addresses().empty()) << "this host has at least loopback";
}

}  // namespace
