#include "server/qt/version_check_dialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "server/qt/options_page_widget.h"

namespace server {

VersionCheckWindow::VersionCheckWindow(platform::EventLoop& loop,
                                       const server::ServerSettings& settings,
                                       platform::RegistryHive& hive, QWidget* parent)
    : QDialog(parent),
      lines_(new QPlainTextEdit(this)),
      download_(new QPushButton(QStringLiteral("Download"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      check_(std::make_unique<server::VersionCheckDialog>(loop, settings, hive, *this)) {
    setWindowTitle(qs(server::kVersionCheckTitle));
    lines_->setReadOnly(true);
    download_->setEnabled(false);
    download_->setAutoDefault(false);
    auto* group = new QGroupBox(QStringLiteral("Progress Messages"), this);
    (new QVBoxLayout(group))->addWidget(lines_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(download_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    resize(460, 300);

    connect(download_, &QPushButton::clicked, this, [this] { check_->download(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

VersionCheckWindow::~VersionCheckWindow() {
    check_->close();
}

void VersionCheckWindow::addLine(std::string_view text) {
    QTextCursor cursor = lines_->textCursor();
    cursor.movePosition(QTextCursor::End);
    lines_->setTextCursor(cursor);
    lines_->insertPlainText(qs(text) + QLatin1Char('\n'));
    lines_->ensureCursorVisible();
}

void VersionCheckWindow::setDownloadEnabled(bool enabled) {
    download_->setEnabled(enabled);
}

bool VersionCheckWindow::askYesNo(std::string_view question, bool) {
    QWidget* owner = isVisible() ? this : parentWidget();
    return QMessageBox::question(owner, qs(server::kVersionCheckTitle), qs(question),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void VersionCheckWindow::messageBox(std::string_view text) {
    QMessageBox::information(this, qs(server::kVersionCheckTitle), qs(text));
}

void VersionCheckWindow::done(int result) {
    // The connection (and a download file) close with the dialog.
    check_->close();
    QDialog::done(result);
}

void RunVersionCheck(platform::EventLoop& loop, const server::ServerSettings& settings,
                     platform::RegistryHive& hive, QWidget* parent) {
    VersionCheckWindow window(loop, settings, hive, parent);
    if (window.check().checkVersionCommand()) {
        window.exec();
    }
}

}  // namespace server
