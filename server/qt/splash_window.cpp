#include "server/qt/splash_window.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace server {

SplashWindow* SplashWindow::create(const QString& picture, std::function<void()> onClosed,
                                   const StartTimer& startTimer) {
    QPixmap pixmap(picture);
    if (pixmap.isNull()) {
        return nullptr;
    }
    auto* splash = new SplashWindow(pixmap, std::move(onClosed));
    auto fire = [splash] { splash->dismiss(); };
    if (startTimer) {
        startTimer(splash, kSplashTimeoutMs, fire);
    } else {
        QTimer::singleShot(kSplashTimeoutMs, splash, fire);
    }
    return splash;
}

SplashWindow::SplashWindow(const QPixmap& picture, std::function<void()> onClosed)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(picture),
      onClosed_(std::move(onClosed)) {
    setObjectName("splash");
    setAttribute(Qt::WA_DeleteOnClose);
    setCursor(Qt::ArrowCursor);
    const QSize size = picture_.deviceIndependentSize().toSize();
    setFixedSize(size);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - QPoint(size.width() / 2, size.height() / 2));
    }
    qApp->installEventFilter(this);
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, picture_);
}

bool SplashWindow::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // Taken, so that no shortcut runs: the key press that follows closes the splash.
            event->accept();
            return true;
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonDblClick:
            dismiss();
            return true;
        default:
            return false;
    }
}

void SplashWindow::dismiss() {
    if (closing_) {
        return;
    }
    closing_ = true;
    qApp->removeEventFilter(this);
    close();
    if (onClosed_) {
        onClosed_();
    }
}

}  // namespace server
