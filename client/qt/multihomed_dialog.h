#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <string>
#include <vector>

#include "client/client_dialogs.h"

namespace clientqt {

// "Multihomed Host - Please select Clients Host Address": the host's addresses, the box "Show
// this dialog again" and an OK button that does nothing until a row is selected. There is no
// Cancel: closing it any other way leaves the answer's ok false, and the first address is used.
class MultihomedDialog final : public QDialog {
  public:
    MultihomedDialog(const std::vector<std::string>& addresses, bool showAgain,
                     QWidget* parent = nullptr);

    client::MultihomedAnswer Answer() const;

    QListWidget* list;
    QCheckBox* showAgainBox;
    QPushButton* okButton;

  private:
    void OnOk();

    bool confirmed_ = false;
};

}  // namespace clientqt
