#include "server/qt/options_threads_page.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace server {

ThreadsPageWidget::ThreadsPageWidget(server::ThreadsPage& model, std::function<void()> changed,
                                     QWidget* parent)
    : OptionsPageWidget(model, std::move(changed), parent),
      model_(model),
      group_(new QButtonGroup(this)) {
    raise_ = addCheck("Raise Process Priority", model_.raisePriority);
    auto* priorities = new QGroupBox(this);
    auto* radios = new QVBoxLayout(priorities);
    for (std::size_t i = 0; i < radios_.size(); ++i) {
        radios_[i] = new QRadioButton(qs(server::kPriorityLabels[i]), priorities);
        group_->addButton(radios_[i], static_cast<int>(i));
        radios->addWidget(radios_[i]);
    }
    connect(group_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on && !loading()) {
            model_.priority = id;
            this->changed();
        }
    });
    auto* logGroup = new QGroupBox(QStringLiteral("Log to file"), this);
    logFile_ = addEdit(model_.logFile);
    (new QHBoxLayout(logGroup))->addWidget(logFile_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(raise_);
    layout->addWidget(priorities);
    layout->addWidget(logGroup);
    layout->addStretch(1);
}

void ThreadsPageWidget::fill() {
    raise_->setChecked(model_.raisePriority);
    if (model_.priority) {
        radios_[static_cast<std::size_t>(*model_.priority)]->setChecked(true);
    } else if (QAbstractButton* checked = group_->checkedButton()) {
        group_->setExclusive(false);
        checked->setChecked(false);
        group_->setExclusive(true);
    }
    logFile_->setText(qs(model_.logFile));
}

}  // namespace server
