#pragma once

#include <QDialog>
#include <memory>

#include "server/monitor/version_check.h"

class QPlainTextEdit;
class QPushButton;

namespace platform {
class EventLoop;
class RegistryHive;
}  // namespace platform

namespace server {

// "Version Check": the progress lines in a read-only box of the group "Progress Messages",
// "Download" (enabled once a newer version is announced) and "Cancel".
class VersionCheckWindow final : public QDialog, public server::VersionCheckView {
  public:
    VersionCheckWindow(platform::EventLoop& loop, const server::ServerSettings& settings,
                       platform::RegistryHive& hive, QWidget* parent = nullptr);
    ~VersionCheckWindow() override;

    void addLine(std::string_view text) override;
    void setDownloadEnabled(bool enabled) override;
    bool askYesNo(std::string_view question, bool defaultAnswer) override;
    void messageBox(std::string_view text) override;
    void finished(bool) override {}

    server::VersionCheckDialog& check() { return *check_; }
    QPlainTextEdit* lines() const { return lines_; }
    QPushButton* downloadButton() const { return download_; }
    QPushButton* cancelButton() const { return cancel_; }

    void done(int result) override;

  private:
    QPlainTextEdit* lines_;
    QPushButton* download_;
    QPushButton* cancel_;
    std::unique_ptr<server::VersionCheckDialog> check_;
};

// The "Check Version ..." command: asks "Are you connected to the Internet ?" and on Yes runs
// the dialog modally.
void RunVersionCheck(platform::EventLoop& loop, const server::ServerSettings& settings,
                     platform::RegistryHive& hive, QWidget* parent);

}  // namespace server
