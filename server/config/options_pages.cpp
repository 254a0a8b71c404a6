#include "server/config/options_pages.h"

#include "server/engine/server_application.h"
#include "server/engine/supervisor.h"

namespace server {

InboundPage::InboundPage(const ServerSettings& s)
    : path(s.InPath),
      inPaths(s.bInPaths),
      createPaths(s.bCreatePaths),
      renameDuplicates(s.bRenameDuplicates),
      renameExisting(s.bRenameExisting),
      pathEnabled_(!s.InPathFromCommandLine) {}

PageApply InboundPage::onApply(ServerApplication& app, const OptionsContext& context) {
    ServerSettings& s = app.settings;
    if (ApplyFolderPage(FolderKind::Inbound, path, s, app.dialogs(), context.askYesNo,
                        context.mounts) == FolderApply::Refused) {
        return PageApply::Refused;
    }
    s.bInPaths = inPaths;
    s.bCreatePaths = createPaths;
    s.bRenameDuplicates = renameDuplicates;
    s.bRenameExisting = renameExisting;
    return PageApply::Applied;
}

OutboundPage::OutboundPage(const ServerSettings& s)
    : path(s.OutPath),
      outPaths(s.bOutPaths),
      force(s.bForce != 0),
      forceFile(s.ForceFile),
      pathEnabled_(!s.OutPathFromCommandLine) {}

PageApply OutboundPage::onApply(ServerApplication& app, const OptionsContext& context) {
    ServerSettings& s = app.settings;
    if (ApplyFolderPage(FolderKind::Outbound, path, s, app.dialogs(), context.askYesNo,
                        context.mounts) == FolderApply::Refused) {
        return PageApply::Refused;
    }
    s.bOutPaths = outPaths;
    s.bForce = force ? 1 : 0;
    s.ForceFile = forceFile;
    return PageApply::Applied;
}

AddResult AccessListPage::add(const AddressFields& fields) {
    AddResult result = editor_.Add(fields);
    if (result.added) {
        setModified();
    }
    return result;
}

bool AccessListPage::remove(std::optional<std::size_t> selected) {
    const bool removed = editor_.Remove(selected);
    if (removed) {
        setModified();
    }
    return removed;
}

void AccessListPage::setChecked(bool checked) {
    editor_.SetChecked(checked);
    setModified();
}

PageApply AccessListPage::onApply(ServerApplication& app, const OptionsContext&) {
    // A file that cannot be written has been reported; the lists are in force in memory anyway.
    editor_.Apply(app.settings, app.dialogs());
    return PageApply::Applied;
}

OtherPage::OtherPage(const ServerSettings& s, bool multihomed)
    // Shown as stored: only typing is limited to digits, as in a number-only edit control.
    : port(s.Port),
      timeout(s.Timeout),
      skipRetry(s.bSkipRetry),
      noMultihomedBox(multihomed && !s.bAskAddress),
      alertMinimised(s.bAlertMinimised),
      allowTsize(s.bAllowTsize),
      allowTimeout(s.bAllowTimeout),
      noSplash(s.bNoSplash || s.bMinimised),
      minimised(s.bMinimised),
      noOutbound(s.bNoOutbound),
      noIncoming(s.bNoIncoming),
      useTaskbar(s.bUseTaskbar),
      preventRestart(s.bPreventRestart),
      multihomed_(multihomed) {}

void OtherPage::setMinimised(bool on) {
    minimised = on;
    if (on) {
        noSplash = true;
    }
    setModified();
}

PageApply OtherPage::onApply(ServerApplication& app, const OptionsContext&) {
    ServerSettings& s = app.settings;
    s.Timeout = timeout;
    s.bSkipRetry = skipRetry;
    if (multihomed_) {
        s.bAskAddress = !noMultihomedBox;
    }
    s.bAlertMinimised = alertMinimised;
    s.bAllowTsize = allowTsize;
    s.bAllowTimeout = allowTimeout;
    s.bNoSplash = noSplash || minimised;
    s.bMinimised = minimised;
    s.bNoOutbound = noOutbound;
    s.bNoIncoming = noIncoming;
    s.bUseTaskbar = useTaskbar;
    s.bPreventRestart = preventRestart;
    // Last: the listener may move at once and then reads the other values already stored.
    if (port != s.Port) {
        s.Port = port;
        app.ApplyListenChange();
    }
    return PageApply::Applied;
}

void ClientsPage::onOpen(const ServerSettings& s) {
    client_ = s.nClientLimit < 6 ? static_cast<int>(s.nClientLimit) : 1;
    display_ = s.nDisplayLimit < 7 ? static_cast<int>(s.nDisplayLimit) : 6;
    activate();
}

void ClientsPage::activate() {
    rememberedClient_ = client_;
    rememberedDisplay_ = display_;
}

void ClientsPage::setPositions(int client, int display) {
    client_ = client;
    display_ = display;
    if (client_ != rememberedClient_ || display_ != rememberedDisplay_) {
        setModified();
    }
}

PageApply ClientsPage::onApply(ServerApplication& app, const OptionsContext&) {
    app.settings.nClientLimit = static_cast<std::uint32_t>(client_);
    app.settings.nDisplayLimit = static_cast<std::uint32_t>(display_);
    return PageApply::Applied;
}

void ThreadsPage::onOpen(const ServerSettings& s) {
    raisePriority = s.bRaisePriority;
    priority = s.nPriority <= 2 ? static_cast<int>(s.nPriority) : 3;
    logFile = s.LogFile;
}

PageApply ThreadsPage::onApply(ServerApplication& app, const OptionsContext&) {
    ServerSettings& s = app.settings;
    s.bRaisePriority = raisePriority;
    SetProcessPriority(s);
    s.nPriority = static_cast<std::uint32_t>(priority.value_or(0));
    s.LogFile = logFile;
    return PageApply::Applied;
}

const std::array<IcmpBox, 14> kIcmpBoxes = {{
    {0, "Echo reply"},
    {1, "Destination unreachable"},
    {2, "Source quench"},
    {3, "Redirect"},
    {4, "Echo request"},
    {5, "Time exceeded"},
    {6, "IP unintelligible"},
    {7, "Timestamp request"},
    {8, "Timestamp reply"},
    {9, "Information request"},
    {10, "Information reply"},
    {11, "Address mask request"},
    {12, "Address mask reply"},
    {13, "Unknown messages"},
}};
const std::array<int, 7> kIcmpLeftColumn = {0, 1, 2, 3, 4, 5, 6};
const std::array<int, 7> kIcmpRightColumn = {13, 7, 8, 9, 10, 11, 12};

void IcmpPage::setChecked(int bit, bool on) {
    const std::uint32_t mask = 1U << bit;
    flags = on ? flags | mask : flags & ~mask;
    setModified();
}

void IcmpPage::onOpen(const ServerSettings& s) {
    flags = s.IcmpFlags & kIcmpPageBits;
}

PageApply IcmpPage::onApply(ServerApplication& app, const OptionsContext&) {
    app.settings.IcmpFlags = flags & kIcmpPageBits;
    return PageApply::Applied;
}

}  // namespace server
