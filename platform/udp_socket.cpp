#include "platform/udp_socket.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace platform {

UdpSocket::~UdpSocket() {
    close();
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

bool UdpSocket::open(std::uint32_t localAddress, std::uint16_t port) {
    close();
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in sa = Ipv4Endpoint{localAddress, port}.toSockaddr();
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    fd_ = fd;
    return true;
}

void UdpSocket::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Ipv4Endpoint UdpSocket::localEndpoint() const {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        return {};
    }
    return Ipv4Endpoint::fromSockaddr(sa);
}

ssize_t UdpSocket::receiveFrom(void* buf, std::size_t capacity, Ipv4Endpoint& from) {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    // MSG_TRUNC makes the kernel report the datagram's real length, so callers can tell an
    // oversized datagram from one that just fits.
    ssize_t n;
    do {
        n = ::recvfrom(fd_, buf, capacity, MSG_TRUNC, reinterpret_cast<sockaddr*>(&sa), &len);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
        from = Ipv4Endpoint::fromSockaddr(sa);
    }
    return n;
}

bool UdpSocket::sendTo(const void* buf, std::size_t length, const Ipv4Endpoint& to) {
    sockaddr_in sa = to.toSockaddr();
    ssize_t n;
    do {
        n = ::sendto(fd_, buf, length, 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(length);
}

namespace {

bool setIntOption(int fd, int option, int value) {
    return ::setsockopt(fd, SOL_SOCKET, option, &value, sizeof value) == 0;
}

int getIntOption(int fd, int option) {
    int value = 0;
    socklen_t len = sizeof value;
    if (::getsockopt(fd, SOL_SOCKET, option, &value, &len) != 0) {
        return -1;
    }
    return value;
}

}  // namespace

int UdpSocket::sizeBuffer(Buffer buffer, int bytes) {
    const int option = buffer == Buffer::Send ? SO_SNDBUF : SO_RCVBUF;
    if (!setIntOption(fd_, option, bytes)) {
        return -1;
    }
    const int granted = getIntOption(fd_, option);
    return granted < 0 ? -1 : std::min(granted, bytes);
}

int socketBufferFor(int packetBytes) {
    constexpr int kPackets = 16;
    constexpr int kAtLeast = 64 * 1024;
    constexpr int kAtMost = 4 * 1024 * 1024;
    if (packetBytes <= 0) {
        return kAtLeast;
    }
    return packetBytes > kAtMost / kPackets ? kAtMost : std::max(packetBytes * kPackets, kAtLeast);
}

}  // namespace platform
