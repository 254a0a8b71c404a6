#pragma once

#include <memory>

#include "server/services/icmp/icmp_socket.h"

namespace platform {
class Clock;
class EventLoop;
}  // namespace platform

namespace server {

class IcmpReport;
struct ServerSettings;

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
