#include "server/services/icmp/icmp_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "platform/event_loop.h"

namespace server {

IcmpSocket::IcmpSocket(platform::EventLoop& loop) : loop_(loop) {}

IcmpSocket::~IcmpSocket() {
    if (fd_ >= 0) {
        loop_.unwatch(fd_);
        ::close(fd_);
    }
}

bool IcmpSocket::open() {
    if (fd_ >= 0) {
        return true;
    }
    int fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        return false;
    }
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    if (!loop_.watchReadable(fd, [this] { onReadable(); })) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    fd_ = fd;
    return true;
}

void IcmpSocket::onDatagram(std::span<const std::uint8_t> datagram) {
    if (datagram.size() >= kMinimumDatagram && sink_) {
        sink_(datagram);
    }
}

void IcmpSocket::onReadable() {
    // One datagram a pass: the loop is level-triggered and comes back for the next.
    std::array<std::uint8_t, kReadSize> buffer{};
    ssize_t n;
    do {
        n = ::recv(fd_, buffer.data(), buffer.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        onDatagram(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(n)));
    }
}

}  // namespace server
