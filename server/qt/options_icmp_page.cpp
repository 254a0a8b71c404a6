#include "server/qt/options_icmp_page.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QVBoxLayout>

namespace server {

IcmpPageWidget::IcmpPageWidget(server::IcmpPage& model, std::function<void()> changed,
                               QWidget* parent)
    : OptionsPageWidget(model, std::move(changed), parent), model_(model) {
    for (const server::IcmpBox& entry : server::kIcmpBoxes) {
        auto* box = new QCheckBox(qs(entry.label), this);
        connect(box, &QCheckBox::toggled, this, [this, bit = entry.bit](bool on) {
            if (!loading()) {
                model_.setChecked(bit, on);
                this->changed();
            }
        });
        if (!model_.boxesEnabled()) {
            box->setToolTip(qs(kNoRawIcmpTip));
        }
        boxes_[static_cast<std::size_t>(entry.bit)] = box;
    }
    auto* grid = new QGridLayout;
    for (std::size_t row = 0; row < server::kIcmpLeftColumn.size(); ++row) {
        grid->addWidget(box(server::kIcmpLeftColumn[row]), static_cast<int>(row), 0);
        grid->addWidget(box(server::kIcmpRightColumn[row]), static_cast<int>(row), 1);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    if (!model_.boxesEnabled()) {
        setToolTip(qs(kNoRawIcmpTip));
    }
}

void IcmpPageWidget::fill() {
    for (const server::IcmpBox& entry : server::kIcmpBoxes) {
        QCheckBox* b = box(entry.bit);
        b->setChecked(model_.checked(entry.bit));
        b->setEnabled(model_.boxesEnabled());
    }
}

}  // namespace server
