#include "server/qt/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenuBar>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>
#include <QWhatsThis>

#include "platform/registry_hive.h"
#include "server/config/options_sheet.h"
#include "server/config/run_once.h"
#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"
#include "server/qt/icmp_report_window.h"
#include "server/qt/options_sheet_dialog.h"
#include "server/qt/version_check_dialog.h"
#include "server/services/music/music_player.h"

namespace server {

namespace {

// A prompt is the status-bar text, then after "\n" the tool tip.
void setPrompt(QAction* action, const QString& prompt) {
    const qsizetype newline = prompt.indexOf('\n');
    action->setStatusTip(newline < 0 ? prompt : prompt.left(newline));
    if (newline >= 0 && newline + 1 < prompt.size()) {
        action->setToolTip(prompt.mid(newline + 1));
    }
}

}  // namespace

MainWindow::MainWindow(ServerApplication& app, CNewView& view, platform::RegistryHive& hive)
    : app_(app), view_(view), hive_(hive), list_(new ClientListView(view, this)) {
    setObjectName("mainWindow");
    setWindowIcon(QIcon(":/icons/ravendockd.svg"));
    setCentralWidget(list_);
    tray_ = std::make_unique<TrayIcon>([this] { showFromTray(); }, [this] { closeFromTray(); });
    buildMenus();
    buildToolBar();
    // One pane: the idle text, or the prompt of what is highlighted.
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (message.isEmpty()) {
            statusBar()->showMessage(kIdleStatusText);
        }
    });
    statusBar()->showMessage(kIdleStatusText);
    resize(760, 360);
    updateCaption();
    updateActions();
}

MainWindow::~MainWindow() {
    delete alert_.data();
}

QAction* MainWindow::makeAction(const QString& name, const QString& text, const QString& prompt,
                                const QKeySequence& shortcut, void (MainWindow::*command)()) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    setPrompt(action, prompt);
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::ApplicationShortcut);
    }
    if (command != nullptr) {
        connect(action, &QAction::triggered, this, [this, command] {
            (this->*command)();
            updateActions();
        });
    }
    return action;
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(makeAction("stop", "&Stop Serving\tCtrl+S",
                               "Stops the server responding to clients\nSwitch Off",
                               QKeySequence("Ctrl+S"), &MainWindow::onStop));
    file->addAction(makeAction("start", "S&tart Serving\tCtrl+G",
                               "Starts the server serving clients\nSwitch On",
                               QKeySequence("Ctrl+G"), &MainWindow::onStart));
    file->addSeparator();
    file->addAction(makeAction("exit", "E&xit\tAlt+F4", "Quit the Server\nExit",
                               QKeySequence("Alt+F4"), &MainWindow::onExit));

    QMenu* system = menuBar()->addMenu("System");
    system->addAction(makeAction("setup", "Set&up\tCtrl+U", "Setup server parameters",
                                 QKeySequence("Ctrl+U"), &MainWindow::onSetup));
    system->addAction(
        makeAction("info", "&Info", "Local Server Information", {}, &MainWindow::onInfo));

    QMenu* viewMenu = menuBar()->addMenu("&View");
    QAction* toolBarAction =
        makeAction("toolbar", "&Toolbar", "Show or hide the toolbar\nToggle ToolBar", {}, nullptr);
    QAction* statusBarAction = makeAction(
        "statusBar", "&Status Bar", "Show or hide the status bar\nToggle StatusBar", {}, nullptr);
    for (QAction* bar : {toolBarAction, statusBarAction}) {
        bar->setCheckable(true);
        bar->setChecked(true);
        viewMenu->addAction(bar);
    }
    connect(toolBarAction, &QAction::toggled, this, [this](bool on) { toolBar_->setVisible(on); });
    connect(statusBarAction, &QAction::toggled, this,
            [this](bool on) { statusBar()->setVisible(on); });
    viewMenu->addSeparator();
    viewMenu->addAction(makeAction("clear", "&Clear Display", "Clear client list\nClear list", {},
                                   &MainWindow::onClear));
    QAction* graphic = makeAction("useGraphic", "&Use Graphic ", "Use graphics for Send progress",
                                  {}, &MainWindow::onUseGraphic);
    graphic->setCheckable(true);
    viewMenu->addAction(graphic);
    viewMenu->addAction(makeAction("icmpReport", "&ICMP Report",
                                   "Toggle ICMP Report window\nICMP Report Window", {},
                                   &MainWindow::onIcmpReport));

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(makeAction("help", "&Help Topics\tF1", "List Help topics\nHelp Topics",
                               QKeySequence("F1"), &MainWindow::onHelp));
    help->addAction(makeAction("about", "&About Ravendock ...\tCtrl+A",
                               "Display program information, version number and copyright\nAbout",
                               QKeySequence("Ctrl+A"), &MainWindow::onAbout));
    help->addAction(makeAction("checkVersion", "&Check Version ...",
                               "Check the internet for the latest version", {},
                               &MainWindow::onCheckVersion));
    help->addSeparator();
    help->addAction(makeAction("resetColumns", "Reset Co&lumns",
                               "Reset column widths\nReset columns", {},
                               &MainWindow::onResetColumns));
    help->addAction(makeAction("music", "&Music\tF12",
                               "Toggle Music\nTo sooth the troubled brow ...", QKeySequence("F12"),
                               &MainWindow::onMusic));
    for (QMenu* menu : {file, system, viewMenu, help}) {
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateActions);
    }
}

