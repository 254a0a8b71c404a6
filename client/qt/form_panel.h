#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include "client/transfer_form.h"

namespace clientqt {

// The controls of the transfer form, and the rules between them that need no engine: typing a
// local name while Match Files is ticked copies it to the remote name, typing a remote name
// clears Match Files, ticking Match Files copies the local name. Only the user's own edits and
// clicks trigger these rules, never values the program puts in.
class FormPanel final : public QWidget {
  public:
    explicit FormPanel(QWidget* parent = nullptr);

    // The controls' values into the form.
    void ReadInto(client::TransferForm& form) const;
    // The form's values into the controls. Only fields whose value changed since they were last
    // shown are touched, so what the user is typing elsewhere stays as it is.
    void Show(const client::TransferForm& form);
    // "Fetch" and "Send", or "Get" and "Put".
    void SetButtonNames(bool changeButtons);

    QLineEdit* host;
    QLineEdit* port;
    QLineEdit* timeout;
    QCheckBox* sendTimeout;
    QComboBox* blockSize;
    QLineEdit* localName;
    QLineEdit* remoteName;
    QCheckBox* binary;
    QCheckBox* matchFiles;
    QPushButton* fetchButton;
    QPushButton* sendButton;
    QPushButton* abortButton;
    QProgressBar* progress;

  private:
    client::TransferForm shown_;
    bool shownOnce_ = false;
};

}  // namespace clientqt
