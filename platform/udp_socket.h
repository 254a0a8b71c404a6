#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/ipv4.h"

namespace platform {

// The socket buffer to ask for when packets of packetBytes are sent or received: room for many
// of them, so a burst (a repeated block, a window of blocks) is not dropped. The system may
// grant less; what matters then is only whether one packet still fits.
int socketBufferFor(int packetBytes);

// A non-blocking IPv4 UDP socket over the native descriptor.
class UdpSocket {
  public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(UdpSocket&& other) noexcept;
    UdpSocket& operator=(UdpSocket&& other) noexcept;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Binds to address:port (port 0 picks a free one). On failure returns false and leaves errno.
    bool open(std::uint32_t localAddress, std::uint16_t port);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    Ipv4Endpoint localEndpoint() const;

    // Receives one datagram into buf. Returns the datagram's full length, which can exceed
    // capacity when it was truncated, or -1 when nothing was waiting or the receive failed.
    ssize_t receiveFrom(void* buf, std::size_t capacity, Ipv4Endpoint& from);
    bool sendTo(const void* buf, std::size_t length, const Ipv4Endpoint& to);

    enum class Buffer { Send, Receive };
    // Asks for a buffer of bytes and returns what it can hold: bytes, or less when the kernel
    // granted less; -1 when the socket refused. Linux reports twice the size asked for (half of
    // it is its own bookkeeping), so only a figure below the request is a short grant.
    int sizeBuffer(Buffer buffer, int bytes);

  private:
    int fd_ = -1;
};

}  // namespace platform
