#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "client/client_messages.h"
#include "client/client_window.h"
#include "client/ini_profile.h"
#include "client/transfer_form.h"
#include "client/transfer_socket.h"

namespace client {

// What one start asks for, beyond the form.
struct StartRequest {
    bool sending = false;
    // A send of a file named by its full path: its folder (with the separator) and name.
    bool pathGiven = false;
    std::string directory;
    std::string fileName;
    // Fills the form with the caller's own values, once the start is not ignored.
    std::function<void(TransferForm&)> fillForm;
    // Runs after the checks passed, just before the request.
    std::function<void()> beforeStart;
};

enum class StartResult {
    Ignored,     // a transfer is active
    Refused,     // the local socket or a check of the form stopped it (after its messages)
    NotStarted,  // the request did not go out
    Started,
};

// The form view without its widgets: the transfer form, the current transfer, the start order
// every transfer follows, and what the window shows of the engine's notices (progress scale,
// block size, title).
class CMerrowinView final : public TransferViewObserver {
  public:
    CMerrowinView(TransferContext& context, IniProfile& profile, ClientWindow& window);

    TransferForm form;
    PreparedTransfer prepared;
    std::string documentTitle = "Welcome to ";

    // The form shows the stored values.
    void InitialUpdate(const ClientSettings& settings);

    StartResult OnFetch();
    StartResult OnSend();
    // File, Send... and files dropped on the window.
    StartResult SendGivenFile(std::string_view path);
    StartResult StartTransfer(const StartRequest& request);
    void OnAbort();

    bool TransferActive() const { return transfer_ && transfer_->active(); }
    CTransferSocket* transfer() { return transfer_.get(); }
    void CheckTimeout();

    void OnTransferNotice(const TransferNotice& notice) override;

  private:
    TransferContext& context_;
    IniProfile& profile_;
    ClientWindow& window_;
    std::unique_ptr<CTransferSocket> transfer_;
    std::uint64_t progressScale_ = 1;
};

}  // namespace client
