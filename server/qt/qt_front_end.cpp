#include "server/qt/qt_front_end.h"

#include <QStatusBar>
#include <QTimer>
#include <cstdio>

#include "platform/registry_hive.h"
#include "server/engine/server_application.h"
#include "server/qt/qt_server_dialogs.h"

namespace server {

QtFrontEnd::QtFrontEnd(platform::RegistryHive& hive, QtServerDialogs& dialogs)
    : hive_(hive), dialogs_(dialogs) {}

QtFrontEnd::~QtFrontEnd() {
    destroyView();
    destroyMainWindow();
}

bool QtFrontEnd::createMainWindow(bool minimised) {
    if (app_ == nullptr) {
        return false;
    }
    view_ = std::make_unique<CNewView>(*app_, &hive_);
    window_ = std::make_unique<MainWindow>(*app_, *view_, hive_);
    window_->setFrontEnd(this);
    dialogs_.setOwner(window_.get());
    MainWindow* window = window_.get();
    view_->hooks.mainWindowMinimised = [window] { return window->isMinimized(); };
    view_->hooks.showAlert = [window](const std::string& text) { window->showAlert(text); };
    view_->hooks.destroyAlert = [window] { window->destroyAlert(); };
    view_->hooks.placeMainWindow = [window](const WindowPlacement& p) {
        window->setGeometry(p.x, p.y, p.width, p.height);
    };
    view_->hooks.listClientWidth = [window] { return window->listView().viewport()->width(); };

    if (splashEnabled_ && splash_ == nullptr) {
        splash_ = SplashWindow::create(
            ":/images/splash.png",
            [this] {
                if (window_ != nullptr) {
                    window_->repaint();
                }
            },
            splashTimer_);
        if (splash_ != nullptr) {
            splash_->show();
        }
    }

    app_->setViewObserver(this);
    view_->OnInitialUpdate();
    window_->updateCaption();
    // The ICMP report needs a raw socket; without the privilege there is none and the command
    // stays disabled.
    icmp_ = std::make_unique<IcmpMonitor>(app_->loop(), app_->settings, app_->clock());
    window_->setIcmpReport(icmp_->start() ? icmp_->report() : nullptr);
    // Shown once start-up is through, so a window that goes behind the tray icon never flashes.
    QTimer::singleShot(0, window, [this, minimised] { showInitially(minimised); });
    return true;
}

void QtFrontEnd::showServedFolders(const std::string& text) {
    std::fprintf(stderr, "ravendockd: %s\n", text.c_str());
    if (window_ == nullptr) {
        return;
    }
    // For the first moments in the status line, and for good as its tool tip.
    constexpr int kShownMs = 15000;
    const QString shown = QString::fromStdString(text);
    window_->statusBar()->showMessage(shown, kShownMs);
    window_->statusBar()->setToolTip(shown);
}

void QtFrontEnd::showInitially(bool minimised) {
    if (window_ == nullptr || window_->tray().shown()) {
        return;
    }
    if (minimised) {
        window_->showMinimized();
    } else {
        window_->show();
    }
}

void QtFrontEnd::onTransferNotice(const TransferNotice& notice) {
    view_->onTransferNotice(notice);
}

void QtFrontEnd::onNewDocument() {
    view_->OnInitialUpdate();
    if (window_ != nullptr) {
        window_->updateCaption();
        window_->updateActions();
    }
}

void QtFrontEnd::addTrayIcon() {
    if (window_ != nullptr) {
        window_->addTrayIcon();
    }
}

void QtFrontEnd::removeTrayIcon() {
    if (window_ != nullptr) {
        window_->removeTrayIcon();
    }
}

void QtFrontEnd::closeDocument() {
    if (view_ != nullptr) {
        view_->ClearClientList();
    }
}

void QtFrontEnd::closeAboutSheet() {
    if (window_ != nullptr && window_->aboutSheet() != nullptr) {
        delete window_->aboutSheet();
    }
}

void QtFrontEnd::destroyView() {
    if (view_ == nullptr) {
        return;
    }
    if (window_ != nullptr) {
        if (!window_->sessionEnded()) {
            SaveWindowLayout(hive_, window_->windowRect(), view_->columnWidths());
        }
        window_->destroyAlert();
    }
    view_->setAlertExists(false);
    if (app_ != nullptr) {
        app_->setViewObserver(nullptr);
    }
    if (window_ != nullptr) {
        window_->setIcmpReport(nullptr);  // its window goes before the report it shows
    }
    icmp_.reset();
}

void QtFrontEnd::destroyMainWindow() {
    if (splash_ != nullptr) {
        delete splash_.data();
    }
    dialogs_.setOwner(nullptr);
    if (view_ != nullptr) {
        view_->hooks = {};
    }
    window_.reset();
    view_.reset();
}

}  // namespace server
