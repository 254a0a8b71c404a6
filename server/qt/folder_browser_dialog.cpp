#include "server/qt/folder_browser_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace server {

namespace {

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

FolderBrowserDialog::FolderBrowserDialog(QWidget* parent)
    : QDialog(parent),
      drives_(new QComboBox(this)),
      folders_(new QListWidget(this)),
      path_(new QLineEdit(this)) {
    setWindowTitle(qs(server::kFolderBrowserTitle));
    path_->setReadOnly(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(drives_);
    layout->addWidget(folders_, 1);
    layout->addWidget(path_);
    layout->addWidget(buttons);
    resize(360, 400);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(folders_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        if (browser_ != nullptr) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            browser_->OpenRow(static_cast<std::size_t>(folders_->row(item)));
            display(*browser_);
            QApplication::restoreOverrideCursor();
        }
    });
    connect(drives_, &QComboBox::activated, this, [this](int index) {
        if (browser_ != nullptr && index >= 0) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            browser_->ChooseDrive(static_cast<std::size_t>(index));
            display(*browser_);
            QApplication::restoreOverrideCursor();
        }
    });
}

void FolderBrowserDialog::display(server::FolderBrowser& browser) {
    const QSignalBlocker blockDrives(drives_);
    drives_->clear();
    for (const server::DriveEntry& drive : browser.drives()) {
        drives_->addItem(qs(drive.text));
    }
    drives_->setCurrentIndex(browser.selectedDrive() ? static_cast<int>(*browser.selectedDrive())
                                                     : -1);
    folders_->clear();
    for (const std::string& row : browser.rows()) {
        folders_->addItem(qs(row));
    }
    path_->setText(qs(browser.path()));
}

bool FolderBrowserDialog::run(server::FolderBrowser& browser) {
    browser_ = &browser;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    display(browser);
    QApplication::restoreOverrideCursor();
    const bool ok = exec() == QDialog::Accepted;
    browser_ = nullptr;
    return ok;
}

}  // namespace server
