#include "platform/event_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace platform {

namespace {
// The loop whose events this thread is dispatching right now, if any.
thread_local const EventLoop* tlsDispatching = nullptr;
}  // namespace

EventLoop::EventLoop() {
    epollFd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epollFd_ < 0 || wakeFd_ < 0) {
        throw std::runtime_error("event loop: cannot create epoll or eventfd");
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wakeFd_;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev) != 0) {
        ::close(wakeFd_);
        ::close(epollFd_);
        throw std::runtime_error("event loop: cannot watch its eventfd");
    }
}

EventLoop::~EventLoop() {
    for (auto& [id, timer] : timers_) {
        ::close(timer->fd);
    }
    ::close(wakeFd_);
    ::close(epollFd_);
}

bool EventLoop::setWatch(int fd, Callback onReadable, Callback onWritable) {
    const auto found = watches_.find(fd);
    epoll_event ev{};
    ev.events = (onReadable ? EPOLLIN : 0u) | (onWritable ? EPOLLOUT : 0u);
    ev.data.fd = fd;
    if (ev.events == 0) {
        unwatch(fd);
        return true;
    }
    if (::epoll_ctl(epollFd_, found != watches_.end() ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) !=
        0) {
        return false;
    }
    auto watch = std::make_shared<Watch>();
    watch->onReadable = std::move(onReadable);
    watch->onWritable = std::move(onWritable);
    watches_[fd] = std::move(watch);
    return true;
}

bool EventLoop::watchReadable(int fd, Callback onReadable) {
    const auto found = watches_.find(fd);
    Callback onWritable = found != watches_.end() ? found->second->onWritable : nullptr;
    return setWatch(fd, std::move(onReadable), std::move(onWritable));
}

bool EventLoop::watchWritable(int fd, Callback onWritable) {
    const auto found = watches_.find(fd);
    Callback onReadable = found != watches_.end() ? found->second->onReadable : nullptr;
    return setWatch(fd, std::move(onReadable), std::move(onWritable));
}

void EventLoop::unwatchWritable(int fd) {
    const auto found = watches_.find(fd);
    if (found != watches_.end() && found->second->onWritable) {
        // Dropping the EPOLLOUT bit of a descriptor epoll already has cannot be refused.
        [[maybe_unused]] const bool changed = setWatch(fd, found->second->onReadable, nullptr);
    }
}

void EventLoop::unwatch(int fd) {
    if (watches_.erase(fd) != 0) {
        ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, fd, nullptr);
    }
}

EventLoop::TimerId EventLoop::addTimer(std::chrono::milliseconds interval, Callback onExpiry,
                                       bool repeat) {
    int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    itimerspec timing{};
    auto ms = interval.count() > 0 ? interval.count() : 1;
    timing.it_value.tv_sec = ms / 1000;
    timing.it_value.tv_nsec = (ms % 1000) * 1'000'000;
    if (repeat) {
        timing.it_interval = timing.it_value;
    }
    ::timerfd_settime(fd, 0, &timing, nullptr);
    auto timer = std::make_shared<Timer>();
    timer->fd = fd;
    timer->callback = std::move(onExpiry);
    timer->repeat = repeat;
    TimerId id = nextTimer_++;
    timers_[id] = timer;
    timerByFd_[fd] = id;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    if (::epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
        timers_.erase(id);
        timerByFd_.erase(fd);
        ::close(fd);
        return 0;
    }
    return id;
}

void EventLoop::cancelTimer(TimerId id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) {
        return;
    }
    ::epoll_ctl(epollFd_, EPOLL_CTL_DEL, it->second->fd, nullptr);
    ::close(it->second->fd);
    timerByFd_.erase(it->second->fd);
    timers_.erase(it);
}

void EventLoop::post(Callback call) {
    // A call posted while this thread dispatches runs before runOnce returns, so the eventfd
    // (a write and a read per post) is needed only for other threads and outside dispatch.
    const bool fromDispatch = tlsDispatching == this;
    {
        std::lock_guard lock(postedMutex_);
        posted_.push_back(std::move(call));
    }
    if (fromDispatch) {
        postedDuringDispatch_ = true;
    } else {
        wake();
    }
}

void EventLoop::quit() {
    quit_ = true;
    wake();
}

void EventLoop::wake() {
    std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
}

void EventLoop::runPosted() {
    std::vector<Callback> calls;
    {
        std::lock_guard lock(postedMutex_);
        calls.swap(posted_);
    }
    for (auto& call : calls) {
        call();
    }
}

int EventLoop::runOnce(int timeoutMs) {
    // Filled by epoll_wait; zeroing it on every pass cost more than the dispatch itself.
    std::array<epoll_event, 64> events;
    int n = ::epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()), timeoutMs);
    if (n < 0) {
        return 0;
    }
    int ran = 0;
    struct DispatchScope {
        const EventLoop* outer = tlsDispatching;
        explicit DispatchScope(const EventLoop* loop) { tlsDispatching = loop; }
        ~DispatchScope() { tlsDispatching = outer; }
    };
    {
        const DispatchScope scope(this);
        for (int i = 0; i < n; ++i) {
            int fd = events[static_cast<std::size_t>(i)].data.fd;
            if (fd == wakeFd_) {
                std::uint64_t count = 0;
                [[maybe_unused]] auto r = ::read(wakeFd_, &count, sizeof count);
                runPosted();
                ++ran;
                continue;
            }
            if (auto t = timerByFd_.find(fd); t != timerByFd_.end()) {
                TimerId id = t->second;
                std::shared_ptr<Timer> timer = timers_[id];
                std::uint64_t expirations = 0;
                if (::read(fd, &expirations, sizeof expirations) <= 0) {
                    // A nested pass (a modal dialog's loop inside a callback) took this expiry.
                    continue;
                }
                if (!timer->repeat) {
                    cancelTimer(id);
                }
                // A copy keeps the callback alive if it cancels its own timer.
                Callback callback = timer->callback;
                callback();
                ++ran;
                continue;
            }
            const std::uint32_t happened = events[static_cast<std::size_t>(i)].events;
            const bool failed = (happened & (EPOLLERR | EPOLLHUP)) != 0;
            for (const bool writable : {false, true}) {
                if (!failed && (happened & (writable ? EPOLLOUT : EPOLLIN)) == 0) {
                    continue;
                }
                // Looked up each time: the first callback may have changed or dropped the watch.
                auto w = watches_.find(fd);
                if (w == watches_.end()) {
                    break;
                }
                // Holding a reference lets the callback unwatch itself safely.
                std::shared_ptr<Watch> watch = w->second;
                const Callback& callback = writable ? watch->onWritable : watch->onReadable;
                if (callback) {
                    callback();
                    ++ran;
                }
            }
        }
    }
    if (postedDuringDispatch_) {
        // Calls these post in turn wake the loop as usual.
        postedDuringDispatch_ = false;
        runPosted();
        ++ran;
    }
    return ran;
}

void EventLoop::run() {
    while (!quit_) {
        runOnce(-1);
    }
    quit_ = false;  // so the loop can be run again
}

}  // namespace platform
