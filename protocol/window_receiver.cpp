#include "protocol/window_receiver.h"

#include <sched.h>

#include <algorithm>

namespace protocol {

void WindowReceiver::start(std::size_t window) {
    window_ = std::max<std::size_t>(window, 1);
    expected_ = 1;
    lastAcked_ = 0;
    acked_ = false;
    sinceAck_ = 0;
    gapAcked_ = false;
    complete_ = false;
}

WindowReceiver::Step WindowReceiver::acknowledge(Step step, std::uint64_t seq) {
    step.ack = true;
    step.ackBlock = static_cast<std::uint16_t>(seq);
    lastAcked_ = seq;
    acked_ = true;
    sinceAck_ = 0;
    return step;
}

WindowReceiver::Step WindowReceiver::onData(std::uint16_t block, bool shortBlock) {
    Step step;
    const auto ahead = static_cast<std::uint16_t>(block - static_cast<std::uint16_t>(expected_));
    if (ahead == 0 && !complete_) {
        step.store = true;
        ++expected_;
        ++sinceAck_;
        gapAcked_ = false;
        if (shortBlock) {
            step.last = true;
            complete_ = true;
            return acknowledge(step, expected_ - 1);
        }
        return sinceAck_ >= window_ ? acknowledge(step, expected_ - 1) : step;
    }
    if (ahead < 0x8000 && !complete_) {
        // A gap: the sender goes on from the first missing block once it hears of it.
        if (!gapAcked_) {
            gapAcked_ = true;
            return acknowledge(step, expected_ - 1);
        }
        return step;
    }
    // Old news. The sender resends a window when our ACK of its end was lost; the repeat of
    // that block asks for the ACK again.
    if (acked_ && block == static_cast<std::uint16_t>(lastAcked_)) {
        return acknowledge(step, lastAcked_);
    }
    return step;
}

bool WindowReceiver::yieldForRestOfWindow(int& yields) const {
    if (window_ <= 1 || !midWindow() || yields >= kMidWindowYields) {
        return false;
    }
    ++yields;
    ::sched_yield();
    return true;
}

}  // namespace protocol
