#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace protocol {

// The local file of a transfer. Octet mode moves bytes unchanged; text mode is netascii (RFC 764)
// over a file whose lines end with LF: on read each LF of the file is delivered as CR LF and
// each CR as CR NUL; on write CR LF is stored as LF, CR NUL as CR, and anything else as it came.
// 0x1A is data like any other byte.
//
// Octet reads of large blocks go straight into the caller's buffer (one copy, file to packet);
// small blocks come from a read-ahead of a few blocks. Writes
// are gathered in a buffer of the file's own and flushed in large pieces; a failed flush is
// reported by the write or close that triggered it.
class TransferFile {
  public:
    TransferFile() = default;
    ~TransferFile();
    TransferFile(const TransferFile&) = delete;
    TransferFile& operator=(const TransferFile&) = delete;

    // Opens an existing regular file for reading; anything else (missing, a folder, a device,
    // a FIFO) fails. Never blocks.
    bool openForRead(const std::string& path, bool textMode);
    // Creates or truncates a regular file for writing (mode 0666 less the umask).
    bool openForWrite(const std::string& path, bool textMode);
    bool isOpen() const { return fd_ >= 0; }
    // Closes; false when buffered data could not be written.
    bool close();

    // Length of the file in bytes when opened for reading.
    std::int64_t size() const { return size_; }

    // Delivers up to n bytes; returns the count (less than n only at the end of the data) or -1
    // when the file reports a failure.
    std::int64_t read(std::uint8_t* out, std::size_t n);
    // Like read, into packet from offset headroom on. When prefetch has already read these
    // bytes, its packet is swapped in whole (no copy, no system call).
    std::int64_t readPacket(std::vector<std::uint8_t>& packet, std::size_t headroom, std::size_t n);
    // For large octet blocks: reads the next n bytes now into a spare packet of packetSize bytes
    // (at headroom), so the file work overlaps the peer's work on the block just sent. A failure
    // is left for the next read to report.
    void prefetch(std::size_t packetSize, std::size_t headroom, std::size_t n);

    // Steps back over the file bytes that the last read consumed, so the next read delivers the
    // same bytes again. False when there is nothing to step back over.
    bool stepBack();

    // Stores n bytes; returns how many were accepted (n unless the file failed).
    std::size_t write(const std::uint8_t* data, std::size_t n);

    // Uploads through a temporary file: the data goes to a new file with a unique hidden name
    // in finalPath's folder, created exclusively and never through a link, so finalPath is
    // untouched (and readers never see a partial file) until commitTemporary renames the file
    // into place. A temporary that is not committed is removed by discardTemporary and at
    // destruction.
    bool openTemporaryForWrite(const std::string& finalPath, bool textMode);
    // Closes (writing out what is gathered) and renames the temporary to its final path,
    // replacing what is there without following a link. False, with the temporary removed,
    // when either fails.
    bool commitTemporary();
    void discardTemporary();
    const std::string& temporaryPath() const { return temporaryPath_; }

  private:
    bool flush();
    // Writes n bytes at the file's end; returns how many reached it.
    std::size_t writeOut(const std::uint8_t* data, std::size_t n);
    std::int64_t readAt(std::int64_t at, std::uint8_t* out, std::size_t n) const;
    std::int64_t readAhead(std::uint8_t* out, std::size_t n);
    std::int64_t readText(std::uint8_t* out, std::size_t n);

    int fd_ = -1;
    bool text_ = false;
    bool writing_ = false;
    std::int64_t size_ = 0;
    // File offset of the next byte to read (reads) or to write (writes).
    std::int64_t offset_ = 0;
    // File bytes consumed by the last read; -1 when there is none to step back over.
    std::int64_t lastConsumed_ = -1;
    // Text reads: the second byte of a CR LF or CR NUL pair still to be delivered, or -1; and
    // its value when the last read began, for stepBack.
    int pendingWire_ = -1;
    int lastPendingWire_ = -1;
    // Text writes: a CR received whose meaning depends on the next byte.
    bool pendingCr_ = false;
    // File offset of buffer_[0] for octet reads of small blocks.
    std::int64_t aheadOffset_ = 0;
    // The prefetched packet: prefetchLength_ file bytes from prefetchOffset_ at spareHeadroom_.
    std::vector<std::uint8_t> spare_;
    std::int64_t prefetchOffset_ = -1;
    std::int64_t prefetchLength_ = 0;
    std::size_t prefetchAsked_ = 0;
    std::size_t spareHeadroom_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::size_t bufferStart_ = 0;
    std::size_t bufferEnd_ = 0;
    // The upload's temporary file and the name it takes when committed; empty when none.
    std::string temporaryPath_;
    std::string finalPath_;
};

}  // namespace protocol
