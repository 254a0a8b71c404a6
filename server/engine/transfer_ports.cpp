#include "server/engine/transfer_ports.h"

#include <cerrno>

namespace server {

bool TransferPorts::open(platform::UdpSocket& socket, std::uint32_t address) {
    if (!range_) {
        return socket.open(address, 0);
    }
    const std::uint32_t count = std::uint32_t{range_->high} - range_->low + 1;
    for (std::uint32_t tried = 0; tried < count; ++tried) {
        if (next_ < range_->low || next_ > range_->high) {
            next_ = range_->low;
        }
        const auto port = static_cast<std::uint16_t>(next_++);
        if (socket.open(address, port)) {
            return true;
        }
        if (errno != EADDRINUSE) {
            return false;
        }
    }
    return false;
}

}  // namespace server
