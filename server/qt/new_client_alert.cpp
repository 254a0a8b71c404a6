#include "server/qt/new_client_alert.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPushButton>
#include <QVBoxLayout>

namespace server {

NewClientAlert::NewClientAlert()
    : QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint),
      text_(new QLineEdit(this)),
      movie_(new QMovie(":/images/alert.gif", {}, this)) {
    setWindowTitle(kAlertTitle);
    setObjectName("newClientAlert");
    setModal(false);
    QPalette magenta = palette();
    magenta.setColor(QPalette::Window, QColor(255, 0, 255));
    setPalette(magenta);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    auto* animation = new QLabel(this);
    animation->setObjectName("animation");
    animation->setAlignment(Qt::AlignCenter);
    animation->setMovie(movie_);
    movie_->setCacheMode(QMovie::CacheAll);
    // The clip loops for ever; a clip that cannot be read leaves the label empty.
    connect(movie_, &QMovie::finished, movie_, &QMovie::start);
    layout->addWidget(animation);
    text_->setObjectName("clientText");
    text_->setReadOnly(true);
    text_->setAlignment(Qt::AlignCenter);
    text_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(text_);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("ok");
    ok->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(ok, &QPushButton::clicked, this, &QWidget::hide);
    layout->addWidget(ok);
    installEventFilter(this);
    text_->installEventFilter(this);
    animation->installEventFilter(this);
    setFixedWidth(460);
    if (movie_->isValid()) {
        movie_->start();
    }
}

void NewClientAlert::showClient(const QString& text) {
    text_->setText(text);
    showNormal();
    raise();
}

QString NewClientAlert::clientText() const {
    return text_->text();
}

bool NewClientAlert::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::NonClientAreaMouseButtonPress:
            hide();
            return true;
        default:
            return QDialog::eventFilter(watched, event);
    }
}

void NewClientAlert::keyPressEvent(QKeyEvent*) {
    hide();
}

void NewClientAlert::mousePressEvent(QMouseEvent*) {
    hide();
}

}  // namespace server
