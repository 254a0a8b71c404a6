#pragma once

#include <cstddef>
#include <functional>

#include "platform/burst_pacer.h"
#include "platform/event_loop.h"
#include "platform/ipv4.h"
#include "platform/udp_socket.h"
#include "protocol/window_sender.h"

namespace protocol {

class TransferFile;

// Puts the windows of a windowed transfer on the wire, for both programs: a window goes out in
// bursts that a peer's default receive buffer can hold, the rest of it a moment later, and the
// next window is read from the file while the peer takes this one.
class WindowPump {
  public:
    // resume runs when the rest of a window is due; it calls pump again while the transfer is on.
    WindowPump(platform::EventLoop& loop, std::function<void()> resume)
        : pacer_(loop), resume_(std::move(resume)) {}

    // Sizes the socket for a window of `window` blocks; a sending side also takes the memory of
    // its windows (false when that is short).
    bool start(platform::UdpSocket& socket, bool sending, std::size_t window,
               std::size_t blockSize);
    // Sends what is due now and reads ahead. False when the file fails.
    bool pump(TransferFile& file, const platform::UdpSocket& socket,
              const platform::Ipv4Endpoint& peer);
    void cancel() { pacer_.cancel(); }

    WindowSender& sender() { return sender_; }
    const WindowSender& sender() const { return sender_; }

  private:
    WindowSender sender_;
    platform::BurstPacer pacer_;
    std::function<void()> resume_;
    std::size_t burst_ = 1;
};

}  // namespace protocol
