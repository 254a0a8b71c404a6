#include "platform/clock.h"

#include <time.h>

namespace platform {

std::int64_t SystemClock::nowSeconds() const {
    return static_cast<std::int64_t>(::time(nullptr));
}

std::int64_t SystemClock::nowMilliseconds() const {
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

std::int64_t monotonicMilliseconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

}  // namespace platform
