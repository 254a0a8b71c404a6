#include "client/qt/main_frame.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTime>
#include <QUrl>

#include "client/client_settings.h"
#include "client/qt/options_sheet.h"
#include "client/qt/qt_text.h"

// Resources of a static library are registered by hand, outside any namespace.
static void InitClientResources() {
    Q_INIT_RESOURCE(merrowinc);
}

namespace clientqt {

namespace {

constexpr int kClockMargin = 4;

// A status text comes from the engine and may carry a server's words: one line, no controls.
QString statusLine(std::string_view text) {
    QString line = toQString(text);
    for (QChar& c : line) {
        if (c.category() == QChar::Other_Control) {
            c = ' ';
        }
    }
    return line;
}

// The locale's long time format without the time zone, which the clock pane has no room for.
QString clockFormat() {
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(R"(\s*(?<![A-Za-z'])t+(?![A-Za-z']))"));
    return format.trimmed();
}

QString helpText() {
    return "Fill in the server's I.P. address as Host, its Port, and the names of the file here "
           "(Local File) and on the server (Remote File), then press Fetch to get the file from "
           "the server or Send to send it there. Abort stops the running transfer.\n\n"
           "File, Send... (Ctrl+S) sends a file chosen from the disk; files dropped on the window "
           "are sent one after the other.\n\n"
           "Options, Setup chooses the folders for fetched and sent files; Options, Rename "
           "Buttons switches between Fetch/Send and Get/Put.\n\n"
           "Help, About Merrowin... lists the command-line switches.";
}

}  // namespace

CMainFrame::CMainFrame(client::CMerrowinApp& app, client::IniProfile& profile, QWidget* parent)
    : QMainWindow(parent),
      app_(app),
      profile_(profile),
      form_(new FormPanel),
      statusPane_(new QLabel),
      clockPane_(new QLabel),
      timeFormat_(clockFormat()) {
    InitClientResources();
    // Fixed size, no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(":/merrowinc.svg"));
    setCentralWidget(form_);
    setAcceptDrops(true);
    BuildMenus();
    BuildStatusBar();
    SetTitle("Welcome to ");

    connect(form_->fetchButton, &QPushButton::clicked, this, [this] { OnFetch(); });
    connect(form_->sendButton, &QPushButton::clicked, this, [this] { OnSend(); });
    connect(form_->abortButton, &QPushButton::clicked, this, [this] { OnAbort(); });
    connect(form_->binary, &QCheckBox::clicked, this,
            [this](bool checked) { app_.settings.binary = checked; });

    form_->setMinimumWidth(form_->fontMetrics().horizontalAdvance(QString(56, 'x')));
    adjustSize();
    setFixedSize(sizeHint());
}

void CMainFrame::BuildMenus() {
    auto prompt = [](QAction* action, const char* text) {
        action->setStatusTip(text);
        return action;
    };
    QMenu* file = menuBar()->addMenu("&File");
    sendAction = prompt(file->addAction("&Send...\tCtrl+S"), "Select a file to Send");
    sendAction->setShortcut(QKeySequence("Ctrl+S"));
    abortAction = prompt(file->addAction("&Abort"), "Abort the current transfer");
    abortAction->setEnabled(false);
    file->addSeparator();
    exitAction = prompt(file->addAction("E&xit"), "Quit Merrowin Client");
    QMenu* options = menuBar()->addMenu("&Options");
    setupAction = prompt(options->addAction("&Setup"), "Set up transfer options");
    renameAction = prompt(options->addAction("&Rename Buttons"), "Change button names");
    QMenu* help = menuBar()->addMenu("&Help");
    indexAction = prompt(help->addAction("&Index"), "List Help topics");
    indexAction->setShortcut(QKeySequence(Qt::Key_F1));
    help->addSeparator();
    aboutAction = prompt(help->addAction("&About Merrowin..."), "Display program information");

    connect(sendAction, &QAction::triggered, this, [this] { OnFileSend(); });
    connect(abortAction, &QAction::triggered, this, [this] { OnAbort(); });
    connect(exitAction, &QAction::triggered, this, [this] { close(); });
    connect(setupAction, &QAction::triggered, this, [this] { OnSetup(); });
    connect(renameAction, &QAction::triggered, this, [this] { OnRenameButtons(); });
    connect(indexAction, &QAction::triggered, this, [this] { OnHelpIndex(); });
    connect(aboutAction, &QAction::triggered, this, [this] { OnAbout(); });

    // While a menu is open its prompts get the whole status bar.
    for (QMenu* menu : {file, options, help}) {
        connect(menu, &QMenu::aboutToShow, clockPane_, &QWidget::hide);
        connect(menu, &QMenu::aboutToHide, clockPane_, &QWidget::show);
    }
}

