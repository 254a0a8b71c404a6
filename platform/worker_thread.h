#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace platform {

// A manual-reset event: once set it stays set.
class ManualResetEvent {
  public:
    void set();
    bool isSet() const;
    void wait();

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
};

// A thread with a small stack, for threads that only wait.
class WorkerThread {
  public:
    static constexpr std::size_t kStackSize = 64 * 1024;

    WorkerThread() = default;
    ~WorkerThread();  // joins if still joinable
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    bool start(std::function<void()> body);
    bool started() const { return started_; }
    bool hasEnded() const { return ended_.load(); }
    // Waits up to timeoutMs for the thread to end; true when it has ended (and was joined).
    bool join(int timeoutMs);
    // Kernel thread id, 0 until the thread has run.
    int tid() const { return tid_.load(); }

  private:
    static void* trampoline(void* self);

    pthread_t thread_{};
    bool started_ = false;
    bool joined_ = false;
    std::atomic<bool> ended_{false};
    std::atomic<int> tid_{0};
    std::function<void()> body_;
};

}  // namespace platform
