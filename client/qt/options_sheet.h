#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QTabWidget>

#include "client/client_settings.h"

namespace clientqt {

// "Inbound": where fetched files go, and whether an existing one is replaced without asking.
class CIncomingPage final : public QWidget {
  public:
    CIncomingPage();
    QLineEdit* directory;
    QCheckBox* overwrite;
};

// "Outbound": where files to send are taken from, and whether remote names are shortened.
class COutgoingPage final : public QWidget {
  public:
    COutgoingPage();
    QLineEdit* directory;
    QCheckBox* truncate;
};

// "Other Options".
class COptionsPage final : public QWidget {
  public:
    COptionsPage();
    QCheckBox* sendTsize;
};

// "File Locations & Options": the three pages with OK and Cancel. The owner fills it before
// showing it and reads it back after OK.
class COptionsSheet final : public QDialog {
  public:
    explicit COptionsSheet(QWidget* parent = nullptr);

    void SetValues(const client::SetupPageValues& values);
    client::SetupPageValues Values() const;

    QTabWidget* tabs;
    CIncomingPage* incoming;
    COutgoingPage* outgoing;
    COptionsPage* options;
    QDialogButtonBox* buttons;
};

}  // namespace clientqt
