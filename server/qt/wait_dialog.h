#pragma once

#include <QDialog>
#include <functional>

#include "server/engine/server_dialogs.h"

namespace server {

// The modeless "Executive decision time ..." dialog: the server is busy; "Drop Clients" or
// "Keep Clients" (or, for a port change, wait until the clients are done).
class WaitDialog final : public QDialog {
    Q_OBJECT

  public:
    WaitDialog(WaitDialogKind kind, std::function<void()> dropClients,
               std::function<void()> keepClients, QWidget* parent = nullptr);

    WaitDialogKind kind() const { return kind_; }

  private:
    WaitDialogKind kind_;
};

}  // namespace server
