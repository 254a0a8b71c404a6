#include "server/monitor/version_check.h"

#include <optional>

#include "platform/config_paths.h"
#include "platform/registry_hive.h"
#include "server/config/run_once.h"
#include "server/engine/server_settings.h"
#include "server/services/version/version_page.h"

namespace server {

VersionServer ReadVersionServer(const platform::RegistryHive& hive) {
    VersionServer server;
    auto host = hive.readString(kSettingsKey, kVersionHostValue);
    server.host = host && !host->empty() ? *host : std::string(kDefaultVersionHost);
    std::optional<std::uint32_t> port = hive.readDword(kSettingsKey, kVersionPortValue);
    if (!port) {
        if (auto text = hive.readString(kSettingsKey, kVersionPortValue)) {
            port = leadingNumber(*text);
        }
    }
    if (port && *port > 0 && *port <= 65535) {
        server.port = static_cast<std::uint16_t>(*port);
    }
    return server;
}

VersionCheckDialog::VersionCheckDialog(platform::EventLoop& loop, const ServerSettings& settings,
                                       platform::RegistryHive& hive, VersionCheckView& view)
    : loop_(loop), settings_(settings), hive_(hive), view_(view) {}

VersionCheckDialog::~VersionCheckDialog() {
    *alive_ = false;
}

std::string VersionCheckDialog::downloadPath() const {
    return platform::FolderOf(settings_.Location) + std::string(kDownloadName);
}

bool VersionCheckDialog::checkVersionCommand() {
    const std::shared_ptr<bool> alive = alive_;
    if (!view_.askYesNo(kConnectedQuestion, true) || !*alive) {
        return false;
    }
    start();
    return true;
}

void VersionCheckDialog::start() {
    connect(VersionSocket::Mode::Page);
}

bool VersionCheckDialog::download() {
    if (!downloadEnabled_) {
        return false;
    }
    const std::shared_ptr<bool> alive = alive_;
    downloadEnabled_ = false;
    view_.setDownloadEnabled(false);
    if (*alive) {
        connect(VersionSocket::Mode::Download);
    }
    return true;
}

void VersionCheckDialog::close() {
    socket_.reset();
}

void VersionCheckDialog::connect(VersionSocket::Mode mode) {
    // Destroying the previous socket is safe even from inside its own event.
    socket_.reset();
    succeeded_ = false;
    VersionSocketOwner& owner = *this;
    socket_ = std::make_unique<VersionSocket>(loop_, owner, mode);
    if (mode == VersionSocket::Mode::Download) {
        socket_->setDownload(downloadRequest_, expectedSize_, downloadPath());
    }
    VersionServer server = ReadVersionServer(hive_);
    socket_->connect(std::move(server.host), server.port);
}

void VersionCheckDialog::onVersionEvent(VersionSocket& socket, VersionEvent kind,
                                        const std::string& text) {
    if (&socket != socket_.get()) {
        return;
    }
    switch (kind) {
        case VersionEvent::Progress:
        case VersionEvent::Error:
            view_.addLine(text);
            break;
        case VersionEvent::PageRead:
            succeeded_ = true;
            downloadRequest_ = socket.requestLine();
            expectedSize_ = socket.expectedSize();
            if (VersionValue(kRunningVersion) < VersionValue(socket.currentVersion())) {
                downloadEnabled_ = true;
                view_.setDownloadEnabled(true);
            }
            break;
        case VersionEvent::DownloadComplete: {
            succeeded_ = true;
            const std::shared_ptr<bool> alive = alive_;
            view_.addLine(text);
            if (*alive) {
                installPrompt();
            }
            break;
        }
    }
}

void VersionCheckDialog::installPrompt() {
    const std::shared_ptr<bool> alive = alive_;
    // No answer means no: registering a program to run is not done by default.
    const bool install = view_.askYesNo(kInstallQuestion, false);
    if (!*alive) {
        return;
    }
    if (install) {
        RegisterRunOnce(settings_, hive_, downloadPath());
        view_.messageBox(kCloseToInstall);
        return;
    }
    const std::string text = "The latest version is called Ulverstock.exe and\nis located at " +
                             platform::FolderOf(settings_.Location);
    view_.messageBox(text);
}

void VersionCheckDialog::onVersionSocketEnded(VersionSocket& socket) {
    if (&socket != socket_.get()) {
        return;
    }
    view_.finished(succeeded_);
}

}  // namespace server
