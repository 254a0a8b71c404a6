#include "server/qt/tray_icon.h"

#include <QAction>

namespace server {

TrayIcon::TrayIcon(std::function<void()> onShow, std::function<void()> onClose, QObject* parent)
    : QObject(parent), onShow_(std::move(onShow)), onClose_(std::move(onClose)) {
    menu_.setObjectName("trayMenu");
    QAction* show = menu_.addAction("Show");
    show->setObjectName("trayShow");
    show->setStatusTip("Show server window");
    QAction* close = menu_.addAction("Close");
    close->setObjectName("trayClose");
    close->setStatusTip("Shut server down");
    // Queued: either may end with this icon removed.
    connect(
        show, &QAction::triggered, this, [this] { onShow_(); }, Qt::QueuedConnection);
    connect(
        close, &QAction::triggered, this, [this] { onClose_(); }, Qt::QueuedConnection);
}

TrayIcon::~TrayIcon() = default;

bool TrayIcon::add() {
    if (icon_ != nullptr) {
        return true;
    }
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    // The icon is loaded when it is added and goes when it is removed.
    icon_ = std::make_unique<QSystemTrayIcon>(QIcon(":/icons/ravendockd.svg"));
    icon_->setToolTip("Ravendock");
    icon_->setContextMenu(&menu_);
    connect(icon_.get(), &QSystemTrayIcon::activated, this, &TrayIcon::activated);
    icon_->show();
    return true;
}

void TrayIcon::remove() {
    if (icon_ != nullptr) {
        icon_->hide();
        icon_.reset();
    }
}

void TrayIcon::activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) {
        onShow_();
    }
}

}  // namespace server
