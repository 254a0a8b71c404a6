#include "server/qt/options_other_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace server {

OtherPageWidget::OtherPageWidget(server::OtherPage& model, std::function<void()> changed,
                                 QWidget* parent)
    : OptionsPageWidget(model, std::move(changed), parent), model_(model) {
    auto* portGroup = new QGroupBox(QStringLiteral("Use Port"), this);
    port_ = addEdit(model_.port, true);
    (new QHBoxLayout(portGroup))->addWidget(port_);
    auto* timeoutGroup = new QGroupBox(QStringLiteral("Timeout"), this);
    timeout_ = addEdit(model_.timeout, true);
    (new QHBoxLayout(timeoutGroup))->addWidget(timeout_);
    auto* fields = new QHBoxLayout;
    fields->addWidget(portGroup);
    fields->addWidget(timeoutGroup);
    fields->addStretch(1);

    skipRetry_ = addCheck("Skip Retry", model_.skipRetry);
    multihomed_ = addCheck("Do not show multihomed request box", model_.noMultihomedBox);
    alertMinimised_ = addCheck("Show alert box when minimised", model_.alertMinimised);
    allowTsize_ = addCheck("Allow tSize option request", model_.allowTsize);
    allowTimeout_ = addCheck("Allow timeout option request", model_.allowTimeout);
    noSplash_ = addCheck("Disable splash at startup", model_.noSplash);
    minimised_ = new QCheckBox(QStringLiteral("Minimize at startup"), this);
    noOutbound_ = addCheck("No Outbound", model_.noOutbound);
    noIncoming_ = addCheck("No Incoming", model_.noIncoming);
    useTaskbar_ = addCheck("Use Taskbar", model_.useTaskbar);
    preventRestart_ = addCheck("Prevent AutoRe-Start", model_.preventRestart);
    connect(minimised_, &QCheckBox::toggled, this, [this](bool on) {
        if (loading()) {
            return;
        }
        model_.setMinimised(on);
        noSplash_->setChecked(model_.noSplash);
        noSplash_->setEnabled(model_.noSplashEnabled());
        this->changed();
    });

    auto* boxes = new QGridLayout;
    QCheckBox* const left[] = {skipRetry_,  multihomed_,   alertMinimised_,
                               allowTsize_, allowTimeout_, noSplash_};
    QCheckBox* const right[] = {minimised_, noOutbound_, noIncoming_, useTaskbar_, preventRestart_};
    int row = 0;
    for (QCheckBox* box : left) {
        boxes->addWidget(box, row++, 0);
    }
    row = 0;
    for (QCheckBox* box : right) {
        boxes->addWidget(box, row++, 1);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addLayout(boxes);
    layout->addStretch(1);
}

void OtherPageWidget::fill() {
    port_->setText(qs(model_.port));
    timeout_->setText(qs(model_.timeout));
    skipRetry_->setChecked(model_.skipRetry);
    multihomed_->setChecked(model_.noMultihomedBox);
    multihomed_->setEnabled(model_.multihomedBoxEnabled());
    alertMinimised_->setChecked(model_.alertMinimised);
    allowTsize_->setChecked(model_.allowTsize);
    allowTimeout_->setChecked(model_.allowTimeout);
    noSplash_->setChecked(model_.noSplash);
    noSplash_->setEnabled(model_.noSplashEnabled());
    minimised_->setChecked(model_.minimised);
    noOutbound_->setChecked(model_.noOutbound);
    noIncoming_->setChecked(model_.noIncoming);
    useTaskbar_->setChecked(model_.useTaskbar);
    preventRestart_->setChecked(model_.preventRestart);
}

}  // namespace server
