#pragma once

#include <QDialog>

class QLineEdit;

namespace server {

// "Listening Address": the host's address could not be found, so the user types one.
class ListeningAddressDialog final : public QDialog {
    Q_OBJECT

  public:
    explicit ListeningAddressDialog(QWidget* parent = nullptr);
    QString address() const;

  private:
    QLineEdit* address_;
};

}  // namespace server
