#include "server/qt/options_page_widget.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "server/config/options_pages.h"

namespace server {

OptionsPageWidget::OptionsPageWidget(server::OptionsPageBase& model, std::function<void()> changed,
                                     QWidget* parent)
    : QWidget(parent), model_(model), changed_(std::move(changed)) {}

void OptionsPageWidget::load() {
    loading_ = true;
    fill();
    loading_ = false;
}

void OptionsPageWidget::changed() {
    if (loading_) {
        return;
    }
    model_.setModified();
    changed_();
}

QCheckBox* OptionsPageWidget::addCheck(std::string_view label, bool& field) {
    auto* box = new QCheckBox(qs(label), this);
    connect(box, &QCheckBox::toggled, this, [this, &field](bool on) {
        if (!loading_) {
            field = on;
            changed();
        }
    });
    return box;
}

QLineEdit* OptionsPageWidget::addEdit(std::string& field, bool digitsOnly) {
    auto* edit = new QLineEdit(this);
    if (digitsOnly) {
        edit->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    }
    connect(edit, &QLineEdit::textEdited, this, [this, &field](const QString& text) {
        field = text.toStdString();
        changed();
    });
    return edit;
}

}  // namespace server
