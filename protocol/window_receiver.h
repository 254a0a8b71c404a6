#pragma once

#include <cstddef>
#include <cstdint>

namespace protocol {

// The receiving side of a windowed transfer (RFC 7440), for both programs: which DATA to
// store and when to acknowledge. It acknowledges the last block of each window and the final
// short block; on a gap it acknowledges the last block received in order, once, so the sender
// starts its next window there; a repeat of the block last acknowledged means that ACK was
// lost, and it goes again. Blocks are counted in 64 bits inside; wire numbers wrap.
class WindowReceiver {
  public:
    struct Step {
        bool store = false;  // the block is the next in order: its data belongs to the file
        bool ack = false;    // send ACK ackBlock now
        std::uint16_t ackBlock = 0;
        bool last = false;  // the block stored was the final one
    };

    // Expects block 1 next; block 0 (the request's answer) counts as acknowledged.
    void start(std::size_t window);

    // A DATA block arrived; shortBlock: it carries fewer bytes than the block size.
    Step onData(std::uint16_t block, bool shortBlock);

    // The ACK that asks a silent sender to go on after the blocks received in order.
    std::uint16_t lastInOrder() const { return static_cast<std::uint16_t>(expected_ - 1); }
    bool complete() const { return complete_; }
    // Part of a window is in: its other blocks are on their way.
    bool midWindow() const { return !complete_ && sinceAck_ != 0; }
    // When the rest of a window is not there yet, lets a sender on this CPU go on (sched_yield)
    // and looks again, at most kMidWindowYields times per wake-up, rather than sleeping and
    // being woken for each block. True when it yielded: look again.
    bool yieldForRestOfWindow(int& yields) const;
    static constexpr int kMidWindowYields = 8;
    // Blocks stored so far.
    std::uint64_t blocks() const { return expected_ - 1; }

  private:
    Step acknowledge(Step step, std::uint64_t seq);

    std::size_t window_ = 1;
    std::uint64_t expected_ = 1;
    std::uint64_t lastAcked_ = 0;
    bool acked_ = false;  // any ACK sent by this receiver
    std::size_t sinceAck_ = 0;
    bool gapAcked_ = false;
    bool complete_ = false;
};

}  // namespace protocol
