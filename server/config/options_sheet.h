#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "server/config/options_pages.h"

namespace server {

class ServerApplication;
class ServerFrontEnd;

inline constexpr std::string_view kOptionsSheetTitle = "Server Options";

enum class OptionsPageId : std::size_t {
    Inbound,
    Outbound,
    Allow,
    Deny,
    Other,
    Clients,
    Threads,
    Icmp,
};
inline constexpr std::size_t kOptionsPageCount = 8;
// Tab titles in tab order; "&&" is how a tab shows one "&".
inline constexpr std::array<std::string_view, kOptionsPageCount> kOptionsPageTitles = {
    "Inbound",
    "Outbound",
    "Allow",
    "Deny",
    "Options",
    "Client Limits",
    "MultiThreading && Logging",
    "ICMP Messages"};

// The context on this machine: its mounts, whether the listener found several host addresses,
// and whether raw ICMP could be opened (the ICMP report exists). The question is the window's.
OptionsContext OptionsContextFor(ServerApplication& app, bool rawIcmpAvailable);

// What follows the sheet, closed with OK or Cancel alike: the tray icon as "Use Taskbar" says,
// then the priorities.
void AfterSetupSheet(ServerApplication& app, ServerFrontEnd& frontEnd);

// "Server Options" (COptions) without its window: eight pages that edit the settings in memory.
// One sheet is built for each Setup command and lives only while it is open.
class OptionsSheet {
  public:
    // The paths, flags, port and time-out are copied now; the other pages copy theirs when
    // first shown. The first page is shown at once.
    OptionsSheet(ServerApplication& app, ServerFrontEnd& frontEnd, OptionsContext context);
    OptionsSheet(const OptionsSheet&) = delete;
    OptionsSheet& operator=(const OptionsSheet&) = delete;

    // The tab the user turned to: the page is filled when first shown.
    void showPage(OptionsPageId page);
    OptionsPageId currentPage() const { return current_; }

    // Apply is enabled while some page has unapplied changes.
    bool applyEnabled() const;

    // Applies every opened page in tab order. A page that refuses its folder keeps its values
    // unapplied and the sheet turns to it; the other pages are applied. True when none refused.
    bool apply();
    // OK: applies; true when the sheet may close (no page refused).
    bool ok() { return apply(); }
    // The sheet is gone, by OK or by Cancel: the tray icon follows "Use Taskbar" and the
    // priorities are adjusted. Cancel applies nothing more than an earlier Apply did.
    void closed();

    InboundPage& inbound() { return inbound_; }
    OutboundPage& outbound() { return outbound_; }
    AccessListPage& allow() { return allow_; }
    AccessListPage& deny() { return deny_; }
    OtherPage& other() { return other_; }
    ClientsPage& clients() { return clients_; }
    ThreadsPage& threads() { return threads_; }
    IcmpPage& icmp() { return icmp_; }
    OptionsPageBase& page(OptionsPageId id) { return *pages_[static_cast<std::size_t>(id)]; }
    OptionsContext& context() { return context_; }
    ServerApplication& app() { return app_; }

  private:
    ServerApplication& app_;
    ServerFrontEnd& frontEnd_;
    OptionsContext context_;
    InboundPage inbound_;
    OutboundPage outbound_;
    AccessListPage allow_{AccessListKind::Allow};
    AccessListPage deny_{AccessListKind::Deny};
    OtherPage other_;
    ClientsPage clients_;
    ThreadsPage threads_;
    IcmpPage icmp_;
    std::array<OptionsPageBase*, kOptionsPageCount> pages_;
    OptionsPageId current_ = OptionsPageId::Inbound;
};

}  // namespace server
