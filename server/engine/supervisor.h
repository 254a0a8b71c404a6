#pragma once

#include <cstdint>

namespace server {

class ServerApplication;
struct ServerSettings;

// The periodic pass over running transfers and the priorities that follow the client count.
class Supervisor {
  public:
    explicit Supervisor(ServerApplication& app) : app_(app) {}

    // Retries silent transfers, times them out, reports ended ones and removes them.
    void Supervise();
    void AdjustPriorities();

    // The span Supervise uses for transfers without their own timeout; repairs a bad Timeout.
    int globalSpanSeconds();

  private:
    ServerApplication& app_;
    std::uint32_t lastPriority_ = 99;
    int lastClientCount_ = 99;
};

void SetProcessPriority(const ServerSettings& settings);

}  // namespace server
