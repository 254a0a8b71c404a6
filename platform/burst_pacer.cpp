#include "platform/burst_pacer.h"

#include <chrono>
#include <utility>

namespace platform {

void BurstPacer::resumeSoon(std::function<void()> resume) {
    if (timer_ != 0) {
        return;
    }
    timer_ = loop_.addTimer(
        std::chrono::milliseconds(1),
        [this, resume = std::move(resume)] {
            timer_ = 0;
            resume();
        },
        false);
}

void BurstPacer::cancel() {
    if (timer_ != 0) {
        loop_.cancelTimer(timer_);
        timer_ = 0;
    }
}

}  // namespace platform
