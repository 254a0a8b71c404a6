#pragma once

#include <cstdint>
#include <cstdio>
#include <unordered_map>

#include "server/engine/view_messages.h"

namespace server {

// Prints each view message as one line; progress at most once a second per transfer.
class ConsoleView final : public ViewObserver {
  public:
    explicit ConsoleView(std::FILE* out) : out_(out) {}
    void onViewMessage(int message, int id, StatusReport& report) override;

  private:
    std::FILE* out_;
    std::unordered_map<int, std::int64_t> lastProgress_;
};

}  // namespace server
