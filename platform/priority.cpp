#include "platform/priority.h"

#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace platform {

namespace {

constexpr int kMinNice = -20;
constexpr int kMaxNice = 19;
constexpr int kRaisedProcessNice = -10;

// The process's level as last set; threads are placed relative to it.
std::atomic<int> processNice{0};

int offsetFor(ThreadPriority priority) {
    switch (priority) {
        case ThreadPriority::BelowNormal:
            return 5;
        case ThreadPriority::AboveNormal:
            return -5;
        case ThreadPriority::Normal:
            break;
    }
    return 0;
}

bool hasNiceCapability() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    return (data[CAP_SYS_NICE / 32].effective & (1u << (CAP_SYS_NICE % 32))) != 0;
}

void setNice(int niceValue) {
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(currentThreadId()),
                  std::clamp(niceValue, kMinNice, kMaxNice));
}

}  // namespace

int currentThreadId() {
    return static_cast<int>(::syscall(SYS_gettid));
}

int currentNiceValue() {
    errno = 0;
    const int value = ::getpriority(PRIO_PROCESS, static_cast<id_t>(currentThreadId()));
    return errno == 0 ? value : 0;
}

bool canRaiseTo(int niceValue) {
    if (hasNiceCapability()) {
        return true;
    }
    // RLIMIT_NICE allows nice values down to 20 - limit.
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0) {
        return false;
    }
    return limit.rlim_cur == RLIM_INFINITY ||
           static_cast<long long>(niceValue) >= 20 - static_cast<long long>(limit.rlim_cur);
}

void setCurrentThreadPriority(ThreadPriority priority) {
    const int current = currentNiceValue();
    const int wanted = std::clamp(processNice.load() + offsetFor(priority), kMinNice, kMaxNice);
    if (wanted > current && !canRaiseTo(current)) {
        return;
    }
    setNice(wanted);
}

void setProcessPriorityHigh(bool high) {
    // On Linux the nice value belongs to the calling thread; threads created later inherit it.
    setNice(high ? kRaisedProcessNice : 0);
    processNice = currentNiceValue();
}

}  // namespace platform
