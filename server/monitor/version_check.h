#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "server/services/version/version_socket.h"

namespace platform {
class EventLoop;
class RegistryHive;
}  // namespace platform

namespace server {

struct ServerSettings;

inline constexpr std::string_view kVersionCheckTitle = "Version Check";
inline constexpr std::string_view kConnectedQuestion = "Are you connected to the Internet ?";
inline constexpr std::string_view kInstallQuestion = "Do you want to install the new version now ?";
inline constexpr std::string_view kCloseToInstall =
    "Please close Tollerby and then close Windows to install the new software";
inline constexpr std::string_view kDownloadName = "Ulverstock.exe";

// Where the version server is found: values of the program's key (kSettingsKey).
//   "VersionHost"  text, host name or dotted IPv4 address; default kDefaultVersionHost
//   "VersionPort"  number (dword, or text read by its leading digits); default 80, also for 0
//                  or anything above 65535
inline constexpr std::string_view kVersionHostValue = "VersionHost";
inline constexpr std::string_view kVersionPortValue = "VersionPort";
inline constexpr std::string_view kDefaultVersionHost = "www.quenmarsh.com";
inline constexpr std::uint16_t kDefaultVersionPort = 80;

struct VersionServer {
    std::string host;
    std::uint16_t port = kDefaultVersionPort;
};
VersionServer ReadVersionServer(const platform::RegistryHive& hive);

// What the "Version Check" dialog shows and asks. A window implements it with the dialog and
// message boxes; the headless program prints and answers from the terminal. Called on the main
// thread, synchronously.
class VersionCheckView {
  public:
    virtual ~VersionCheckView() = default;
    // One line of "Progress Messages".
    virtual void addLine(std::string_view text) = 0;
    // The "Download" button; disabled when the dialog opens.
    virtual void setDownloadEnabled(bool enabled) = 0;
    // A Yes/No message box with the question icon; defaultAnswer is for a view that cannot ask.
    virtual bool askYesNo(std::string_view question, bool defaultAnswer) = 0;
    // A message box with an OK button.
    virtual void messageBox(std::string_view text) = 0;
    // The current exchange is over. completed: the page named a version (check) or the file
    // arrived at the announced length and the install prompt was answered (download). The
    // dialog stays open: "Download" may start another exchange.
    virtual void finished(bool completed) = 0;
};

// The "Version Check" dialog without its window: asks the version server for the current
// version, offers the download when it is newer than kRunningVersion, fetches it as
// kDownloadName into the program's folder and, when the user agrees, registers it to run once
// at the next logon. One VersionSocket per exchange.
//
// Its methods may be called from inside view callbacks; do not destroy it from one (post that).
class VersionCheckDialog final : private VersionSocketOwner {
  public:
    // All four must outlive the dialog. The settings give Location and bPreventRestart; the
    // hive gives the version server and receives the run-once registration.
    VersionCheckDialog(platform::EventLoop& loop, const ServerSettings& settings,
                       platform::RegistryHive& hive, VersionCheckView& view);
    // Closes the dialog's connection (and a download file).
    ~VersionCheckDialog() override;
    VersionCheckDialog(const VersionCheckDialog&) = delete;
    VersionCheckDialog& operator=(const VersionCheckDialog&) = delete;

    // The "Check Version ..." command: asks kConnectedQuestion (default Yes) and on Yes starts
    // the check. True when it started.
    bool checkVersionCommand();
    // The dialog opens: the page exchange starts.
    void start();
    // "Download": a fresh connection fetches the file; the button is disabled. Refused (false)
    // while the button is disabled.
    bool download();
    // "Cancel" or closing the window: the connection (and a download file) close; the view is
    // told nothing more.
    void close();

    bool downloadEnabled() const { return downloadEnabled_; }
    bool busy() const { return socket_ != nullptr && !socket_->ended(); }
    // The download request line and size taken from the page, empty and 0 before.
    const std::string& downloadRequest() const { return downloadRequest_; }
    std::uint32_t expectedSize() const { return expectedSize_; }
    // The program's folder followed by kDownloadName.
    std::string downloadPath() const;

  private:
    void onVersionEvent(VersionSocket& socket, VersionEvent kind, const std::string& text) override;
    void onVersionSocketEnded(VersionSocket& socket) override;
    void connect(VersionSocket::Mode mode);
    void installPrompt();

    platform::EventLoop& loop_;
    const ServerSettings& settings_;
    platform::RegistryHive& hive_;
    VersionCheckView& view_;
    std::unique_ptr<VersionSocket> socket_;
    std::string downloadRequest_;
    std::uint32_t expectedSize_ = 0;
    bool downloadEnabled_ = false;
    // The current exchange reached its goal (page read, or download prompt shown).
    bool succeeded_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace server
