#pragma once

#include "server/config/options_pages.h"
#include "server/qt/options_page_widget.h"

class QSlider;

namespace server {

// "Client Limits": the client limit and the number of rows the client list keeps.
class ClientsPageWidget final : public OptionsPageWidget {
  public:
    ClientsPageWidget(server::ClientsPage& model, std::function<void()> changed,
                      QWidget* parent = nullptr);
    QSlider* clientSlider() const { return client_; }
    QSlider* displaySlider() const { return display_; }

  private:
    void fill() override;
    // A slider notification: the model decides whether the page has really changed.
    void moved();

    server::ClientsPage& model_;
    QSlider* client_;
    QSlider* display_;
};

}  // namespace server
