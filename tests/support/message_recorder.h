#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/engine/server_dialogs.h"

namespace testsupport {

// Dialogs for code that only ever raises message boxes: each is recorded, every question gets
// the answer of a dialog closed without OK.
class MessageRecorder final : public server::ServerDialogs {
  public:
    void messageBox(std::string_view text, server::MessageIcon icon) override {
        messages.emplace_back(text);
        icons.push_back(icon);
    }
    std::optional<std::string> askListeningAddress() override { return std::nullopt; }
    server::MultihomedAnswer chooseHostAddress(const std::vector<std::string>&, bool) override {
        return {};
    }
    void showWaitDialog(server::WaitDialogKind, std::function<void()>,
                        std::function<void()>) override {}
    void closeWaitDialog(server::WaitDialogKind) override {}
    void showServerInfo(const server::ServerInfo&) override {}

    std::vector<std::string> messages;
    std::vector<server::MessageIcon> icons;
};

}  // namespace testsupport
