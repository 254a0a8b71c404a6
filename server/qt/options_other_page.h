#pragma once

#include "server/config/options_pages.h"
#include "server/qt/options_page_widget.h"

class QCheckBox;
class QLineEdit;

namespace server {

// "Options": port, time-out, protocol options, start-up and window options.
class OtherPageWidget final : public OptionsPageWidget {
  public:
    OtherPageWidget(server::OtherPage& model, std::function<void()> changed,
                    QWidget* parent = nullptr);

    QLineEdit* portEdit() const { return port_; }
    QLineEdit* timeoutEdit() const { return timeout_; }
    QCheckBox* multihomedBox() const { return multihomed_; }
    QCheckBox* noSplashBox() const { return noSplash_; }
    QCheckBox* minimisedBox() const { return minimised_; }

  private:
    void fill() override;

    server::OtherPage& model_;
    QLineEdit* port_;
    QLineEdit* timeout_;
    QCheckBox* skipRetry_;
    QCheckBox* multihomed_;
    QCheckBox* alertMinimised_;
    QCheckBox* allowTsize_;
    QCheckBox* allowTimeout_;
    QCheckBox* noSplash_;
    QCheckBox* minimised_;
    QCheckBox* noOutbound_;
    QCheckBox* noIncoming_;
    QCheckBox* useTaskbar_;
    QCheckBox* preventRestart_;
};

}  // namespace server
