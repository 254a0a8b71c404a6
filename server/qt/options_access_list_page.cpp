#include "server/qt/options_access_list_page.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "server/engine/server_dialogs.h"

namespace server {

AccessListPageWidget::AccessListPageWidget(server::AccessListPage& model,
                                           server::ServerDialogs& dialogs,
                                           std::function<void()> changed, QWidget* parent)
    : OptionsPageWidget(model, std::move(changed), parent),
      model_(model),
      dialogs_(dialogs),
      list_(new QListWidget(this)),
      add_(new QPushButton(QStringLiteral("Add"), this)),
      remove_(new QPushButton(QStringLiteral("Remove"), this)),
      check_(new QCheckBox(qs(model.editor().checkBoxText()), this)) {
    auto* entry = new QHBoxLayout;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (i > 0) {
            entry->addWidget(new QLabel(QStringLiteral("."), this));
        }
        fields_[i] = new QLineEdit(this);
        fields_[i]->setValidator(new QIntValidator(0, 255, fields_[i]));
        fields_[i]->setMaxLength(3);
        fields_[i]->setMaximumWidth(48);
        fields_[i]->setAlignment(Qt::AlignCenter);
        entry->addWidget(fields_[i]);
    }
    entry->addSpacing(12);
    entry->addWidget(add_);
    entry->addWidget(remove_);
    entry->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(entry);
    layout->addWidget(check_);

    connect(add_, &QPushButton::clicked, this, [this] { add(); });
    connect(remove_, &QPushButton::clicked, this, [this] {
        const int row = list_->currentRow();
        if (row >= 0 && model_.remove(static_cast<std::size_t>(row))) {
            delete list_->takeItem(row);
            this->changed();
        }
    });
    connect(check_, &QCheckBox::toggled, this, [this](bool on) {
        if (!loading()) {
            model_.setChecked(on);
            this->changed();
        }
    });
}

void AccessListPageWidget::fill() {
    list_->clear();
    for (const std::string& row : model_.editor().rows()) {
        list_->addItem(qs(row));
    }
    check_->setChecked(model_.editor().checked());
}

void AccessListPageWidget::add() {
    server::AddressFields fields;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const QString text = fields_[i]->text().trimmed();
        if (!text.isEmpty()) {
            fields[i] = text.toInt();
        }
    }
    const server::AddResult result = model_.add(fields);
    if (!result.message.empty()) {
        dialogs_.messageBox(result.message, server::MessageIcon::Information);
    }
    if (result.added) {
        list_->addItem(qs(model_.editor().rows().back()));
        changed();
    }
}

}  // namespace server
