#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "server/engine/server_dialogs.h"
#include "server/engine/server_settings.h"
#include "server/engine/supervisor.h"
#include "server/engine/transfer_notice.h"

namespace server {

class CServerSocket;

// The application object: owns the settings, the run-time values beside them and the listener,
// and is the context every transfer works in.
class ServerApplication {
  public:
    ServerApplication(platform::EventLoop& loop, const platform::Clock& clock,
                      ServerDialogs& dialogs);
    ~ServerApplication();
    ServerApplication(const ServerApplication&) = delete;
    ServerApplication& operator=(const ServerApplication&) = delete;

    ServerSettings settings;
    // Run-time values, not stored.
    bool bServing = true;
    int nAddressChoice = -1;
    // --listen: the listening address named directly; it takes the place of the address choice.
    std::optional<std::string> listenAddress;
    std::string ListenText;

    // Guards the listener's list of client threads.
    std::mutex threadListMutex;
    // Process-wide transfer id counter.
    int idCounter = 0;

    // Deny/allow list matches on the client's dotted address; none until lists are installed.
    std::function<bool(const std::string&)> denyListMatch;
    std::function<bool(const std::string&)> allowListMatch;

    platform::EventLoop& loop() { return loop_; }
    const platform::Clock& clock() const { return clock_; }
    ServerDialogs& dialogs() { return dialogs_; }
    Supervisor& supervisor() { return supervisor_; }

    void setViewObserver(ViewObserver* observer) { view_ = observer; }
    void NotifyView(const TransferNotice& notice);

    // Start-up: creates the first listener. False (after the message box) when it cannot serve.
    bool CreateListener();
    CServerSocket* listener() { return listener_.get(); }
    void DestroyListener();

    void RestartListener(bool recreate);
    void ApplyListenChange();
    void CloseWaitDialogs();
    bool waitDialogOpen() const { return portWaitDialog_ || stopWaitDialog_; }
    void StopServing();
    void StartServing();

    // Called when a listener restart failed and the program must end.
    std::function<void()> onFatalListenerFailure;

  private:
    void showWaitDialog(WaitDialogKind kind);

    platform::EventLoop& loop_;
    const platform::Clock& clock_;
    ServerDialogs& dialogs_;
    ViewObserver* view_ = nullptr;
    std::unique_ptr<CServerSocket> listener_;
    Supervisor supervisor_;
    bool portWaitDialog_ = false;
    bool stopWaitDialog_ = false;
};

inline constexpr std::string_view kUnableToInitialise =
    "Unable to initialise server operations\n\nProgram will now terminate";

}  // namespace server
