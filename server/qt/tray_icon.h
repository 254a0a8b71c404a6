#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

namespace server {

// The notification-area icon that stands in for the hidden main window: tip "Ravendock", a
// popup with "Show" and "Close", a double click as "Show".
class TrayIcon final : public QObject {
    Q_OBJECT

  public:
    TrayIcon(std::function<void()> onShow, std::function<void()> onClose,
             QObject* parent = nullptr);
    ~TrayIcon() override;

    // False when the desktop has no notification area (the icon is then not shown).
    bool add();
    void remove();
    bool shown() const { return icon_ != nullptr; }
    QSystemTrayIcon* icon() const { return icon_.get(); }
    QMenu& menu() { return menu_; }
    // What the icon's activation does; the platform calls it, so may a test.
    void activated(QSystemTrayIcon::ActivationReason reason);

  private:
    std::function<void()> onShow_;
    std::function<void()> onClose_;
    QMenu menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace server
