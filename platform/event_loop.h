#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace platform {

// The one event loop of the main thread: readable descriptors, timers and calls posted from
// other threads. Everything it reports is delivered on the thread that runs it. A GUI toolkit
// can drive it by watching fd() and calling runOnce(0) when it becomes readable.
class EventLoop {
  public:
    using Callback = std::function<void()>;
    using TimerId = std::uint64_t;

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Readable whenever the loop has something to dispatch.
    int fd() const { return epollFd_; }

    // Level-triggered: the callback runs on every pass while data is waiting.
    void watchReadable(int fd, Callback onReadable);
    void unwatch(int fd);

    TimerId addTimer(std::chrono::milliseconds interval, Callback onExpiry, bool repeat = true);
    void cancelTimer(TimerId id);

    // Thread-safe.
    void post(Callback call);

    // Waits at most timeoutMs (-1: no limit) and dispatches what is ready. Returns the number of
    // callbacks run. May be called again from inside a callback (a modal dialog's nested loop):
    // what the inner pass dispatched is not dispatched again by the outer one.
    int runOnce(int timeoutMs);
    // Runs until quit(); a later run() starts afresh.
    void run();
    // Thread-safe.
    void quit();
    bool quitRequested() const { return quit_; }

  private:
    struct Watch {
        Callback callback;
    };
    struct Timer {
        int fd = -1;
        Callback callback;
        bool repeat = true;
    };

    void wake();
    void runPosted();

    int epollFd_ = -1;
    int wakeFd_ = -1;
    bool quit_ = false;
    std::unordered_map<int, std::shared_ptr<Watch>> watches_;
    std::unordered_map<int, TimerId> timerByFd_;
    std::unordered_map<TimerId, std::shared_ptr<Timer>> timers_;
    TimerId nextTimer_ = 1;
    std::mutex postedMutex_;
    std::vector<Callback> posted_;
    bool postedDuringDispatch_ = false;
};

}  // namespace platform
