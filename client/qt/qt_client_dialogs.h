#pragma once

#include <QPointer>
#include <QWidget>

#include "client/client_dialogs.h"

namespace clientqt {

// The client's message boxes and set-up dialogs as modal Qt dialogs over the main window. The
// engine's loop keeps running in their nested loops, so a transfer goes on while one is open.
class QtClientDialogs final : public client::ClientDialogs {
  public:
    // The window the dialogs are centred on; none before it exists.
    void SetParentWidget(QWidget* parent) { parent_ = parent; }

    void MessageBox(std::string_view text, std::string_view caption) override;
    bool AskYesNo(std::string_view text) override;
    client::MultihomedAnswer ChooseLocalAddress(const std::vector<std::string>& addresses,
                                                bool showAgain) override;
    std::optional<std::string> AskLocalAddress() override;

  private:
    QPointer<QWidget> parent_;
};

}  // namespace clientqt
