#include "server/config/server_program.h"

#include "platform/config_paths.h"
#include "platform/registry_hive.h"
#include "server/config/access_lists.h"
#include "server/config/run_once.h"
#include "server/config/served_folders.h"
#include "server/config/server_front_end.h"
#include "server/engine/server_settings.h"
#include "server/engine/supervisor.h"

namespace server {

ServerProgram::ServerProgram(platform::EventLoop& loop, const platform::Clock& clock,
                             ServerDialogs& dialogs, platform::RegistryHive& hive,
                             ServerFrontEnd& frontEnd)
    : hive_(hive), frontEnd_(frontEnd), app_(loop, clock, dialogs) {
    // The lists are read afresh for every datagram.
    app_.denyListMatch = [this](const std::string& address) {
        return MatchAddressList(app_.settings.DenyList, address);
    };
    app_.allowListMatch = [this](const std::string& address) {
        return MatchAddressList(app_.settings.AllowList, address);
    };
}

bool ServerProgram::InitInstance(const std::vector<std::string>& args) {
    LoadSettings(app_.settings, hive_);
    SetProcessPriority(app_.settings);
    // Sockets need no start-up here.
    choices_ = ParseServerCommandLine(args, app_.settings);
    app_.nAddressChoice = choices_.nAddressChoice;
    app_.listenAddress = choices_.listenAddress;
    app_.transferPorts.setRange(choices_.transferPorts);
#ifdef RAVEN_INSTALL_BINDIR
    if (platform::RunningFrom(RAVEN_INSTALL_BINDIR)) {
        // An installed program's folder is no place for data: the lists go beside the settings.
        app_.settings.AccessListFolder = platform::FolderOf(hive_.path());
    }
#endif
    ConsumeRunOnce(hive_, app_.settings.Location);

    if (!app_.CreateListener()) {
        return false;
    }
    if (!app_.settings.bNoSplash) {
        frontEnd_.enableSplash();
    }
    if (!frontEnd_.createMainWindow(app_.settings.bMinimised)) {
        return false;
    }
    frontEnd_.showServedFolders(ServedFoldersText(app_.settings));
    LoadAccessLists(app_.settings);
    if (app_.settings.bUseTaskbar) {
        frontEnd_.addTrayIcon();
    }
    return true;
}

void ServerProgram::ExitInstance() {
    if (app_.settings.bUseTaskbar) {
        frontEnd_.removeTrayIcon();
    }
}

ServerProgram::~ServerProgram() {
    app_.CloseWaitDialogs();
    app_.DestroyListener();
    frontEnd_.closeAboutSheet();
    hive_.reload();
    SaveSettings(app_.settings, hive_);
    hive_.save();
}

}  // namespace server
