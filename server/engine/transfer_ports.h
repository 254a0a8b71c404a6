#pragma once

#include <cstdint>
#include <optional>

#include "platform/udp_socket.h"

namespace server {

// Local ports a transfer's socket may take, both ends included.
struct PortRange {
    std::uint16_t low = 0;
    std::uint16_t high = 0;
};

// Where each transfer's socket is bound: any free port, or one of a fixed range (for firewalls
// and NAT that forward only those). Ports of the range are handed out in turn, so a port that a
// transfer just gave up is the last to be taken again.
class TransferPorts {
  public:
    void setRange(std::optional<PortRange> range) {
        range_ = range;
        next_ = range ? range->low : 0;
    }
    const std::optional<PortRange>& range() const { return range_; }

    // Binds socket to address and a port; false (errno left) when no port of the range is free.
    bool open(platform::UdpSocket& socket, std::uint32_t address);

  private:
    std::optional<PortRange> range_;
    std::uint32_t next_ = 0;
};

}  // namespace server
