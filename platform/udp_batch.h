#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <span>

#include "platform/ipv4.h"
#include "platform/udp_socket.h"

namespace platform {

// Sends each buffer as one datagram to `to`, with as few system calls as the kernel allows
// (sendmmsg). Returns how many went out: fewer when the socket's buffer is full or a send
// failed. Allocates nothing.
std::size_t sendDatagrams(const UdpSocket& socket, std::span<const iovec> datagrams,
                          const Ipv4Endpoint& to);

// Grows the socket's send or receive buffer to hold a burst of datagrams of the given size, as
// far as the system allows; never below socketBufferFor the datagram size.
void reserveForBurst(UdpSocket& socket, bool sending, std::size_t datagrams,
                     std::size_t datagramSize);

}  // namespace platform
