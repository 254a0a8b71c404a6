#pragma once

#include <atomic>
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

    // Level-triggered: the callback runs on every pass while data is waiting, and while an error
    // or hang-up is pending. False, and nothing changed, when the kernel refuses the descriptor.
    [[nodiscard]] bool watchReadable(int fd, Callback onReadable);
    // The same for room to write; a non-blocking connect completes (or fails) as writable.
    [[nodiscard]] bool watchWritable(int fd, Callback onWritable);
    // Stops watching for room to write; a readable watch stays.
    void unwatchWritable(int fd);
    // Stops both.
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
    // Thread-safe: the flag is atomic and the wake-up an eventfd write.
    void quit();
    bool quitRequested() const { return quit_.load(); }

  private:
    // Replaced whole on every change, so a running callback may change or drop its own watch.
    struct Watch {
        Callback onReadable;
        Callback onWritable;
    };
    struct Timer {
        int fd = -1;
        Callback callback;
        bool repeat = true;
    };

    bool setWatch(int fd, Callback onReadable, Callback onWritable);
    void wake();
    void runPosted();

    int epollFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> quit_{false};
    std::unordered_map<int, std::shared_ptr<Watch>> watches_;
    std::unordered_map<int, TimerId> timerByFd_;
    std::unordered_map<TimerId, std::shared_ptr<Timer>> timers_;
    TimerId nextTimer_ = 1;
    std::mutex postedMutex_;
    std::vector<Callback> posted_;
    bool postedDuringDispatch_ = false;
};

}  // namespace platform
