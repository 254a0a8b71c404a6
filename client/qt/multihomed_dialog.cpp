#include "client/qt/multihomed_dialog.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "client/qt/qt_text.h"

namespace clientqt {

MultihomedDialog::MultihomedDialog(const std::vector<std::string>& addresses, bool showAgain,
                                   QWidget* parent)
    : QDialog(parent),
      list(new QListWidget),
      showAgainBox(new QCheckBox(toQString(client::kShowAgainLabel))),
      okButton(new QPushButton("OK")) {
    setWindowTitle(toQString(client::kMultihomedTitle));
    for (const std::string& address : addresses) {
        list->addItem(toQString(address));
    }
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    // Room for six addresses; a longer list scrolls.
    list->setFixedHeight(list->sizeHintForRow(0) * 6 + 2 * list->frameWidth());
    showAgainBox->setChecked(showAgain);
    okButton->setDefault(true);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(showAgainBox);
    bottom->addStretch(1);
    bottom->addWidget(okButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addLayout(bottom);
    // Wide enough for the whole title.
    setMinimumWidth(470);

    connect(okButton, &QPushButton::clicked, this, [this] { OnOk(); });
    connect(list, &QListWidget::itemDoubleClicked, this, [this] { OnOk(); });
}

void MultihomedDialog::OnOk() {
    if (list->selectedItems().isEmpty()) {
        return;
    }
    confirmed_ = true;
    accept();
}

client::MultihomedAnswer MultihomedDialog::Answer() const {
    client::MultihomedAnswer answer;
    answer.ok = confirmed_;
    if (confirmed_) {
        answer.row = static_cast<std::size_t>(list->row(list->selectedItems().front()));
        answer.showAgain = showAgainBox->isChecked();
    }
    return answer;
}

}  // namespace clientqt
