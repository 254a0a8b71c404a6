#include "platform/priority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {

namespace {

int niceFor(ThreadPriority priority) {
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

}  // namespace

int currentThreadId() {
    return static_cast<int>(::syscall(SYS_gettid));
}

void setThreadPriority(int tid, ThreadPriority priority) {
    if (tid > 0) {
        // On Linux a thread's nice value is its own; PRIO_PROCESS with a tid names one thread.
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), niceFor(priority));
    }
}

void setCurrentThreadPriority(ThreadPriority priority) {
    setThreadPriority(currentThreadId(), priority);
}

void setProcessPriorityHigh(bool high) {
    // The process's own nice value; threads created later inherit it.
    ::setpriority(PRIO_PROCESS, 0, high ? -10 : 0);
}

}  // namespace platform
