#include "client/qt/listening_address_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "client/client_dialogs.h"
#include "client/qt/qt_text.h"

namespace clientqt {

namespace {

QLabel* paragraph(std::string_view text) {
    auto* label = new QLabel(toQString(text));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setMinimumWidth(420);
    return label;
}

}  // namespace

ListeningAddressDialog::ListeningAddressDialog(QWidget* parent)
    : QDialog(parent), address(new QLineEdit) {
    setWindowTitle(toQString(client::kListeningAddressTitle));
    address->setMaxLength(100);
    auto* field = new QFormLayout;
    field->addRow(toQString(client::kListeningAddressLabel), address);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(paragraph(client::kListeningAddressText1));
    layout->addWidget(paragraph(client::kListeningAddressText2));
    layout->addLayout(field);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace clientqt
