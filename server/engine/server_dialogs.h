#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace server {

enum class MessageIcon { Information, Warning, Error };

enum class WaitDialogKind { PortChange, StopServing };

struct MultihomedAnswer {
    bool ok = false;  // false: closed without OK
    int index = 0;
    bool doNotShowAgain = false;
};

struct ServerInfo {
    std::string hostName;
    std::string hostIp;
    int adaptors = 0;
    std::string socketsVersion;
    int maxUdp = 0;
    int maxSockets = 0;
};

// Every message box and dialog the engine raises. The window implements it with real dialogs;
// the headless program prints to stderr and answers from a terminal or with the default.
class ServerDialogs {
  public:
    virtual ~ServerDialogs() = default;

    virtual void messageBox(std::string_view text, MessageIcon icon) = 0;
    // "Listening Address": the typed dotted address, or nullopt for Cancel.
    virtual std::optional<std::string> askListeningAddress() = 0;
    // "Multihomed Host - Please select Servers Host Address".
    virtual MultihomedAnswer chooseHostAddress(const std::vector<std::string>& addresses,
                                               bool doNotShowTicked) = 0;
    // Modeless "Executive decision time ..." dialog with "Drop Clients" and "Keep Clients".
    virtual void showWaitDialog(WaitDialogKind kind, std::function<void()> dropClients,
                                std::function<void()> keepClients) = 0;
    virtual void closeWaitDialog(WaitDialogKind kind) = 0;
    // "Local Server Info".
    virtual void showServerInfo(const ServerInfo& info) = 0;
};

// The texts of the two waiting dialogs.
struct WaitDialogTexts {
    std::string_view title;
    std::string_view drop;
    std::string_view keep;
    std::string_view wait;  // empty when the dialog has none
};
WaitDialogTexts waitDialogTexts(WaitDialogKind kind);

}  // namespace server
