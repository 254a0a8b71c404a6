#pragma once

#include <array>

#include "server/config/options_pages.h"
#include "server/qt/options_page_widget.h"

class QCheckBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace server {
class ServerDialogs;
}

namespace server {

// "Allow" or "Deny": the patterns in order, a four-field address entry, Add and Remove, and the
// box that puts the list in force.
class AccessListPageWidget final : public OptionsPageWidget {
  public:
    AccessListPageWidget(server::AccessListPage& model, server::ServerDialogs& dialogs,
                         std::function<void()> changed, QWidget* parent = nullptr);

    QListWidget* list() const { return list_; }
    const std::array<QLineEdit*, 4>& addressFields() const { return fields_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* removeButton() const { return remove_; }
    QCheckBox* checkBox() const { return check_; }

  private:
    void fill() override;
    void add();

    server::AccessListPage& model_;
    server::ServerDialogs& dialogs_;
    QListWidget* list_;
    std::array<QLineEdit*, 4> fields_{};
    QPushButton* add_;
    QPushButton* remove_;
    QCheckBox* check_;
};

}  // namespace server
