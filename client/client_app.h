#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client/client_dialogs.h"
#include "client/client_messages.h"
#include "client/client_settings.h"
#include "client/client_window.h"
#include "client/command_line.h"
#include "client/ini_profile.h"
#include "client/merrowin_view.h"
#include "client/transfer_setup.h"
#include "client/transfer_socket.h"
#include "platform/clock.h"
#include "platform/event_loop.h"

namespace client {

// Often enough that a time-out ends, and a packet goes out again, well within a second of its
// due time.
inline constexpr std::chrono::milliseconds kTimeoutCheckInterval{250};

// Exit statuses of the program after an automatic transfer. The client's own TFTP codes 3, 4, 7
// and 8 are statuses of their own (its code 0, a block size from the server that cannot be used,
// gives 7).
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitServerError = 1;
inline constexpr int kExitCommandLine = 2;
inline constexpr int kExitNotCompleted = 254;  // timed out, or the request did not go out

// The exit status for a transfer's end code (-1 with serverSentError when the server's ERROR
// ended it).
int ExitStatusForEnd(int endCode, bool serverSentError);

// The application object: owns the settings and the view, runs the start-up with the command
// line and the automatic transfer, and turns the end of that transfer into the exit status.
class CMerrowinApp final : public TransferOwner {
  public:
    CMerrowinApp(platform::EventLoop& loop, const platform::Clock& clock, ClientDialogs& dialogs,
                 IniProfile& profile, LocalHost localHost);
    ~CMerrowinApp() override;
    CMerrowinApp(const CMerrowinApp&) = delete;
    CMerrowinApp& operator=(const CMerrowinApp&) = delete;

    ClientSettings settings;
    // Set once an automatic transfer has been attempted; never cleared.
    bool automatic = false;
    // The exit status (kExit... or a TFTP code).
    int exitCode = 0;
    // The command line's texts.
    std::string getPath;
    std::string putPath;
    std::string host;
    std::string remoteName;
    std::string port;
    ClientCommandLine commandLine;

    // Program start once the window exists: loads the settings, shows them in the form, reads
    // the command line and starts the automatic fetch or send it asks for.
    void InitInstance(ClientWindow& window, const std::vector<std::string>& args);
    // Program end: stores what is stored at exit and returns the exit status.
    int ExitInstance();

    // How the automatic start went; Ignored when none was attempted.
    StartResult automaticStart() const { return automaticStart_; }
    CMerrowinView& view() { return *view_; }

    void ShowStatus(std::string_view text) override;
    void OnTransferEnded(int code) override;
    // The idle-time work of the event loop: the running transfer's time-out.
    void OnIdle();

  private:
    void AutomaticFetch();
    void AutomaticSend();
    void AutomaticStart(bool sending);
    // The form values of the long options (--blksize and the like), which no one-letter switch
    // reaches.
    void FillExtensionFields(TransferForm& form) const;

    platform::EventLoop& loop_;
    IniProfile& profile_;
    LocalHost localHost_;
    TransferContext context_;
    ClientWindow* window_ = nullptr;
    std::unique_ptr<CMerrowinView> view_;
    platform::EventLoop::TimerId idleTimer_ = 0;
    StartResult automaticStart_ = StartResult::Ignored;
};

}  // namespace client
