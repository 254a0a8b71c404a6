#pragma once

#include <signal.h>

#include <functional>

#include "platform/event_loop.h"

namespace platform {

// SIGINT, SIGTERM and SIGHUP (the terminal went away), blocked while this lives and delivered as a
// readable descriptor on the event loop, so the program's reaction runs on the main thread between
// two callbacks rather than at an arbitrary point inside one.
class StopSignals {
  public:
    // Blocks the signals at once; they wait until watch() is called.
    StopSignals();
    // Stops watching (when stopWatching was not called), drops what arrived meanwhile and
    // restores the signal mask.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Runs onStop on the loop for each arrival. False when the descriptor could not be made or
    // watched: the signals then stay blocked and are never reported.
    bool watch(EventLoop& loop, std::function<void()> onStop);
    // For a loop that goes before this object: signals then wait, blocked, until it goes.
    void stopWatching();

  private:
    void drain();

    sigset_t old_{};
    int fd_ = -1;
    EventLoop* loop_ = nullptr;
};

}  // namespace platform
