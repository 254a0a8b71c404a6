#pragma once

#include <array>

#include "server/config/options_pages.h"
#include "server/qt/options_page_widget.h"

class QCheckBox;

namespace server {

// "ICMP Messages": one box per kind the ICMP report may list, in two columns.
class IcmpPageWidget final : public OptionsPageWidget {
  public:
    IcmpPageWidget(server::IcmpPage& model, std::function<void()> changed,
                   QWidget* parent = nullptr);
    // The box of an IcmpFlags bit.
    QCheckBox* box(int bit) const { return boxes_[static_cast<std::size_t>(bit)]; }

  private:
    void fill() override;

    server::IcmpPage& model_;
    std::array<QCheckBox*, 14> boxes_{};
};

inline constexpr std::string_view kNoRawIcmpTip =
    "ICMP messages cannot be received: this process may not open raw sockets (it lacks "
    "CAP_NET_RAW).";

}  // namespace server
