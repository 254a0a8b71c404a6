#include "server/engine/client_transfer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "protocol/error_table.h"
#include "protocol/packet.h"
#include "protocol/request_parser.h"
#include "server/engine/server_application.h"
#include "server/engine/transfer_path.h"

namespace server {

namespace {

constexpr std::size_t kBufferSlack = 20;
// A retry that finds no free name after this many candidates gives up.
constexpr int kMaxDuplicateCandidates = 100000;

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string withTrailingSeparator(std::string base) {
    if (!base.empty() && base.back() != '/' && base.back() != '\\') {
        base += '/';
    }
    return base;
}

}  // namespace

ClientTransfer::ClientTransfer(ServerApplication& app, const platform::Ipv4Endpoint& peer,
                               std::span<const std::uint8_t, kRequestBufferSize> request,
                               std::string localAddress, int id)
    : app_(app),
      peer_(peer),
      id_(id),
      localAddress_(std::move(localAddress)),
      buffer_(static_cast<std::size_t>(blockSize_) + kBufferSlack),
      startedAt_(app.clock().nowSeconds()) {
    std::copy(request.begin(), request.end(), request_.begin());
}

ClientTransfer::~ClientTransfer() {
    active_ = false;
    file_.close();
    if (watching_) {
        app_.loop().unwatch(socket_.fd());
    }
    socket_.close();
}

void ClientTransfer::Send(std::size_t length) {
    socket_.sendTo(buffer_.data(), length, peer_);
}

void ClientTransfer::BeginTransfer(int receivedLength) {
    std::size_t length = static_cast<std::size_t>(
        std::clamp(receivedLength, 0, static_cast<int>(kRequestBufferSize)));
    std::span<const std::uint8_t> request(request_.data(), length);
    opcode_ = length >= 2 ? protocol::readU16(request_.data()) : 0;
    position_ = 0;
    const bool reading = opcode_ == protocol::kRrq;
    const ServerSettings& settings = app_.settings;
    const std::string base = withTrailingSeparator(reading ? settings.OutPath : settings.InPath);

    auto address = platform::parseAddress(localAddress_);
    if (!address || !app_.transferPorts.open(socket_, *address)) {
        active_ = false;
        return;
    }
    app_.loop().watchReadable(socket_.fd(), [this] { OnReceive(0); });
    watching_ = true;
    lastActivity_ = app_.clock().nowSeconds();

    std::string_view name = protocol::requestFileName(request);
    if (reading && settings.bForce == 1) {
        name = settings.ForceFile;
    }
    const bool keepSubdirectories = reading ? settings.bOutPaths : settings.bInPaths;
    TransferPath built = BuildTransferPath(base, name, keepSubdirectories);
    path_ = std::move(built.path);
    app_.statusReport.text = built.altered ? "* " + path_ : path_;
    app_.NotifyView(kViewFile, id_);

    protocol::ParsedRequest parsed = protocol::parseRequest(request);
    if (parsed.status != protocol::ParsedRequest::Status::Ok) {
        AbortTransfer(4, true);
        return;
    }
    netascii_ = parsed.netascii;
    bool answerTsize = false;
    bool answerTimeout = false;
    bool answerBlksize = false;
    for (const auto& option : parsed.options) {
        switch (option.kind) {
            case protocol::OptionKind::Tsize:
                answerTsize = reading && settings.bAllowTsize;
                break;
            case protocol::OptionKind::Timeout:
                requestedTimeout_ = option.value;
                timeout_ = static_cast<int>(std::min<std::uint32_t>(option.value, 0x7fffffff));
                answerTimeout = settings.bAllowTimeout;
                break;
            case protocol::OptionKind::Blksize: {
                // Out-of-range sizes are answered with the nearest bound.
                int wanted = static_cast<int>(std::clamp<std::uint32_t>(
                    option.value, protocol::kMinBlockSize, protocol::kMaxBlockSize));
                if (wanted != blockSize_) {
                    blockSize_ = wanted;
                    if (!ResizeBuffers(reading)) {
                        return;
                    }
                }
                answerBlksize = true;
                break;
            }
        }
    }

    // The rewriting above already drops "..", but a base or name can still point elsewhere
    // (an absolute name under an empty base, a base that held "..").
    if (!IsInsideBase(base, path_)) {
        AbortTransfer(2, true);
        return;
    }

    if (!reading) {
        if (settings.bInPaths && settings.bCreatePaths && !MakePath(path_)) {
            AbortTransfer(2, true);
            return;
        }
        if (settings.bRenameDuplicates && fileExists(path_)) {
            std::string candidate;
            for (int n = 1; n <= kMaxDuplicateCandidates; ++n) {
                candidate = DuplicateCandidate(path_, n);
                if (!fileExists(candidate)) {
                    break;
                }
                candidate.clear();
            }
            if (candidate.empty()) {
                AbortTransfer(2, true);
                return;
            }
            if (settings.bRenameExisting) {
                if (::rename(path_.c_str(), candidate.c_str()) != 0) {
                    AbortTransfer(2, true);
                    return;
                }
            } else {
                path_ = std::move(candidate);
            }
        }
    }

    bool opened =
        reading ? file_.openForRead(path_, netascii_) : file_.openForWrite(path_, netascii_);
    if (!opened) {
        AbortTransfer(reading ? 1 : 2, true);
        return;
    }

    oackTsize_ = answerTsize;
    oackTimeout_ = answerTimeout;
    oackBlksize_ = answerBlksize;
    const bool anyAnswer = answerTsize || answerTimeout || answerBlksize;
    if (!reading) {
        block_ = 0;
        size_ = 0;
        if (anyAnswer) {
            SendOack();
        } else {
            Send(protocol::buildAck(buffer_, 0));
        }
        return;
    }
    size_ = file_.size();
    position_ = 0;
    if (anyAnswer) {
        block_ = 0;
        oackPending_ = true;
        SendOack();
    } else {
        block_ = 1;
        SendBlock();
    }
}

void ClientTransfer::SendOack() {
    protocol::OptionPair pairs[3];
    std::size_t count = 0;
    if (oackTsize_) {
        pairs[count++] = {"tsize", static_cast<std::uint64_t>(size_)};
    }
    if (oackTimeout_) {
        pairs[count++] = {"timeout", requestedTimeout_};
    }
    if (oackBlksize_) {
        pairs[count++] = {"blksize", static_cast<std::uint64_t>(blockSize_)};
    }
    Send(protocol::buildOack(buffer_, std::span(pairs, count)));
}

bool ClientTransfer::ResizeBuffers(bool reading) {
    const std::size_t want = static_cast<std::size_t>(blockSize_) + kBufferSlack;
    auto fail = [this] {
        AbortTransfer(7, true);
        return false;
    };
    try {
        buffer_.resize(want);
    } catch (const std::bad_alloc&) {
        app_.dialogs().messageBox("Unable to allocate buffers for transfer", MessageIcon::Error);
        return fail();
    }
    const int wantBytes = static_cast<int>(want);
    const int askBytes = platform::socketBufferFor(wantBytes);
    bool set =
        reading ? socket_.setSendBufferSize(askBytes) : socket_.setReceiveBufferSize(askBytes);
    int granted = reading ? socket_.sendBufferSize() : socket_.receiveBufferSize();
    if (!set || granted < 0) {
        return fail();
    }
    // Linux doubles what it is asked for and reports the doubled size: only a smaller grant
    // limits the block size.
    if (granted < wantBytes) {
        blockSize_ = std::max(granted - static_cast<int>(kBufferSlack), protocol::kMinBlockSize);
        try {
            buffer_.resize(static_cast<std::size_t>(blockSize_) + kBufferSlack);
        } catch (const std::bad_alloc&) {
            app_.dialogs().messageBox("Unable to allocate buffers for transfer",
                                      MessageIcon::Error);
            return fail();
        }
    }
    return true;
}

void ClientTransfer::SendBlock() {
    // netascii puts more bytes on the wire than the file holds: only a short read ends it.
    std::int64_t len =
        netascii_ ? blockSize_ : std::min<std::int64_t>(blockSize_, size_ - position_);
    if (len < 0) {
        AbortTransfer(3, true);
        return;
    }
    std::int64_t count = 0;
    blockRead_ = len > 0;
    if (len > 0) {
        count = file_.readPacket(buffer_, protocol::kHeaderSize, static_cast<std::size_t>(len));
        if (count < 0) {
            AbortTransfer(3, true);
            return;
        }
    }
    lastRead_ = count;
    protocol::buildDataHeader(buffer_, block_);
    Send(protocol::kHeaderSize + static_cast<std::size_t>(count));
    if (count < blockSize_) {
        if (netascii_) {
            size_ = position_ + count;
        }
        lastBlock_ = true;
    }
    position_ += count;
    if (!lastBlock_) {
        file_.prefetch(buffer_.size(), protocol::kHeaderSize, static_cast<std::size_t>(blockSize_));
    }
}

void ClientTransfer::OnReceive(int error) {
    if (error != 0) {
        return;
    }
    platform::Ipv4Endpoint from;
    const std::size_t capacity = static_cast<std::size_t>(blockSize_) + protocol::kHeaderSize;
    ssize_t n = socket_.receiveFrom(buffer_.data(), capacity, from);
    if (n >= 0) {
        ProcessDatagram(static_cast<std::size_t>(n), from);
    }
}

void ClientTransfer::HandleDatagram(std::span<const std::uint8_t> datagram,
                                    const platform::Ipv4Endpoint& from) {
    const std::size_t capacity = static_cast<std::size_t>(blockSize_) + protocol::kHeaderSize;
    std::copy_n(datagram.begin(), std::min(datagram.size(), capacity), buffer_.begin());
    ProcessDatagram(datagram.size(), from);
}

void ClientTransfer::ProcessDatagram(std::size_t length, const platform::Ipv4Endpoint& from) {
    const std::size_t capacity = static_cast<std::size_t>(blockSize_) + protocol::kHeaderSize;
    // Runts and oversized datagrams are no packets of this transfer.
    if (length < protocol::kHeaderSize || length > capacity) {
        return;
    }
    lastActivity_ = app_.clock().nowSeconds();
    peer_ = from;
    receivedLength_ = static_cast<std::int64_t>(length);
    if (opcode_ == protocol::kRrq) {
        OnAck();
    } else {
        OnData();
    }
}

void ClientTransfer::EndByPeerError(std::string_view text) {
    resultText_.assign(text);
    active_ = false;
    file_.close();
    app_.statusReport.text = resultText_;
    app_.NotifyView(kViewAborted, id_);
}

void ClientTransfer::OnAck() {
    if (!active_) {
        return;  // complete or failed: a late ACK must not send past the end
    }
    const std::uint16_t opcode = protocol::readU16(buffer_.data());
    const std::uint16_t number = protocol::readU16(buffer_.data() + 2);
    if (opcode == protocol::kError) {
        protocol::ParsedPacket packet;
        protocol::parsePacket(std::span(buffer_.data(), static_cast<std::size_t>(receivedLength_)),
                              packet);
        EndByPeerError(packet.text);
        return;
    }
    if (opcode != protocol::kAck) {
        return;
    }
    if (number == static_cast<std::uint16_t>(block_ - 1)) {
        ++duplicates_;
        if (app_.settings.bSkipRetry && duplicates_ == 1) {
            return;
        }
        duplicates_ = 0;
        RetryTransfer();
        return;
    }
    if (number != block_) {
        return;
    }
    ++block_;
    retries_ = 0;
    duplicates_ = 0;
    oackPending_ = false;
    if (lastBlock_) {
        active_ = false;
        completed_ = true;
        file_.close();
    } else {
        SendBlock();
    }
    app_.statusReport.done = position_;
    app_.statusReport.total = size_;
    app_.NotifyView(kViewStatus, id_);
}

void ClientTransfer::OnData() {
    const std::uint16_t opcode = protocol::readU16(buffer_.data());
    const std::uint16_t number = protocol::readU16(buffer_.data() + 2);
    if (!active_) {
        // The final ACK was lost: the client resends its last DATA and needs the ACK again.
        if (completed_ && opcode == protocol::kData && number == block_) {
            Send(protocol::buildAck(buffer_, block_));
        }
        return;
    }
    if (opcode == protocol::kError) {
        protocol::ParsedPacket packet;
        protocol::parsePacket(std::span(buffer_.data(), static_cast<std::size_t>(receivedLength_)),
                              packet);
        EndByPeerError(packet.text);
        return;
    }
    if (opcode != protocol::kData) {
        return;
    }
    if (number != static_cast<std::uint16_t>(block_ + 1)) {
        // A repeat of the block just acknowledged means our ACK was lost: repeat it.
        if (number == block_ && dataAccepted_) {
            Send(protocol::buildAck(buffer_, block_));
        }
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(receivedLength_) - protocol::kHeaderSize;
    const bool last =
        receivedLength_ < blockSize_ + static_cast<std::int64_t>(protocol::kHeaderSize);
    const bool wasRetrying = retries_ != 0;
    ++block_;
    retries_ = 0;
    dataAccepted_ = true;
    if (!last) {
        // The ACK goes out before the block is stored, so the client sends the next block while
        // this one is written (the ACK overwrites only the header). A failed store still ends
        // the transfer with an error before any final ACK.
        Send(protocol::buildAck(buffer_, block_));
    }
    const std::size_t written = file_.write(buffer_.data() + protocol::kHeaderSize, bytes);
    if (written < bytes) {
        AbortTransfer(3, true);
        return;
    }
    size_ += static_cast<std::int64_t>(written);
    if (number < 2 || wasRetrying) {
        app_.statusReport.text = "Receiving";
        app_.NotifyView(kViewStatus, id_);
    }
    if (last) {
        // Everything must be on disk before the final ACK tells the client it is safe.
        if (!file_.close()) {
            AbortTransfer(3, true);
            return;
        }
        Send(protocol::buildAck(buffer_, block_));
    }
    if (last) {
        active_ = false;
        completed_ = true;
    }
}

bool ClientTransfer::RetryTransfer() {
    if (opcode_ != protocol::kRrq) {
        app_.statusReport.text = "Waiting ...";
        app_.NotifyView(kViewRetry, id_);
        return true;
    }
    if (oackPending_) {
        SendOack();
    } else {
        if (blockRead_ && !file_.stepBack()) {
            return false;
        }
        position_ -= lastRead_;
        SendBlock();
    }
    app_.statusReport.text = "Retrying";
    app_.NotifyView(kViewRetry, id_);
    return true;
}

void ClientTransfer::AbortTransfer(unsigned code, bool send) {
    if (code > 8) {
        code = 8;
    }
    file_.close();
    resultText_.assign(protocol::serverErrorText(code));
    if (send && socket_.isOpen()) {
        std::size_t length =
            code == 7
                ? protocol::buildOptionRefusal(buffer_, protocol::serverErrorText(0))
                : protocol::buildError(buffer_, static_cast<std::uint16_t>(code), resultText_);
        Send(length);
    }
    active_ = false;
    app_.statusReport.text = resultText_;
    app_.NotifyView(kViewAborted, id_);
}

}  // namespace server
