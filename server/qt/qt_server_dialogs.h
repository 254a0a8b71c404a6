#pragma once

#include <QPointer>
#include <QWidget>

#include "server/engine/server_dialogs.h"
#include "server/qt/wait_dialog.h"

namespace server {

// The engine's message boxes and dialogs as Qt windows. Modal ones run a nested event loop in
// which transfers go on; the two waiting dialogs are modeless.
class QtServerDialogs final : public ServerDialogs {
  public:
    // The main window, once it exists; dialogs before it have no owner.
    void setOwner(QWidget* owner) { owner_ = owner; }

    void messageBox(std::string_view text, MessageIcon icon) override;
    std::optional<std::string> askListeningAddress() override;
    MultihomedAnswer chooseHostAddress(const std::vector<std::string>& addresses,
                                       bool doNotShowTicked) override;
    void showWaitDialog(WaitDialogKind kind, std::function<void()> dropClients,
                        std::function<void()> keepClients) override;
    void closeWaitDialog(WaitDialogKind kind) override;
    void showServerInfo(const ServerInfo& info) override;

    WaitDialog* waitDialog(WaitDialogKind kind) const;

  private:
    QPointer<QWidget> owner_;
    QPointer<WaitDialog> portWait_;
    QPointer<WaitDialog> stopWait_;
};

}  // namespace server
