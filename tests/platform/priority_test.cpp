#include "platform/priority.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <thread>

namespace {

using platform::currentNiceValue;
using platform::setCurrentThreadPriority;
using platform::ThreadPriority;

// Capabilities belong to the calling thread: this one gives up CAP_SYS_NICE for the rest of
// its life.
void dropNiceCapability() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    ASSERT_EQ(::syscall(SYS_capget, &header, data), 0);
    data[CAP_SYS_NICE / 32].effective &= ~(1u << (CAP_SYS_NICE % 32));
    ASSERT_EQ(::syscall(SYS_capset, &header, data), 0);
}

// Without the right to raise a nice value again, an ordinary user's thread lowered once would
// stay slow for good: it is not lowered at all.
TEST(Priority, LoweredOnlyWhereItCanBeRestored) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NICE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 0;
    ASSERT_EQ(::setrlimit(RLIMIT_NICE, &none), 0);
    std::thread([] {
        dropNiceCapability();
        const int start = currentNiceValue();
        ASSERT_FALSE(platform::canRaiseTo(start - 1));
        setCurrentThreadPriority(ThreadPriority::BelowNormal);
        EXPECT_EQ(currentNiceValue(), start);
        setCurrentThreadPriority(ThreadPriority::Normal);
        EXPECT_EQ(currentNiceValue(), start);
    }).join();
    ::setrlimit(RLIMIT_NICE, &saved);

    std::thread([] {
        const int start = currentNiceValue();
        if (!platform::canRaiseTo(start)) {
            GTEST_SKIP() << "no right to raise a nice value here";
        }
        setCurrentThreadPriority(ThreadPriority::BelowNormal);
        EXPECT_EQ(currentNiceValue(), start + 5);
        setCurrentThreadPriority(ThreadPriority::Normal);
        EXPECT_EQ(currentNiceValue(), start);
    }).join();
}

// Thread priorities count from the process's level, so a raised process stays raised.
TEST(Priority, RaisedProcessStaysRaised) {
    std::thread([] {
        platform::setProcessPriorityHigh(true);
        const int raised = currentNiceValue();
        setCurrentThreadPriority(ThreadPriority::Normal);
        EXPECT_EQ(currentNiceValue(), raised);
        setCurrentThreadPriority(ThreadPriority::BelowNormal);
        setCurrentThreadPriority(ThreadPriority::Normal);
        EXPECT_EQ(currentNiceValue(), raised);
        platform::setProcessPriorityHigh(false);
    }).join();
}

}  // namespace
