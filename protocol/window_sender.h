#pragma once

#include <sys/uio.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace protocol {

class TransferFile;

// The sending side of a windowed transfer (RFC 7440), for both programs. It keeps the DATA
// packets of the window in flight and of the next window in memory: a resend needs no seek and
// no second read (text-mode translation included), and the next window is read from the file
// while the peer works on the current one. Blocks are counted in 64 bits inside; only the wire
// numbers wrap from 65535 to 0. Memory is taken once in start; nothing per block.
class WindowSender {
  public:
    enum class Ack {
        Ignored,   // stale, bogus, or a repeat already answered
        Resend,    // the first repeat of the last ACK: the window goes again from its start
        Progress,  // the window moved
        Complete,  // the final block is acknowledged
    };

    // Window in blocks (at least 1), block size in bytes. False when memory is short.
    bool start(std::size_t window, std::size_t blockSize);

    // Reads the file into the free slots of the window in flight (fillWindow) or of both
    // windows (fillAhead); octet files in one system call. False when the file fails.
    bool fillWindow(TransferFile& file);
    bool fillAhead(TransferFile& file);

    // The packets to put on the wire now, in order, at most `limit`; they count as sent. Empty
    // when the window is out and waits for its ACK. Valid until the next call of any member.
    std::span<const iovec> takeDue(std::size_t limit = SIZE_MAX);
    // Packets of the window read and not yet sent.
    bool hasDue() const { return next_ <= std::min(acked_ + window_, filled_); }

    Ack onAck(std::uint16_t block);
    // The window goes again from its first unacknowledged block (the peer was silent).
    void rewind() { next_ = acked_ + 1; }

    bool complete() const { return lastKnown_ && acked_ == last_; }
    // File bytes of the acknowledged blocks.
    std::uint64_t ackedBytes() const { return ackedBytes_; }
    // File bytes read so far, and whether the final block is among them.
    std::uint64_t readBytes() const { return readBytes_; }
    bool lastBlockRead() const { return lastKnown_; }
    std::size_t window() const { return window_; }

  private:
    bool fill(TransferFile& file, std::uint64_t upTo);
    std::uint8_t* slot(std::uint64_t seq) { return ring_.data() + (seq % slots_) * packetSize_; }

    std::size_t window_ = 0;
    std::size_t blockSize_ = 0;
    std::size_t packetSize_ = 0;
    std::size_t slots_ = 0;
    std::vector<std::uint8_t> ring_;
    std::vector<std::uint32_t> lengths_;  // data bytes per slot
    std::vector<iovec> io_;               // the file reads and the burst to send
    std::uint64_t acked_ = 0;             // last block acknowledged (0: none yet)
    std::uint64_t filled_ = 0;            // last block read from the file
    std::uint64_t next_ = 1;              // next block of the current burst
    std::uint64_t sentHigh_ = 0;          // highest block ever sent
    std::uint64_t last_ = 0;              // the final (short) block, once read
    bool lastKnown_ = false;
    bool resentForRepeat_ = false;
    std::uint64_t ackedBytes_ = 0;
    std::uint64_t readBytes_ = 0;
};

}  // namespace protocol
