#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace platform {
class EventLoop;
}  // namespace platform

namespace server {

// A raw IPv4 ICMP socket on the event loop. The kernel hands it every ICMP message the host
// receives (loopback traffic included), IPv4 header first. Opening it needs CAP_NET_RAW.
class IcmpSocket {
  public:
    // Largest datagram read; the rest of a longer one is dropped.
    static constexpr std::size_t kReadSize = 1024;
    // Fewer bytes cannot hold the 20-byte header and the type byte.
    static constexpr std::size_t kMinimumDatagram = 21;

    explicit IcmpSocket(platform::EventLoop& loop);
    ~IcmpSocket();
    IcmpSocket(const IcmpSocket&) = delete;
    IcmpSocket& operator=(const IcmpSocket&) = delete;

    // Creates the non-blocking socket, bound to any address, and starts watching it. On failure
    // returns false and leaves errno (EPERM without CAP_NET_RAW).
    bool open();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    using Sink = std::function<void(std::span<const std::uint8_t>)>;
    // Where datagrams go; none until set, and then datagrams are read and dropped.
    void setSink(Sink sink) { sink_ = std::move(sink); }

    // One datagram as the socket delivered it: passed on when it has at least kMinimumDatagram
    // bytes and a sink is set. The entry point for tests without privileges.
    void onDatagram(std::span<const std::uint8_t> datagram);

  private:
    void onReadable();

    platform::EventLoop& loop_;
    Sink sink_;
    int fd_ = -1;
};

}  // namespace server
