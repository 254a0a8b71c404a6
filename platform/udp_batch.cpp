#include "platform/udp_batch.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace platform {

namespace {

// Datagrams per system call; the kernel takes at most UIO_MAXIOV (1024) anyway.
constexpr std::size_t kBatch = 64;
// What the kernel charges a buffer per datagram beyond its payload (headers, bookkeeping).
constexpr std::size_t kPerDatagramOverhead = 768;

}  // namespace

std::size_t sendDatagrams(const UdpSocket& socket, std::span<const iovec> datagrams,
                          const Ipv4Endpoint& to) {
    sockaddr_in sa = to.toSockaddr();
    mmsghdr messages[kBatch];
    std::size_t sent = 0;
    while (sent < datagrams.size()) {
        const std::size_t count = std::min(kBatch, datagrams.size() - sent);
        for (std::size_t i = 0; i < count; ++i) {
            messages[i] = mmsghdr{};
            messages[i].msg_hdr.msg_name = &sa;
            messages[i].msg_hdr.msg_namelen = sizeof sa;
            messages[i].msg_hdr.msg_iov = const_cast<iovec*>(&datagrams[sent + i]);
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        int r;
        do {
            r = ::sendmmsg(socket.fd(), messages, static_cast<unsigned>(count), 0);
        } while (r < 0 && errno == EINTR);
        if (r <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(r);
        if (static_cast<std::size_t>(r) < count) {
            break;
        }
    }
    return sent;
}

void reserveForBurst(UdpSocket& socket, bool sending, std::size_t datagrams,
                     std::size_t datagramSize) {
    const std::size_t want = std::min<std::size_t>(
        datagrams * (datagramSize + kPerDatagramOverhead), std::numeric_limits<int>::max() / 2);
    // Never below what the transfer's own sizing asks for.
    const int bytes =
        std::max(static_cast<int>(want), socketBufferFor(static_cast<int>(datagramSize)));
    socket.sizeBuffer(sending ? UdpSocket::Buffer::Send : UdpSocket::Buffer::Receive, bytes);
}

}  // namespace platform
