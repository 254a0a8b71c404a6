#include "platform/stop_signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

namespace platform {

StopSignals::StopSignals() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &mask, &old_);
    fd_ = ::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
}

StopSignals::~StopSignals() {
    stopWatching();
    if (fd_ >= 0) {
        // A signal still pending when the mask is restored would end the process after all.
        drain();
        ::close(fd_);
    }
    ::sigprocmask(SIG_SETMASK, &old_, nullptr);
}

bool StopSignals::watch(EventLoop& loop, std::function<void()> onStop) {
    if (fd_ < 0 || !loop.watchReadable(fd_, [this, onStop = std::move(onStop)] {
            drain();
            onStop();
        })) {
        return false;
    }
    loop_ = &loop;
    return true;
}

void StopSignals::stopWatching() {
    if (loop_ != nullptr) {
        loop_->unwatch(fd_);
        loop_ = nullptr;
    }
}

void StopSignals::drain() {
    signalfd_siginfo info{};
    while (::read(fd_, &info, sizeof info) == sizeof info) {
    }
}

}  // namespace platform
