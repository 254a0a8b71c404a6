#pragma once

#include <QDialog>

#include "server/config/folder_browser.h"

class QComboBox;
class QLineEdit;
class QListWidget;

namespace server {

// "Folder Browser": a drive drop-down of mount points, the folders of the working path with
// "[..]" first below a root, and the working path read-only.
class FolderBrowserDialog final : public QDialog, public server::FolderBrowserView {
  public:
    explicit FolderBrowserDialog(QWidget* parent = nullptr);

    // Runs modally over the browser; true for OK.
    bool run(server::FolderBrowser& browser) override;

    QComboBox* drives() const { return drives_; }
    QListWidget* folders() const { return folders_; }
    QLineEdit* pathField() const { return path_; }

  private:
    void display(server::FolderBrowser& browser);

    server::FolderBrowser* browser_ = nullptr;
    QComboBox* drives_;
    QListWidget* folders_;
    QLineEdit* path_;
};

}  // namespace server
