#pragma once

#include "server/config/options_pages.h"
#include "server/qt/options_page_widget.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace server {

// The path field with its Browse button, shared by the Inbound and Outbound pages.
struct FolderRow {
    QLineEdit* edit;
    QPushButton* browse;
};

// "Inbound": the folder uploads are stored in and how duplicates are named.
class InboundPageWidget final : public OptionsPageWidget {
  public:
    InboundPageWidget(server::InboundPage& model, std::function<void()> changed,
                      QWidget* parent = nullptr);
    QLineEdit* pathEdit() const { return row_.edit; }
    QPushButton* browseButton() const { return row_.browse; }
    QCheckBox* renameExisting() const { return renameExisting_; }

  private:
    void fill() override;

    server::InboundPage& model_;
    FolderRow row_;
    QCheckBox* inPaths_;
    QCheckBox* createPaths_;
    QCheckBox* renameDuplicates_;
    QCheckBox* renameExisting_;
};

// "Outbound": the folder files are served from and the single file to send.
class OutboundPageWidget final : public OptionsPageWidget {
  public:
    OutboundPageWidget(server::OutboundPage& model, std::function<void()> changed,
                       QWidget* parent = nullptr);
    QLineEdit* pathEdit() const { return row_.edit; }
    QPushButton* browseButton() const { return row_.browse; }

  private:
    void fill() override;

    server::OutboundPage& model_;
    FolderRow row_;
    QCheckBox* outPaths_;
    QCheckBox* force_;
    QLineEdit* forceFile_;
};

}  // namespace server
