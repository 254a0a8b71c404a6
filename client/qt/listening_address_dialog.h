#pragma once

#include <QDialog>
#include <QLineEdit>

namespace clientqt {

// "Listening Address": the local address typed by hand when the host's own could not be found.
class ListeningAddressDialog final : public QDialog {
  public:
    explicit ListeningAddressDialog(QWidget* parent = nullptr);

    QLineEdit* address;
};

}  // namespace clientqt
