#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace platform {
class Clock;
class EventLoop;
}  // namespace platform

namespace server {

class IcmpReport;
struct ServerSettings;

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

    // The report it feeds; none until set, and then datagrams are read and dropped.
    void setReport(IcmpReport* report) { report_ = report; }

    // One datagram as the socket delivered it: listed when it has at least kMinimumDatagram
    // bytes and a report is set. The entry point for tests without privileges.
    void onDatagram(std::span<const std::uint8_t> datagram);

  private:
    void onReadable();

    platform::EventLoop& loop_;
    IcmpReport* report_ = nullptr;
    int fd_ = -1;
};

// The client list view's ICMP pair: the socket and, when the socket could be opened, the report
// it feeds. Declared in this order so the socket goes before the report it points at.
class IcmpMonitor {
  public:
    // settings and clock must outlive the monitor.
    IcmpMonitor(platform::EventLoop& loop, const ServerSettings& settings,
                const platform::Clock& clock);

    // Set-up at the view's first display. The report exists only when the sockets layer is of
    // major version 2 or above (always so here) and the raw socket opened; otherwise there is no
    // report, the command stays disabled and nothing is shown to the user. True when present.
    bool start(int socketsMajorVersion = 2);

    // The window's list, or none ("ICMP Report" is enabled only while it exists).
    IcmpReport* report() const { return report_.get(); }
    IcmpSocket& socket() { return *socket_; }

  private:
    const ServerSettings& settings_;
    const platform::Clock& clock_;
    std::unique_ptr<IcmpReport> report_;
    std::unique_ptr<IcmpSocket> socket_;
};

}  // namespace server