void CMainFrame::BuildStatusBar() {
    statusPane_->setTextFormat(Qt::PlainText);
    statusPane_->setText("Press F1 for Help");
    statusPane_->setMinimumWidth(10);
    // A long text is cut at the bar's end instead of widening the window.
    statusPane_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    clockPane_->setTextFormat(Qt::PlainText);
    clockPane_->setAlignment(Qt::AlignCenter);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(statusPane_, 1);
    statusBar()->addPermanentWidget(clockPane_);
    RefreshClock();
    clockTimer_.setInterval(1000);
    connect(&clockTimer_, &QTimer::timeout, this, [this] { RefreshClock(); });
    clockTimer_.start();
}

void CMainFrame::RefreshClock() {
    const QString text = QLocale::system().toString(QTime::currentTime(), timeFormat_);
    clockPane_->setText(text);
    clockPane_->setFixedWidth(clockPane_->fontMetrics().horizontalAdvance(text) + 2 * kClockMargin);
}

void CMainFrame::ShowStatus(std::string_view text) {
    statusPane_->setText(statusLine(text));
}

void CMainFrame::SetProgress(int position) {
    form_->progress->setValue(position);
}

void CMainFrame::SetTitle(std::string_view documentTitle) {
    setWindowTitle(toQString(documentTitle) + " - Merrowin");
}

void CMainFrame::FormChanged() {
    form_->Show(app_.view().form);
    form_->SetButtonNames(app_.settings.ChangeButtons);
}

void CMainFrame::TransferEnded(int) {
    UpdateCommands();
    if (!pendingSends_.empty()) {
        // The ended transfer is still on the stack; the next one replaces it afterwards.
        QTimer::singleShot(0, this, [this] { SendNextDropped(); });
    }
}

void CMainFrame::Close() {
    close();
}

void CMainFrame::UpdateCommands() {
    const bool active = app_.view().TransferActive();
    abortAction->setEnabled(active);
    form_->abortButton->setEnabled(active);
}

bool CMainFrame::CanStart() const {
    return !starting_ && !app_.view().TransferActive();
}

client::StartResult CMainFrame::Start(const std::function<client::StartResult()>& start) {
    // A start's dialogs run nested event loops, in which a queued drop could ask for another
    // start; that one would destroy the transfer this one is still setting up.
    starting_ = true;
    form_->ReadInto(app_.view().form);
    const client::StartResult result = start();
    starting_ = false;
    UpdateCommands();
    return result;
}

void CMainFrame::StartUp(const std::function<void()>& initInstance) {
    starting_ = true;
    initInstance();
    starting_ = false;
    UpdateCommands();
}

void CMainFrame::OnFetch() {
    if (CanStart()) {
        Start([this] { return app_.view().OnFetch(); });
    }
}

void CMainFrame::OnSend() {
    if (CanStart()) {
        Start([this] { return app_.view().OnSend(); });
    }
}

void CMainFrame::OnAbort() {
    pendingSends_.clear();
    app_.view().OnAbort();
    UpdateCommands();
}

void CMainFrame::OnFileSend() {
    const QString path = QFileDialog::getOpenFileName(this, "Send");
    if (!path.isEmpty()) {
        OpenDocument(path);
    }
}

void CMainFrame::OpenDocument(const QString& path) {
    if (CanStart()) {
        // The fields the user typed (host, port, block size...) go with the send.
        Start([this, &path] { return app_.view().SendGivenFile(toStdString(path)); });
    }
}

void CMainFrame::SendNextDropped() {
    while (!pendingSends_.empty() && CanStart()) {
        const QString path = pendingSends_.front();
        pendingSends_.pop_front();
        const client::StartResult result =
            Start([this, &path] { return app_.view().SendGivenFile(toStdString(path)); });
        if (result == client::StartResult::Refused) {
            // A check of the form failed; it would fail the same way for every other file.
            pendingSends_.clear();
        }
    }
}

void CMainFrame::OnSetup() {
    COptionsSheet sheet(this);
    sheet.SetValues(client::SetupPagesFrom(app_.settings));
    if (sheet.exec() == QDialog::Accepted) {
        client::ApplySetup(sheet.Values(), app_.settings, profile_);
    }
}

void CMainFrame::OnRenameButtons() {
    client::ToggleChangeButtons(app_.settings, profile_);
    form_->SetButtonNames(app_.settings.ChangeButtons);
}

void CMainFrame::OnHelpIndex() {
    QMessageBox box(QMessageBox::Information, toQString(client::kProgramCaption), helpText(),
                    QMessageBox::Ok, this);
    box.exec();
}

void CMainFrame::OnAbout() {
    if (about_) {
        return;
    }
    about_ = new CAbout(this);
    about_->show();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (about_) {
        about_->close();
    }
    event->accept();
    emit closed();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    bool any = false;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            pendingSends_.push_back(url.toLocalFile());
            any = true;
        }
    }
    if (!any) {
        return;
    }
    event->acceptProposedAction();
    // Deferred: the drop returns to the dragging program before any dialog of the start shows.
    QTimer::singleShot(0, this, [this] { SendNextDropped(); });
}

}  // namespace clientqt
