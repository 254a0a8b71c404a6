#include "protocol/window_pump.h"

#include "platform/udp_batch.h"
#include "protocol/packet.h"
#include "protocol/transfer_file.h"
#include "protocol/window_option.h"

namespace protocol {

bool WindowPump::start(platform::UdpSocket& socket, bool sending, std::size_t window,
                       std::size_t blockSize) {
    if (sending && !sender_.start(window, blockSize)) {
        return false;
    }
    burst_ = burstLimit(blockSize);
    // A window must fit the socket whole, or its tail would be dropped every time.
    platform::reserveForBurst(socket, sending, window, blockSize + kHeaderSize);
    return true;
}

bool WindowPump::pump(TransferFile& file, const platform::UdpSocket& socket,
                      const platform::Ipv4Endpoint& peer) {
    if (!sender_.fillWindow(file)) {
        return false;
    }
    platform::sendDatagrams(socket, sender_.takeDue(burst_), peer);
    if (sender_.hasDue()) {
        pacer_.resumeSoon(resume_);
    }
    return sender_.fillAhead(file);
}

}  // namespace protocol
