#pragma once

#include <QDialog>
#include <array>

#include "server/config/options_sheet.h"

class QPushButton;
class QTabWidget;

namespace server {
class ServerApplication;
class ServerFrontEnd;
}  // namespace server

namespace server {

class OptionsPageWidget;

// "Server Options": the modal sheet with its eight tabs and OK, Cancel and Apply.
class OptionsSheetDialog final : public QDialog {
  public:
    OptionsSheetDialog(server::ServerApplication& app, server::ServerFrontEnd& frontEnd,
                       server::OptionsContext context, QWidget* parent = nullptr);

    server::OptionsSheet& sheet() { return sheet_; }
    QTabWidget* tabs() const { return tabs_; }
    OptionsPageWidget* page(server::OptionsPageId id) const {
        return pages_[static_cast<std::size_t>(id)];
    }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* applyButton() const { return apply_; }

  private:
    void showPage(int index);
    void updateApply();
    // Applies the opened pages; on a refusal the sheet turns to that page. True when none did.
    bool applyPages();

    server::OptionsSheet sheet_;
    QTabWidget* tabs_;
    std::array<OptionsPageWidget*, server::kOptionsPageCount> pages_{};
    std::array<bool, server::kOptionsPageCount> loaded_{};
    QPushButton* ok_;
    QPushButton* cancel_;
    QPushButton* apply_;
};

}  // namespace server
