#include "protocol/transfer_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <new>

namespace protocol {

namespace {

// Read-ahead for text mode and the gather buffer for writes: large enough that the file sees
// few system calls per transfer, small enough to keep per transfer.
constexpr std::size_t kBufferSize = 64 * 1024;
// Octet reads of small and middling blocks come from a read-ahead of whole blocks: one system
// call per several blocks instead of one per block. Small blocks (the common PXE and router
// sizes, where many transfers run at once) get only a few KiB per transfer; middling ones four
// blocks. Larger blocks are read straight into a spare packet instead (see prefetch).
constexpr std::size_t kSmallBlock = 2048;
constexpr std::size_t kReadAhead = 4 * 1024;
constexpr std::size_t kMiddlingBlock = 16 * 1024;
constexpr std::size_t kMiddlingReadAheadBlocks = 4;

std::size_t readAheadSize(std::size_t n) {
    return n <= kSmallBlock ? std::max(n, kReadAhead / n * n) : kMiddlingReadAheadBlocks * n;
}

constexpr std::uint8_t kCr = '\r';
constexpr std::uint8_t kLf = '\n';
constexpr std::uint8_t kNul = 0;

// Opens path with flags and keeps it only when it is a regular file. O_NONBLOCK keeps a FIFO
// or device from stalling the open; it has no effect on regular files.
int openRegular(const std::string& path, int flags, struct stat& st) {
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TransferFile::~TransferFile() {
    discardTemporary();
}

bool TransferFile::openForRead(const std::string& path, bool textMode) {
    close();
    try {
        if (textMode) {
            buffer_.resize(kBufferSize);
        } else {
            buffer_.clear();  // sized by the first read
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    struct stat st {};
    const int fd = openRegular(path, O_RDONLY, st);
    if (fd < 0) {
        return false;
    }
    fd_ = fd;
    text_ = textMode;
    writing_ = false;
    size_ = st.st_size;
    return true;
}

bool TransferFile::openForWrite(const std::string& path, bool textMode) {
    close();
    try {
        buffer_.resize(kBufferSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    struct stat st {};
    const int fd = openRegular(path, O_WRONLY | O_CREAT | O_TRUNC, st);
    if (fd < 0) {
        return false;
    }
    fd_ = fd;
    text_ = textMode;
    writing_ = true;
    size_ = 0;
    return true;
}

bool TransferFile::close() {
    if (fd_ < 0) {
        return true;
    }
    if (writing_ && pendingCr_ && bufferEnd_ < buffer_.size()) {
        buffer_[bufferEnd_++] = kCr;  // the data ended on a CR: it stays as it came
    }
    pendingCr_ = false;
    bool ok = writing_ ? flush() : true;
    if (::close(fd_) != 0 && writing_) {
        ok = false;  // a deferred write error may surface only here
    }
    fd_ = -1;
    writing_ = false;
    offset_ = 0;
    aheadOffset_ = 0;
    prefetchOffset_ = -1;
    lastConsumed_ = -1;
    pendingWire_ = lastPendingWire_ = -1;
    bufferStart_ = bufferEnd_ = 0;
    return ok;
}

std::int64_t TransferFile::read(std::uint8_t* out, std::size_t n) {
    if (fd_ < 0 || writing_) {
        return -1;
    }
    if (text_) {
        return readText(out, n);
    }
    if (n == 0) {
        lastConsumed_ = 0;
        return 0;
    }
    std::int64_t got = n <= kMiddlingBlock ? readAhead(out, n) : readAt(offset_, out, n);
    if (got < 0) {
        return -1;
    }
    offset_ += got;
    lastConsumed_ = got;
    return got;
}

std::int64_t TransferFile::readPacket(std::vector<std::uint8_t>& packet, std::size_t headroom,
                                      std::size_t n) {
    const bool prefetched = fd_ >= 0 && !writing_ && !text_ && prefetchOffset_ == offset_ &&
                            offset_ >= 0 && n <= prefetchAsked_ && headroom == spareHeadroom_ &&
                            spare_.size() == packet.size();
    if (!prefetched) {
        if (headroom > packet.size() || n > packet.size() - headroom) {
            return -1;
        }
        return read(packet.data() + headroom, n);
    }
    packet.swap(spare_);
    prefetchOffset_ = -1;
    const std::int64_t got = std::min(prefetchLength_, static_cast<std::int64_t>(n));
    offset_ += got;
    lastConsumed_ = got;
    return got;
}

void TransferFile::prefetch(std::size_t packetSize, std::size_t headroom, std::size_t n) {
    prefetchOffset_ = -1;
    if (fd_ < 0 || writing_ || text_ || n <= kMiddlingBlock || headroom > packetSize ||
        n > packetSize - headroom) {
        return;
    }
    if (spare_.size() != packetSize) {
        try {
            spare_.resize(packetSize);
        } catch (const std::bad_alloc&) {
            spare_.clear();
            return;
        }
    }
    const std::int64_t r = readAt(offset_, spare_.data() + headroom, n);
    if (r < 0) {
        return;
    }
    prefetchOffset_ = offset_;
    prefetchLength_ = r;
    prefetchAsked_ = n;
    spareHeadroom_ = headroom;
}

std::int64_t TransferFile::readAt(std::int64_t at, std::uint8_t* out, std::size_t n) const {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r =
            ::pread(fd_, out + got, n - got, static_cast<off_t>(at) + static_cast<off_t>(got));
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (r == 0) {
            break;
        }
        got += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(got);
}

std::int64_t TransferFile::readAhead(std::uint8_t* out, std::size_t n) {
    if (buffer_.size() < n) {
        // Sized by the first read; a later, larger block must still fit whole, or its short
        // read would look like the end of the file.
        try {
            buffer_.resize(readAheadSize(n));
        } catch (const std::bad_alloc&) {
            return readAt(offset_, out, n);
        }
        bufferEnd_ = 0;
    }
    // buffer_[0, bufferEnd_) holds the file bytes from aheadOffset_ on.
    const bool buffered =
        offset_ >= aheadOffset_ && offset_ + static_cast<std::int64_t>(n) <=
                                       aheadOffset_ + static_cast<std::int64_t>(bufferEnd_);
    if (!buffered) {
        const std::int64_t r = readAt(offset_, buffer_.data(), buffer_.size());
        if (r < 0) {
            bufferEnd_ = 0;
            return -1;
        }
        aheadOffset_ = offset_;
        bufferEnd_ = static_cast<std::size_t>(r);
    }
    const auto from = static_cast<std::size_t>(offset_ - aheadOffset_);
    const std::size_t got = std::min(n, bufferEnd_ - from);
    std::memcpy(out, buffer_.data() + from, got);
    return static_cast<std::int64_t>(got);
}

std::int64_t TransferFile::readText(std::uint8_t* out, std::size_t n) {
    const std::int64_t startOffset = offset_;
    const int startPending = pendingWire_;

    // Moves what is left to the front of buffer_ and appends the file's next bytes;
    // false on a read failure. At the end of the file nothing is appended.
    auto refill = [this]() {
        const std::size_t kept = bufferEnd_ - bufferStart_;
        std::memmove(buffer_.data(), buffer_.data() + bufferStart_, kept);
        bufferStart_ = 0;
        bufferEnd_ = kept;
        const auto at = static_cast<off_t>(offset_ + static_cast<std::int64_t>(kept));
        for (;;) {
            const ssize_t r = ::pread(fd_, buffer_.data() + kept, buffer_.size() - kept, at);
            if (r >= 0) {
                bufferEnd_ += static_cast<std::size_t>(r);
                return true;
            }
            if (errno != EINTR) {
                return false;
            }
        }
    };

    std::size_t got = 0;
    bool failed = false;
    while (got < n) {
        if (pendingWire_ >= 0) {
            // The second byte of a pair that did not fit in the last block.
            out[got++] = static_cast<std::uint8_t>(pendingWire_);
            pendingWire_ = -1;
            continue;
        }
        if (bufferStart_ == bufferEnd_) {
            if (!refill()) {
                failed = true;
                break;
            }
            if (bufferEnd_ == 0) {
                break;  // end of file
            }
        }
        const std::uint8_t c = buffer_[bufferStart_++];
        ++offset_;
        if (c == kLf || c == kCr) {
            out[got++] = kCr;
            pendingWire_ = c == kLf ? kLf : kNul;
        } else {
            out[got++] = c;
        }
    }

    if (failed) {
        // Forget the read-ahead so a later read starts again from a known file offset.
        offset_ = startOffset;
        pendingWire_ = startPending;
        bufferStart_ = bufferEnd_ = 0;
        lastConsumed_ = -1;
        return -1;
    }
    lastConsumed_ = offset_ - startOffset;
    lastPendingWire_ = startPending;
    return static_cast<std::int64_t>(got);
}

bool TransferFile::stepBack() {
    if (fd_ < 0 || writing_ || lastConsumed_ < 0) {
        return false;
    }
    offset_ -= lastConsumed_;
    if (text_) {
        const auto back = static_cast<std::size_t>(lastConsumed_);
        if (back <= bufferStart_) {
            // The bytes are still buffered: a refill only moves the unconsumed tail.
            bufferStart_ -= back;
        } else {
            bufferStart_ = bufferEnd_ = 0;
        }
        // The block may have begun with the second byte of a pair split by the block before.
        pendingWire_ = lastPendingWire_;
    }
    // Stepping back twice must not go further back than the last read's start.
    lastConsumed_ = 0;
    return true;
}

std::size_t TransferFile::write(const std::uint8_t* data, std::size_t n) {
    if (fd_ < 0 || !writing_) {
        return 0;
    }
    std::size_t taken = 0;
    if (!text_ && bufferEnd_ == 0 && n >= buffer_.size() / 2) {
        // Large blocks gain nothing from gathering: they go to the file without a copy.
        taken = writeOut(data, n);
    } else if (!text_) {
        while (taken < n) {
            if (bufferEnd_ == buffer_.size() && !flush()) {
                break;
            }
            const std::size_t chunk = std::min(n - taken, buffer_.size() - bufferEnd_);
            std::memcpy(buffer_.data() + bufferEnd_, data + taken, chunk);
            bufferEnd_ += chunk;
            taken += chunk;
        }
    } else {
        // CR LF is stored as LF and CR NUL as CR; a CR before anything else is kept with it.
        // A CR at the end of one block waits for the first byte of the next.
        while (taken < n) {
            if (buffer_.size() - bufferEnd_ < 2 && !flush()) {
                break;
            }
            const std::uint8_t c = data[taken++];
            if (pendingCr_) {
                pendingCr_ = false;
                if (c == kLf) {
                    buffer_[bufferEnd_++] = kLf;
                    continue;
                }
                buffer_[bufferEnd_++] = kCr;
                if (c == kNul) {
                    continue;
                }
            }
            if (c == kCr) {
                pendingCr_ = true;
            } else {
                buffer_[bufferEnd_++] = c;
            }
        }
    }
    return taken;
}

std::size_t TransferFile::writeOut(const std::uint8_t* data, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t r = ::write(fd_, data + done, n - done);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
            offset_ += r;
        } else if (r < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // includes a write of nothing, which would otherwise loop forever
        }
    }
    return done;
}

bool TransferFile::flush() {
    const std::size_t done = writeOut(buffer_.data(), bufferEnd_);
    // Keep what did not reach the file, so nothing is lost if a later flush succeeds.
    std::memmove(buffer_.data(), buffer_.data() + done, bufferEnd_ - done);
    const bool ok = done == bufferEnd_;
    bufferEnd_ -= done;
    return ok;
}

// Uploads through a temporary file.

namespace {

// A hidden name beside the final one; the final name is shortened so the whole stays within
// the usual 255-byte limit of a name.
std::string temporaryNameFor(const std::string& finalPath, std::uint64_t salt) {
    constexpr std::size_t kKeptNameBytes = 200;
    const auto slash = finalPath.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::string out = finalPath.substr(0, nameStart);
    out += '.';
    out += finalPath.substr(nameStart, kKeptNameBytes);
    out += ".part-";
    static constexpr char kHex[] = "0123456789abcdef";
    for (int shift = 60; shift >= 0; shift -= 4) {
        out += kHex[(salt >> shift) & 0xf];
    }
    return out;
}

std::uint64_t randomSalt() {
    std::uint64_t salt = 0;
    if (::getrandom(&salt, sizeof salt, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof salt)) {
        // Without entropy the name need only be unlikely to exist; O_EXCL settles clashes.
        static std::uint64_t counter = 0;
        salt = (static_cast<std::uint64_t>(::getpid()) << 32) ^ ++counter ^
               static_cast<std::uint64_t>(::time(nullptr));
    }
    return salt;
}

}  // namespace

bool TransferFile::openTemporaryForWrite(const std::string& finalPath, bool textMode) {
    discardTemporary();
    try {
        buffer_.resize(kBufferSize);
    } catch (const std::bad_alloc&) {
        return false;
    }
    constexpr int kAttempts = 16;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string candidate = temporaryNameFor(finalPath, randomSalt());
        const int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        fd_ = fd;
        text_ = textMode;
        writing_ = true;
        size_ = 0;
        temporaryPath_ = std::move(candidate);
        finalPath_ = finalPath;
        return true;
    }
    return false;
}

bool TransferFile::commitTemporary() {
    if (temporaryPath_.empty()) {
        return false;
    }
    bool ok = close();
    if (ok && ::rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) {
        ok = false;
    }
    if (!ok) {
        ::unlink(temporaryPath_.c_str());
    }
    temporaryPath_.clear();
    finalPath_.clear();
    return ok;
}

void TransferFile::discardTemporary() {
    close();
    if (!temporaryPath_.empty()) {
        ::unlink(temporaryPath_.c_str());
        temporaryPath_.clear();
        finalPath_.clear();
    }
}

}  // namespace protocol
