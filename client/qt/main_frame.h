#pragma once

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>

#include "client/client_app.h"
#include "client/client_window.h"
#include "client/ini_profile.h"
#include "client/qt/about_sheet.h"
#include "client/qt/form_panel.h"

namespace clientqt {

// The client's one window: a fixed-size frame with the menu, the transfer form and a status bar
// whose second pane is a clock. It is the program's ClientWindow; its commands go to the
// application's view, which runs every start in the same order.
class CMainFrame final : public QMainWindow, public client::ClientWindow {
    Q_OBJECT

  public:
    CMainFrame(client::CMerrowinApp& app, client::IniProfile& profile, QWidget* parent = nullptr);

    void ShowStatus(std::string_view text) override;
    void SetProgress(int position) override;
    void SetTitle(std::string_view documentTitle) override;
    void FormChanged() override;
    void TransferEnded(int code) override;
    void Close() override;

    // The commands of the buttons and menus.
    void OnFetch();
    void OnSend();
    void OnAbort();
    void OnFileSend();
    // A file to send, by its full path: from File, Send... or dropped on the window.
    void OpenDocument(const QString& path);
    void OnSetup();
    void OnRenameButtons();
    void OnHelpIndex();
    void OnAbout();
    // The program's start (which may start the automatic transfer), with the same guard as every
    // other start.
    void StartUp(const std::function<void()>& initInstance);
    // Greys Abort while no transfer runs.
    void UpdateCommands();

    FormPanel* form() { return form_; }
    QLabel* statusPane() { return statusPane_; }
    QLabel* clockPane() { return clockPane_; }
    CAbout* about() { return about_; }
    // The files dropped that wait for the running send to end.
    std::size_t pendingSends() const { return pendingSends_.size(); }

    QAction* sendAction;
    QAction* abortAction;
    QAction* exitAction;
    QAction* setupAction;
    QAction* renameAction;
    QAction* indexAction;
    QAction* aboutAction;

  signals:
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void BuildMenus();
    void BuildStatusBar();
    void RefreshClock();
    void SendNextDropped();
    bool CanStart() const;
    client::StartResult Start(const std::function<client::StartResult()>& start);

    client::CMerrowinApp& app_;
    client::IniProfile& profile_;
    FormPanel* form_;
    QLabel* statusPane_;
    QLabel* clockPane_;
    QTimer clockTimer_;
    QString timeFormat_;
    QPointer<CAbout> about_;
    std::deque<QString> pendingSends_;
    bool starting_ = false;
};

}  // namespace clientqt
