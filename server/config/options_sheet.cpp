#include "server/config/options_sheet.h"

#include <utility>

#include "server/config/server_front_end.h"
#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"

namespace server {

OptionsContext OptionsContextFor(ServerApplication& app, bool rawIcmpAvailable) {
    OptionsContext context;
    context.mounts = MountTable::FromSystem();
    context.multihomed = app.listener() != nullptr && app.listener()->hostAddressCount() > 1;
    context.rawIcmpAvailable = rawIcmpAvailable;
    return context;
}

OptionsSheet::OptionsSheet(ServerApplication& app, ServerFrontEnd& frontEnd, OptionsContext context)
    : app_(app),
      frontEnd_(frontEnd),
      context_(std::move(context)),
      inbound_(app.settings),
      outbound_(app.settings),
      other_(app.settings, context_.multihomed),
      icmp_(context_.rawIcmpAvailable),
      pages_{&inbound_, &outbound_, &allow_, &deny_, &other_, &clients_, &threads_, &icmp_} {
    showPage(OptionsPageId::Inbound);
}

void OptionsSheet::showPage(OptionsPageId id) {
    current_ = id;
    page(id).open(app_.settings);
    if (id == OptionsPageId::Clients) {
        clients_.activate();
    }
}

bool OptionsSheet::applyEnabled() const {
    for (const OptionsPageBase* p : pages_) {
        if (p->modified()) {
            return true;
        }
    }
    return false;
}

bool OptionsSheet::apply() {
    bool allApplied = true;
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (pages_[i]->apply(app_, context_) == PageApply::Refused) {
            if (allApplied) {
                current_ = static_cast<OptionsPageId>(i);
            }
            allApplied = false;
        }
    }
    return allApplied;
}

void AfterSetupSheet(ServerApplication& app, ServerFrontEnd& frontEnd) {
    if (app.settings.bUseTaskbar) {
        frontEnd.addTrayIcon();
    } else {
        frontEnd.removeTrayIcon();
    }
    app.supervisor().AdjustPriorities();
}

void OptionsSheet::closed() {
    AfterSetupSheet(app_, frontEnd_);
}

}  // namespace server
