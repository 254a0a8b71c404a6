#include "server/monitor/icmp_monitor.h"

#include "server/monitor/icmp_report.h"

namespace server {

IcmpMonitor::IcmpMonitor(platform::EventLoop& loop, const ServerSettings& settings,
                         const platform::Clock& clock)
    : settings_(settings), clock_(clock), socket_(std::make_unique<IcmpSocket>(loop)) {}

bool IcmpMonitor::start(int socketsMajorVersion) {
    if (report_ != nullptr) {
        return true;
    }
    if (socketsMajorVersion < 2) {
        return false;
    }
    auto report = std::make_unique<IcmpReport>(settings_, clock_);
    if (!socket_->open()) {
        return false;  // the report goes; the socket object stays with the view
    }
    report_ = std::move(report);
    socket_->setSink([report = report_.get()](std::span<const std::uint8_t> datagram) {
        report->AddIcmpRow(datagram);
    });
    return true;
}

}  // namespace server
