#pragma once

#include <QDialog>

#include "server/engine/server_dialogs.h"

namespace server {

// "Local Server Info": the listener's host name, address, address count and socket limits.
class ServerInfoDialog final : public QDialog {
    Q_OBJECT

  public:
    explicit ServerInfoDialog(const ServerInfo& info, QWidget* parent = nullptr);
};

}  // namespace server
