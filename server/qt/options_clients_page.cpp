#include "server/qt/options_clients_page.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QPainter>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QVBoxLayout>

namespace server {

namespace {

// The scale under a slider: each label centred under the tick of its position.
class SliderScaleLabels final : public QWidget {
  public:
    SliderScaleLabels(QSlider* slider, const server::SliderScale& scale, QWidget* parent)
        : QWidget(parent), slider_(slider), scale_(scale) {
        setMinimumHeight(fontMetrics().height() + 2);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QStyleOptionSlider option;
        option.initFrom(slider_);
        option.orientation = Qt::Horizontal;
        option.minimum = slider_->minimum();
        option.maximum = slider_->maximum();
        const QRect handle = slider_->style()->subControlRect(QStyle::CC_Slider, &option,
                                                              QStyle::SC_SliderHandle, slider_);
        const int span = slider_->width() - handle.width();
        const int offset = slider_->x() - x() + handle.width() / 2;
        QPainter painter(this);
        for (int i = 0; i < scale_.positions; ++i) {
            const int centre =
                offset + QStyle::sliderPositionFromValue(option.minimum, option.maximum, i, span);
            const QString text = qs(scale_.ticks[static_cast<std::size_t>(i)]);
            const int width = fontMetrics().horizontalAdvance(text);
            painter.drawText(QRect(centre - width, 0, 2 * width, height()), Qt::AlignCenter, text);
        }
    }

  private:
    QSlider* slider_;
    const server::SliderScale& scale_;
};

// A group titled with the slider's label: the slider over its scale labels, one per position.
QSlider* addSlider(QWidget* page, QVBoxLayout* layout, const server::SliderScale& scale) {
    auto* group = new QGroupBox(qs(scale.label), page);
    auto* column = new QVBoxLayout(group);
    auto* slider = new QSlider(Qt::Horizontal, group);
    slider->setRange(0, scale.positions - 1);
    slider->setPageStep(1);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);
    // Inset, so that the end labels have room beside the slider's ends.
    auto* inset = new QHBoxLayout;
    inset->setContentsMargins(12, 0, 12, 0);
    inset->addWidget(slider);
    column->addLayout(inset);
    column->addWidget(new SliderScaleLabels(slider, scale, group));
    layout->addWidget(group);
    return slider;
}

}  // namespace

ClientsPageWidget::ClientsPageWidget(server::ClientsPage& model, std::function<void()> changed,
                                     QWidget* parent)
    : OptionsPageWidget(model, std::move(changed), parent), model_(model) {
    auto* layout = new QVBoxLayout(this);
    client_ = addSlider(this, layout, server::kClientLimitScale);
    display_ = addSlider(this, layout, server::kDisplayLimitScale);
    layout->addStretch(1);
    connect(client_, &QSlider::valueChanged, this, [this] { moved(); });
    connect(display_, &QSlider::valueChanged, this, [this] { moved(); });
}

void ClientsPageWidget::moved() {
    if (loading()) {
        return;
    }
    const bool was = model_.modified();
    model_.setPositions(client_->value(), display_->value());
    if (model_.modified() && !was) {
        changed();
    }
}

void ClientsPageWidget::fill() {
    client_->setValue(model_.clientPosition());
    display_->setValue(model_.displayPosition());
}

}  // namespace server
