#pragma once

#include "server/engine/server_dialogs.h"

namespace server {

// Dialogs without a window: messages go to stderr; questions are asked on the terminal when
// there is one and otherwise get the answer a closed dialog gives.
class HeadlessDialogs final : public ServerDialogs {
  public:
    void messageBox(std::string_view text, MessageIcon icon) override;
    std::optional<std::string> askListeningAddress() override;
    MultihomedAnswer chooseHostAddress(const std::vector<std::string>& addresses,
                                       bool doNotShowTicked) override;
    void showWaitDialog(WaitDialogKind kind, std::function<void()> dropClients,
                        std::function<void()> keepClients) override;
    void closeWaitDialog(WaitDialogKind kind) override;
    void showServerInfo(const ServerInfo& info) override;
};

}  // namespace server
