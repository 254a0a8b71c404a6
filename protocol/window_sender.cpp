#include "protocol/window_sender.h"

#include <algorithm>
#include <new>

#include "protocol/packet.h"
#include "protocol/transfer_file.h"

namespace protocol {

bool WindowSender::start(std::size_t window, std::size_t blockSize) {
    window_ = std::max<std::size_t>(window, 1);
    blockSize_ = blockSize;
    packetSize_ = blockSize + kHeaderSize;
    slots_ = 2 * window_;
    try {
        ring_.assign(slots_ * packetSize_, 0);
        lengths_.assign(slots_, 0);
        io_.assign(slots_, iovec{});
    } catch (const std::bad_alloc&) {
        return false;
    }
    acked_ = filled_ = sentHigh_ = last_ = 0;
    next_ = 1;
    lastKnown_ = resentForRepeat_ = false;
    ackedBytes_ = readBytes_ = 0;
    return true;
}

bool WindowSender::fillWindow(TransferFile& file) {
    return fill(file, acked_ + window_);
}

bool WindowSender::fillAhead(TransferFile& file) {
    return fill(file, acked_ + slots_);
}

bool WindowSender::fill(TransferFile& file, std::uint64_t upTo) {
    if (lastKnown_ || filled_ >= upTo) {
        return true;
    }
    std::size_t count = 0;
    for (std::uint64_t seq = filled_ + 1; seq <= upTo; ++seq) {
        io_[count++] = iovec{slot(seq) + kHeaderSize, blockSize_};
    }
    const std::int64_t got = file.readBlocks(io_.data(), count);
    if (got < 0) {
        return false;
    }
    auto left = static_cast<std::uint64_t>(got);
    readBytes_ += left;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t seq = filled_ + 1;
        const auto length = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, blockSize_));
        left -= length;
        std::uint8_t* packet = slot(seq);
        writeU16(packet, kData);
        writeU16(packet + 2, static_cast<std::uint16_t>(seq));
        lengths_[seq % slots_] = length;
        filled_ = seq;
        if (length < blockSize_) {
            last_ = seq;
            lastKnown_ = true;
            break;
        }
    }
    return true;
}

std::span<const iovec> WindowSender::takeDue(std::size_t limit) {
    std::uint64_t end = std::min(acked_ + window_, filled_);
    std::size_t count = 0;
    for (; next_ <= end && count < limit; ++next_) {
        io_[count++] = iovec{slot(next_), kHeaderSize + lengths_[next_ % slots_]};
    }
    sentHigh_ = std::max(sentHigh_, next_ - 1);
    return {io_.data(), count};
}

WindowSender::Ack WindowSender::onAck(std::uint16_t block) {
    const auto ahead = static_cast<std::uint16_t>(block - static_cast<std::uint16_t>(acked_));
    if (ahead == 0) {
        // The peer repeats its last ACK: it missed the window's first block, or it timed out.
        // One resend per repeat; more would answer every stale copy with a whole window.
        if (resentForRepeat_) {
            return Ack::Ignored;
        }
        resentForRepeat_ = true;
        rewind();
        return Ack::Resend;
    }
    if (ahead > sentHigh_ - acked_) {
        return Ack::Ignored;  // older than the window, or for a block never sent
    }
    for (std::uint64_t seq = acked_ + 1; seq <= acked_ + ahead; ++seq) {
        ackedBytes_ += lengths_[seq % slots_];
    }
    acked_ += ahead;
    resentForRepeat_ = false;
    // The next window starts right after the block acknowledged, also when the ACK names a
    // block inside the window (the peer saw a gap after it).
    next_ = acked_ + 1;
    return complete() ? Ack::Complete : Ack::Progress;
}

}  // namespace protocol
