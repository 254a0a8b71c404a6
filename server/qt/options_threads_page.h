#pragma once

#include <array>

#include "server/config/options_pages.h"
#include "server/qt/options_page_widget.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace server {

// "MultiThreading && Logging": process and thread priorities and the log file name.
class ThreadsPageWidget final : public OptionsPageWidget {
  public:
    ThreadsPageWidget(server::ThreadsPage& model, std::function<void()> changed,
                      QWidget* parent = nullptr);
    QCheckBox* raiseBox() const { return raise_; }
    QRadioButton* priorityButton(int index) const {
        return radios_[static_cast<std::size_t>(index)];
    }
    QLineEdit* logFileEdit() const { return logFile_; }

  private:
    void fill() override;

    server::ThreadsPage& model_;
    QCheckBox* raise_;
    std::array<QRadioButton*, 4> radios_{};
    QButtonGroup* group_;
    QLineEdit* logFile_;
};

}  // namespace server
