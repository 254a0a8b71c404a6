#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>

class QCheckBox;
class QLineEdit;

namespace server {
class OptionsPageBase;
}

namespace server {

// A UTF-8 text of the engine as a QString.
inline QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// One page of the "Server Options" sheet: its controls edit the page model's copies directly,
// and every change by the user marks the page modified and tells the sheet (Apply button).
class OptionsPageWidget : public QWidget {
  public:
    OptionsPageWidget(server::OptionsPageBase& model, std::function<void()> changed,
                      QWidget* parent = nullptr);

    // Fills the controls from the model: when the page is first shown and after an apply
    // (which may have rewritten a path field).
    void load();

  protected:
    virtual void fill() = 0;
    // A control changed by the user (not by load()).
    void changed();
    bool loading() const { return loading_; }

    QCheckBox* addCheck(std::string_view label, bool& field);
    // A text field that writes into field as the user types; digits only when asked.
    QLineEdit* addEdit(std::string& field, bool digitsOnly = false);

  private:
    server::OptionsPageBase& model_;
    std::function<void()> changed_;
    bool loading_ = false;
};

}  // namespace server
