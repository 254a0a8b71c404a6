#pragma once

#include <functional>

#include "platform/event_loop.h"

namespace platform {

// Sends the rest of a burst a moment later: a peer that keeps the default receive buffer drops
// whatever does not fit, so a burst larger than that goes out in parts, each after the peer has
// had a millisecond to take the one before.
class BurstPacer {
  public:
    explicit BurstPacer(EventLoop& loop) : loop_(loop) {}
    ~BurstPacer() { cancel(); }
    BurstPacer(const BurstPacer&) = delete;
    BurstPacer& operator=(const BurstPacer&) = delete;

    // Calls resume about a millisecond from now, unless a call is already waiting.
    void resumeSoon(std::function<void()> resume);
    void cancel();

  private:
    EventLoop& loop_;
    EventLoop::TimerId timer_ = 0;
};

}  // namespace platform
