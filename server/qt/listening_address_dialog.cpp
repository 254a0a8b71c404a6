#include "server/qt/listening_address_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace server {

ListeningAddressDialog::ListeningAddressDialog(QWidget* parent)
    : QDialog(parent), address_(new QLineEdit(this)) {
    setWindowTitle("Listening Address");
    setObjectName("listeningAddressDialog");
    auto* layout = new QVBoxLayout(this);
    auto* why = new QLabel(
        "Because either your local host name or I.P. address could not be determined "
        "automatically you now have the chance to enter the I.P. manually.\nThe I.P Address "
        "should be entered in dotted decimal format, i.e. 192.168.0.20",
        this);
    auto* warning = new QLabel(
        "It should be noted that specifying an unusable address will prevent the server from "
        "operating, you must specify an address that your system recognises, simply entering "
        "any number that comes to mind does not usually work !",
        this);
    why->setWordWrap(true);
    warning->setWordWrap(true);
    layout->addWidget(why);
    layout->addWidget(warning);
    auto* form = new QFormLayout;
    address_->setObjectName("address");
    form->addRow("Server I.P. Address", address_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(440);
}

QString ListeningAddressDialog::address() const {
    return address_->text().trimmed();
}

}  // namespace server
