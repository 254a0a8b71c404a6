#include "server/qt/multihomed_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

namespace server {

MultihomedDialog::MultihomedDialog(const std::vector<std::string>& addresses, bool doNotShowTicked,
                                   QWidget* parent)
    : QDialog(parent),
      list_(new QListWidget(this)),
      doNotShow_(new QCheckBox("Do not show this box again", this)) {
    setWindowTitle("Multihomed Host - Please select Servers Host Address");
    setObjectName("multihomedDialog");
    auto* layout = new QVBoxLayout(this);
    for (const std::string& address : addresses) {
        list_->addItem(QString::fromStdString(address));
    }
    list_->setObjectName("addresses");
    doNotShow_->setObjectName("doNotShow");
    doNotShow_->setChecked(doNotShowTicked);
    layout->addWidget(list_);
    layout->addWidget(doNotShow_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(520);
}

int MultihomedDialog::selectedIndex() const {
    const int row = list_->currentRow();
    return row < 0 || list_->selectedItems().isEmpty() ? 0 : row;
}

bool MultihomedDialog::doNotShowAgain() const {
    return doNotShow_->isChecked();
}

}  // namespace server