void MainWindow::buildToolBar() {
    toolBar_ = new QToolBar("Toolbar", this);
    toolBar_->setObjectName("toolBar");
    toolBar_->setMovable(false);
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    addToolBar(Qt::TopToolBarArea, toolBar_);

    QAction* contextHelp = QWhatsThis::createAction(this);
    contextHelp->setObjectName("contextHelp");
    contextHelp->setShortcut(QKeySequence("Shift+F1"));
    contextHelp->setStatusTip("Display help for clicked on buttons, menus and windows");
    contextHelp->setToolTip("Help");
    addAction(contextHelp);

    const struct {
        const char* action;
        const char* icon;
    } buttons[] = {{"about", "about"}, {nullptr, "contexthelp"}, {"", ""}, {"stop", "stop"},
                   {"", ""},           {"start", "start"},       {"", ""}, {"clear", "clear"},
                   {"", ""},           {"icmpReport", "icmp"}};
    for (const auto& button : buttons) {
        if (button.action != nullptr && *button.action == '\0') {
            toolBar_->addSeparator();
            continue;
        }
        QAction* action = button.action == nullptr ? contextHelp : this->action(button.action);
        action->setIcon(QIcon(QString(":/icons/%1.svg").arg(button.icon)));
        toolBar_->addAction(action);
    }
}

QAction* MainWindow::action(const QString& name) const {
    return findChild<QAction*>(name);
}

void MainWindow::updateCaption() {
    setWindowTitle(QString("Ravendock - %1").arg(QString::fromStdString(app_.ListenText)));
}

void MainWindow::updateActions() {
    action("stop")->setEnabled(app_.bServing);
    action("start")->setEnabled(!app_.bServing);
    action("icmpReport")->setEnabled(icmpWindow_ != nullptr);
    action("useGraphic")->setChecked(view_.graphic());
}

void MainWindow::setIcmpReport(IcmpReport* report) {
    delete icmpWindow_.data();
    if (report != nullptr) {
        icmpWindow_ = new IcmpReportWindow(*report, this);
    }
    updateActions();
}

void MainWindow::onStop() {
    app_.StopServing();
}

void MainWindow::onStart() {
    app_.StartServing();
}

void MainWindow::onExit() {
    close();
}

void MainWindow::onSetup() {
    showSetupSheet();
    afterSetup();
}

void MainWindow::showSetupSheet() {
    OptionsSheetDialog sheet(app_, *frontEnd_, OptionsContextFor(app_, icmpWindow_ != nullptr),
                             this);
    sheet.exec();
}

void MainWindow::afterSetup() {
    AfterSetupSheet(app_, *frontEnd_);
}

void MainWindow::onInfo() {
    if (CServerSocket* listener = app_.listener()) {
        listener->ShowServerInfo();
    }
}

void MainWindow::onClear() {
    view_.ClearClientList();
}

void MainWindow::onUseGraphic() {
    view_.ToggleGraphic();
}

void MainWindow::onIcmpReport() {
    if (icmpWindow_ != nullptr) {
        icmpWindow_->report().toggleVisible();
    }
}

QString MainWindow::helpPagePath() {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString candidates[] = {
        dir + "/../share/doc/ravendockd/ravendockd.html",
        dir + "/../share/ravendockd/help/ravendockd.html",
        dir + "/ravendockd.html",
        QStringLiteral(RAVEN_SOURCE_DIR "/docs/help/ravendockd.html"),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate)) {
            return QFileInfo(candidate).canonicalFilePath();
        }
    }
    return {};
}

void MainWindow::onHelp() {
    const QString page = helpPagePath();
    if (page.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        QMessageBox::information(this, "Ravendock", "The help page could not be opened.");
    }
}

void MainWindow::onAbout() {
    if (about_ != nullptr) {
        return;
    }
    about_ = new AboutSheet(this);
    about_->setAttribute(Qt::WA_DeleteOnClose);
    about_->show();
}

void MainWindow::onCheckVersion() {
    RunVersionCheck(app_.loop(), app_.settings, hive_, this);
}

void MainWindow::onResetColumns() {
    view_.ResetColumns();
}

void MainWindow::onMusic() {
    if (music_ == nullptr) {
        music_ = std::make_unique<MusicPlayer>(app_.loop(), app_.settings, app_.dialogs());
    }
    music_->ToggleMusic();
}

void MainWindow::addTrayIcon() {
    if (tray_->add()) {
        hide();
    } else {
        app_.settings.bUseTaskbar = false;
    }
}

void MainWindow::removeTrayIcon() {
    tray_->remove();
}

void MainWindow::showFromTray() {
    showNormal();
    raise();
    activateWindow();
    removeTrayIcon();
}

void MainWindow::closeFromTray() {
    removeTrayIcon();
    close();
}

void MainWindow::showAlert(const std::string& text) {
    if (alert_ == nullptr) {
        alert_ = new NewClientAlert;
    }
    alert_->showClient(QString::fromStdString(text));
}

void MainWindow::destroyAlert() {
    if (alert_ != nullptr) {
        // Later: this may run while Qt is still telling the alert it lost the activation.
        alert_->hide();
        alert_->deleteLater();
        alert_ = nullptr;
    }
}

void MainWindow::sessionQuery() {
    sessionQueried_ = true;
    view_.ClearClientList();
}

void MainWindow::sessionEnd() {
    if (sessionEnded_) {
        return;
    }
    sessionEnded_ = true;
    RegisterRunOnce(app_.settings, hive_, "");
    SaveWindowLayout(hive_, windowRect(), kNoColumnWidths);
}

WindowRect MainWindow::windowRect() const {
    const QRect r = geometry();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!closing_ && onCloseRequested) {
        closing_ = true;
        onCloseRequested();
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && alert_ != nullptr) {
        destroyAlert();
        view_.setAlertExists(false);
    }
    if (event->type() == QEvent::PaletteChange) {
        // System colours changed: everything again, at once.
        repaint();
        list_->viewport()->repaint();
    }
}

}  // namespace server
