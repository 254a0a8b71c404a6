#include "platform/worker_thread.h"

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

void ManualResetEvent::set() {
    {
        std::lock_guard lock(mutex_);
        set_ = true;
    }
    cv_.notify_all();
}

bool ManualResetEvent::isSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

void ManualResetEvent::wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return set_; });
}

WorkerThread::~WorkerThread() {
    if (started_ && !joined_) {
        ::pthread_join(thread_, nullptr);
    }
}

void* WorkerThread::trampoline(void* self) {
    auto* thread = static_cast<WorkerThread*>(self);
    thread->tid_.store(static_cast<int>(::syscall(SYS_gettid)));
    thread->body_();
    thread->ended_.store(true);
    return nullptr;
}

bool WorkerThread::start(std::function<void()> body) {
    if (started_) {
        return false;
    }
    body_ = std::move(body);
    pthread_attr_t attr;
    if (::pthread_attr_init(&attr) != 0) {
        return false;
    }
    ::pthread_attr_setstacksize(&attr, kStackSize);
    int rc = ::pthread_create(&thread_, &attr, &WorkerThread::trampoline, this);
    ::pthread_attr_destroy(&attr);
    if (rc != 0) {
        return false;
    }
    started_ = true;
    return true;
}

bool WorkerThread::join(int timeoutMs) {
    if (!started_) {
        return true;
    }
    if (joined_) {
        return true;
    }
    timespec deadline{};
    ::clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1'000'000;
    if (deadline.tv_nsec >= 1'000'000'000) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1'000'000'000;
    }
    if (::pthread_timedjoin_np(thread_, nullptr, &deadline) == 0) {
        joined_ = true;
        return true;
    }
    return false;
}

}  // namespace platform
