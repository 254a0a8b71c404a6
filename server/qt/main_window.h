#pragma once

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "server/monitor/window_layout.h"
#include "server/qt/about_sheet.h"
#include "server/qt/client_list_view.h"
#include "server/qt/new_client_alert.h"
#include "server/qt/tray_icon.h"

class QAction;
class QLabel;

namespace platform {
class RegistryHive;
}

namespace server {

class MusicPlayer;
class ServerApplication;

inline constexpr const char* kIdleStatusText = "For Help, press F1, press F12 for Music :)";

// The server's main window (CMainFrame): menu, toolbar, one-pane status bar and the client list,
// the commands behind them, the tray icon that can stand in for the window, the about sheet and
// the new-client alert.
class MainWindow final : public QMainWindow {
    Q_OBJECT

  public:
    MainWindow(ServerApplication& app, CNewView& view, platform::RegistryHive& hive);
    ~MainWindow() override;

    // The way out (Exit, the window's close button, the tray's "Close"); the front end ends the
    // program in its order. Unset: the window just closes.
    std::function<void()> onCloseRequested;

    // "Ravendock - " and the listening address, set again at every renewal of the document.
    void updateCaption();
    // Enable rules and check marks.
    void updateActions();
    void setIcmpReportAvailable(bool available);

    // Commands.
    void onStop();
    void onStart();
    void onExit();
    void onSetup();
    void onInfo();
    void onClear();
    void onUseGraphic();
    void onIcmpReport();
    void onHelp();
    void onAbout();
    void onCheckVersion();
    void onResetColumns();
    void onMusic();
    // What follows the setup sheet: the tray icon as bUseTaskbar says, then the priorities.
    void afterSetup();

    // Tray: adding hides the window; refused, bUseTaskbar goes off and the window stays.
    void addTrayIcon();
    void removeTrayIcon();
    void showFromTray();
    void closeFromTray();
    TrayIcon& tray() { return *tray_; }

    // New-client alert, through the client list's hooks.
    void showAlert(const std::string& text);
    void destroyAlert();
    NewClientAlert* alert() const { return alert_; }

    // Session end: the query clears the list into the log; the end itself registers the
    // restart and saves the rectangle.
    void sessionQuery();
    void sessionEnd();
    bool sessionEnded() const { return sessionEnded_; }
    // The program is quitting after a session query, and not through one of its own ways out.
    bool endingWithSession() const { return sessionQueried_ && !closing_; }

    WindowRect windowRect() const;
    QAction* action(const QString& name) const;
    ClientListView& listView() { return *list_; }
    AboutSheet* aboutSheet() const { return about_; }
    MusicPlayer* music() const { return music_.get(); }
    // Where Help Topics looks for the help page, first found wins.
    static QString helpPagePath();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    QAction* makeAction(const QString& name, const QString& text, const QString& prompt,
                        const QKeySequence& shortcut, void (MainWindow::*command)());
    void buildMenus();
    void buildToolBar();
    void showSetupSheet();

    ServerApplication& app_;
    CNewView& view_;
    platform::RegistryHive& hive_;
    ClientListView* list_;
    QLabel* status_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    std::unique_ptr<TrayIcon> tray_;
    QPointer<AboutSheet> about_;
    QPointer<NewClientAlert> alert_;
    std::unique_ptr<MusicPlayer> music_;
    bool icmpReportAvailable_ = false;
    bool sessionQueried_ = false;
    bool sessionEnded_ = false;
    bool closing_ = false;
};

}  // namespace server
