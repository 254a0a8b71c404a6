#pragma once

#include <QPointer>
#include <memory>

#include "server/config/server_front_end.h"
#include "server/engine/transfer_notice.h"
#include "server/monitor/client_list.h"
#include "server/monitor/icmp_monitor.h"
#include "server/monitor/icmp_report.h"
#include "server/qt/main_window.h"
#include "server/qt/splash_window.h"

namespace platform {
class RegistryHive;
}

namespace server {

class QtServerDialogs;
class ServerApplication;

// The window as the program's front end: the document (its title the listening address), the
// main window with its client list view, the splash, the tray icon and the about sheet.
class QtFrontEnd final : public ServerFrontEnd, private ViewObserver {
  public:
    QtFrontEnd(platform::RegistryHive& hive, QtServerDialogs& dialogs);
    ~QtFrontEnd() override;

    // Must be called before start-up creates the main window.
    void attach(ServerApplication& app) { app_ = &app; }
    void setSplashTimer(SplashWindow::StartTimer startTimer) {
        splashTimer_ = std::move(startTimer);
    }

    void enableSplash() override { splashEnabled_ = true; }
    bool createMainWindow(bool minimised) override;
    void addTrayIcon() override;
    void removeTrayIcon() override;
    void closeDocument() override;
    void closeAboutSheet() override;
    void showServedFolders(const std::string& text) override;

    // The view goes: the layout is saved (rectangle and widths; after a session end nothing
    // more), the alert destroyed, and the engine stops reporting to it.
    void destroyView();
    // What is left of the window, after the program's end processing.
    void destroyMainWindow();

    MainWindow* window() const { return window_.get(); }
    CNewView* view() const { return view_.get(); }
    SplashWindow* splash() const { return splash_; }
    IcmpMonitor* icmp() const { return icmp_.get(); }

  private:
    // The engine's reports, passed to the view; a renewed document also renews the caption.
    void onTransferNotice(const TransferNotice& notice) override;
    void onNewDocument() override;
    void showInitially(bool minimised);

    platform::RegistryHive& hive_;
    QtServerDialogs& dialogs_;
    ServerApplication* app_ = nullptr;
    bool splashEnabled_ = false;
    SplashWindow::StartTimer splashTimer_;
    std::unique_ptr<CNewView> view_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<IcmpMonitor> icmp_;
    QPointer<SplashWindow> splash_;
};

}  // namespace server
