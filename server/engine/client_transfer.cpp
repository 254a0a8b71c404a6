#include "server/engine/client_transfer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

#include "protocol/error_table.h"
#include "protocol/packet.h"
#include "protocol/request_parser.h"
#include "protocol/window_option.h"
#include "server/engine/server_application.h"
#include "server/engine/transfer_path.h"

namespace server {

namespace {

constexpr std::size_t kBufferSlack = 20;
// Control packets (OACK, ERROR) are built in the packet buffer too; with the smallest blocks
// they would not fit in block size + slack.
constexpr std::size_t kMinBufferSize = protocol::kDefaultBlockSize + kBufferSlack;
// A retry that finds no free name after this many candidates gives up.
constexpr int kMaxDuplicateCandidates = 100000;
// Values of the timeout option a transfer accepts, in seconds.
constexpr std::uint32_t kMinTimeoutOption = 1;
constexpr std::uint32_t kMaxTimeoutOption = 255;
constexpr std::string_view kShuttingDown = "Server shutting down";
// The end of a transfer that never had a port of its own: the client got nothing at all.
constexpr std::string_view kNoTransferPort = "No transfer port";
// Whole seconds on the clock after which a repeated ACK may bring the block again: more than
// one second has passed, so a burst of repeats gets one answer at most, and a resend restarts
// the wait.
constexpr std::int64_t kLongAgoSeconds = 2;

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::size_t bufferSizeFor(int blockSize) {
    return std::max(static_cast<std::size_t>(blockSize) + kBufferSlack, kMinBufferSize);
}

// The first "name.n.ext" at which nothing exists.
std::optional<std::string> freeDuplicateName(const std::string& path) {
    for (int n = 1; n <= kMaxDuplicateCandidates; ++n) {
        std::string candidate = DuplicateCandidate(path, n);
        if (!fileExists(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
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
      buffer_(bufferSizeFor(blockSize_)),
      startedAt_(app.clock().nowSeconds()),
      pump_(app.loop(), [this] {
          if (active_) {
              PumpWindow();
          }
      }) {
    std::copy(request.begin(), request.end(), request_.begin());
}

ClientTransfer::~ClientTransfer() {
    active_ = false;
    pump_.cancel();
    file_.close();
    ReleaseSocket();
}

void ClientTransfer::ReleaseSocket() {
    if (watching_) {
        app_.loop().unwatch(socket_.fd());
        watching_ = false;
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
    requestLength_ = length;
    opcode_ = length >= 2 ? protocol::readU16(request_.data()) : 0;
    position_ = 0;
    const bool reading = opcode_ == protocol::kRrq;
    const ServerSettings& settings = app_.settings;
    const std::string base = withTrailingSeparator(reading ? settings.OutPath : settings.InPath);

    auto address = platform::parseAddress(localAddress_);
    if (!address || !app_.transferPorts.open(socket_, *address)) {
        // Nothing can be sent without a port; the end must not read as a finished transfer.
        resultText_.assign(kNoTransferPort);
        active_ = false;
        return;
    }
    // Without notifications the transfer still ends through supervision, as a silent peer's does.
    watching_ = app_.loop().watchReadable(socket_.fd(), [this] { OnReceive(0); });
    if (!watching_) {
        app_.dialogs().messageBox("Error preparing local client function", MessageIcon::Error);
    }
    lastActivity_ = app_.clock().nowSeconds();

    std::string_view name = protocol::requestFileName(request);
    if (reading && settings.bForce == 1) {
        name = settings.ForceFile;
    }
    const bool keepSubdirectories = reading ? settings.bOutPaths : settings.bInPaths;
    TransferPath built = BuildTransferPath(base, name, keepSubdirectories);
    path_ = std::move(built.path);
    Report(TransferEvent::FileKnown, built.altered ? "* " + path_ : path_);

    protocol::ParsedRequest parsed = protocol::parseRequest(request);
    if (parsed.status != protocol::ParsedRequest::Status::Ok) {
        AbortTransfer(protocol::ErrorCode::IllegalOperation, true);
        return;
    }
    netascii_ = parsed.netascii;
    bool answerTsize = false;
    bool answerTimeout = false;
    bool answerBlksize = false;
    std::uint32_t requestedWindow = 0;
    for (const auto& option : parsed.options) {
        switch (option.kind) {
            case protocol::OptionKind::Tsize:
                answerTsize = reading && settings.bAllowTsize;
                break;
            case protocol::OptionKind::Timeout:
                // Outside 1..255 the option is not valid: neither used nor answered, so no
                // client can hold its slot for days.
                if (option.value < kMinTimeoutOption || option.value > kMaxTimeoutOption) {
                    break;
                }
                requestedTimeout_ = option.value;
                timeout_ = static_cast<int>(option.value);
                answerTimeout = settings.bAllowTimeout;
                break;
            case protocol::OptionKind::Blksize: {
                // Too small a size is not valid and goes unanswered; a larger one than a
                // datagram can carry is answered with the largest.
                if (option.value < static_cast<std::uint32_t>(protocol::kMinBlockSize)) {
                    break;
                }
                int wanted = static_cast<int>(
                    std::min<std::uint32_t>(option.value, protocol::kMaxBlockSize));
                if (wanted != blockSize_) {
                    blockSize_ = wanted;
                    if (!ResizeBuffers(reading)) {
                        return;
                    }
                }
                answerBlksize = true;
                break;
            }
            case protocol::OptionKind::Windowsize:
                // Out of range: left unanswered, and the transfer stays lock-step.
                if (protocol::windowSizeInRange(option.value)) {
                    requestedWindow = option.value;
                }
                break;
        }
    }

    // The rewriting above already drops "..", but a base or name can still point elsewhere
    // (an absolute name under an empty base, a base that held "..").
    if (!IsInsideBase(base, path_)) {
        AbortTransfer(protocol::ErrorCode::AccessViolation, true);
        return;
    }

    if (!reading && !PrepareUpload(base)) {
        return;
    }

    bool opened = reading ? file_.openForRead(path_, netascii_)
                          : file_.openTemporaryForWrite(uploadPath_, netascii_);
    if (!opened) {
        AbortTransfer(
            reading ? protocol::ErrorCode::FileNotFound : protocol::ErrorCode::AccessViolation,
            true);
        return;
    }

    oackTsize_ = answerTsize;
    oackTimeout_ = answerTimeout;
    oackBlksize_ = answerBlksize;
    if (requestedWindow != 0) {
        // Granted for the block size finally in force, whatever the options' order.
        window_ = reading ? protocol::grantedSendWindow(requestedWindow,
                                                        static_cast<std::size_t>(blockSize_))
                          : protocol::grantedReceiveWindow(requestedWindow);
        if (!StartWindow(reading)) {
            return;
        }
    }
    const bool anyAnswer = answerTsize || answerTimeout || answerBlksize || window_ != 0;
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

// Uploads never go through a link at their name nor land outside the inbound folder once its
// folders are resolved; the naming rules pick the final name now, the data waits in a
// temporary file until the last block.
bool ClientTransfer::PrepareUpload(const std::string& base) {
    const ServerSettings& settings = app_.settings;
    if (settings.bInPaths && settings.bCreatePaths && !MakePath(base, path_)) {
        AbortTransfer(protocol::ErrorCode::AccessViolation, true);
        return false;
    }
    const auto folder = ResolveUploadFolder(base, path_);
    const auto slash = path_.rfind('/');
    const std::string name = path_.substr(slash == std::string::npos ? 0 : slash + 1);
    if (!folder || name.empty()) {
        AbortTransfer(protocol::ErrorCode::AccessViolation, true);
        return false;
    }
    uploadPath_ = *folder + name;
    struct stat st {};
    if (::lstat(uploadPath_.c_str(), &st) != 0) {
        return true;
    }
    // A link, folder or device under that name is the operator's and stays as it is.
    if (!S_ISREG(st.st_mode)) {
        AbortTransfer(protocol::ErrorCode::AccessViolation, true);
        return false;
    }
    if (!settings.bRenameDuplicates) {
        return true;  // replaced when the upload is complete
    }
    if (settings.bRenameExisting) {
        keepExisting_ = true;  // moved aside when the upload is complete
        return true;
    }
    auto candidate = freeDuplicateName(uploadPath_);
    if (!candidate) {
        AbortTransfer(protocol::ErrorCode::AccessViolation, true);
        return false;
    }
    path_.replace(path_.size() - name.size(), name.size(),
                  candidate->substr(candidate->rfind('/') + 1));
    uploadPath_ = std::move(*candidate);
    return true;
}

// The last block is stored: the file takes its final name. False after ending the transfer.
bool ClientTransfer::FinishUpload() {
    if (!file_.close()) {
        AbortTransfer(protocol::ErrorCode::DiskFull, true);
        return false;
    }
    if (keepExisting_ && fileExists(uploadPath_)) {
        auto candidate = freeDuplicateName(uploadPath_);
        if (!candidate || ::rename(uploadPath_.c_str(), candidate->c_str()) != 0) {
            AbortTransfer(protocol::ErrorCode::AccessViolation, true);
            return false;
        }
    }
    if (!file_.commitTemporary()) {
        AbortTransfer(protocol::ErrorCode::AccessViolation, true);
        return false;
    }
    return true;
}

void ClientTransfer::SendOack() {
    protocol::OptionPair pairs[4];
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
    if (window_ != 0) {
        pairs[count++] = {protocol::kWindowSizeOption, window_};
    }
    Send(protocol::buildOack(buffer_, std::span(pairs, count)));
}

bool ClientTransfer::ResizeBuffers(bool reading) {
    const std::size_t want = bufferSizeFor(blockSize_);
    auto fail = [this] {
        AbortTransfer(protocol::ErrorCode::OptionNegotiation, true);
        return false;
    };
    try {
        // Never below the size at creation: tiny blocks still need room for an OACK or ERROR.
        buffer_.resize(std::max(want, kRequestBufferSize + kBufferSlack));
    } catch (const std::bad_alloc&) {
        app_.dialogs().messageBox("Unable to allocate buffers for transfer", MessageIcon::Error);
        return fail();
    }
    const int wantBytes = blockSize_ + static_cast<int>(kBufferSlack);
    const int askBytes = platform::socketBufferFor(wantBytes);
    using Buffer = platform::UdpSocket::Buffer;
    const int granted = socket_.sizeBuffer(reading ? Buffer::Send : Buffer::Receive, askBytes);
    if (granted < 0) {
        return fail();
    }
    if (granted < wantBytes) {
        blockSize_ = std::max(granted - static_cast<int>(kBufferSlack), protocol::kMinBlockSize);
        try {
            buffer_.resize(bufferSizeFor(blockSize_));
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
        AbortTransfer(protocol::ErrorCode::DiskFull, true);
        return;
    }
    std::int64_t count = 0;
    blockRead_ = len > 0;
    if (len > 0) {
        count = file_.readPacket(buffer_, protocol::kHeaderSize, static_cast<std::size_t>(len));
        if (count < 0) {
            AbortTransfer(protocol::ErrorCode::DiskFull, true);
            return;
        }
    }
    lastRead_ = count;
    protocol::buildDataHeader(buffer_, block_);
    Send(protocol::kHeaderSize + static_cast<std::size_t>(count));
    lastSentAt_ = app_.clock().nowSeconds();
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
    // A window arrives as a burst: take what is waiting in one go rather than one datagram per
    // pass of the loop.
    const std::uint32_t batch = std::max<std::uint32_t>(window_, 1);
    int yields = 0;
    for (std::uint32_t i = 0; i < batch;) {
        ssize_t n = socket_.receiveFrom(buffer_.data(), capacity, from);
        if (n >= 0) {
            ProcessDatagram(static_cast<std::size_t>(n), from);
            ++i;
        } else if (opcode_ != protocol::kWrq || !active_ ||
                   !receiver_.yieldForRestOfWindow(yields)) {
            break;
        }
    }
}

void ClientTransfer::HandleDatagram(std::span<const std::uint8_t> datagram,
                                    const platform::Ipv4Endpoint& from) {
    const std::size_t capacity = static_cast<std::size_t>(blockSize_) + protocol::kHeaderSize;
    std::copy_n(datagram.begin(), std::min(datagram.size(), capacity), buffer_.begin());
    ProcessDatagram(datagram.size(), from);
}

void ClientTransfer::ProcessDatagram(std::size_t length, const platform::Ipv4Endpoint& from) {
    // The request fixed the peer's address and port: anyone else is told so and changes
    // nothing, so a stranger can neither take a transfer over nor end it.
    if (!(from == peer_)) {
        RefuseStranger(from);
        return;
    }
    const std::size_t capacity = static_cast<std::size_t>(blockSize_) + protocol::kHeaderSize;
    // Runts and oversized datagrams are no packets of this transfer.
    if (length < protocol::kHeaderSize || length > capacity) {
        return;
    }
    lastActivity_ = app_.clock().nowSeconds();
    receivedLength_ = static_cast<std::int64_t>(length);
    if (opcode_ == protocol::kRrq) {
        OnAck();
    } else {
        OnData();
    }
}

void ClientTransfer::RefuseStranger(const platform::Ipv4Endpoint& from) {
    const std::size_t length =
        protocol::buildError(buffer_, protocol::ErrorCode::UnknownTransferId,
                             protocol::serverErrorText(protocol::ErrorCode::UnknownTransferId));
    socket_.sendTo(buffer_.data(), length, from);
}

bool ClientTransfer::IsRepeatedRequest(std::span<const std::uint8_t> request,
                                       const platform::Ipv4Endpoint& from) const {
    return active_ && from == peer_ && request.size() == requestLength_ &&
           std::equal(request.begin(), request.end(), request_.begin());
}

void ClientTransfer::Shutdown() {
    if (!active_ || !socket_.isOpen()) {
        return;
    }
    Send(protocol::buildError(buffer_, protocol::ErrorCode::Undefined, kShuttingDown));
    active_ = false;
    ReleaseSocket();
}

void ClientTransfer::EndByPeerError(std::string_view text) {
    resultText_.assign(text);
    active_ = false;
    file_.discardTemporary();
    ReleaseSocket();
    Report(TransferEvent::Aborted, resultText_);
}

void ClientTransfer::Report(TransferEvent event, std::string text) {
    app_.NotifyView({event, id_, text});
    reportedText_ = std::move(text);
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
    if (window_ != 0) {
        OnWindowAck(opcode, number);
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
        // Only a client's own timer, repeating its ACK well after the block went out, means
        // the block was lost: repeats that follow the block closely are copies from the path
        // (or replies to our own copies), and answering them would keep doubling the data.
        if (app_.clock().nowSeconds() - lastSentAt_ >= kLongAgoSeconds) {
            Resend();
        }
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
        ReleaseSocket();
    } else {
        SendBlock();
    }
    app_.NotifyView({TransferEvent::Progress, id_, size_ != 0 ? std::string() : reportedText_,
                     position_, size_});
}

void ClientTransfer::OnData() {
    const std::uint16_t opcode = protocol::readU16(buffer_.data());
    const std::uint16_t number = protocol::readU16(buffer_.data() + 2);
    if (!active_) {
        // The final ACK was lost: the client resends its last DATA and needs the ACK again.
        if (completed_ && opcode == protocol::kData && window_ != 0) {
            OnWindowData(number);
        } else if (completed_ && opcode == protocol::kData && number == block_) {
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
    if (window_ != 0) {
        OnWindowData(number);
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
        AbortTransfer(protocol::ErrorCode::DiskFull, true);
        return;
    }
    size_ += static_cast<std::int64_t>(written);
    if (number < 2 || wasRetrying) {
        Report(TransferEvent::Progress, "Receiving");
    }
    if (last) {
        // The file must be whole under its name before the final ACK tells the client so.
        if (!FinishUpload()) {
            return;
        }
        Send(protocol::buildAck(buffer_, block_));
        active_ = false;
        completed_ = true;
    }
}

bool ClientTransfer::RetryTransfer() {
    return Resend();
}

bool ClientTransfer::Resend() {
    if (opcode_ != protocol::kRrq) {
        Report(TransferEvent::Retry, "Waiting ...");
        return true;
    }
    if (oackPending_) {
        SendOack();
    } else if (window_ != 0) {
        pump_.sender().rewind();
        PumpWindow();
    } else {
        if (blockRead_ && !file_.stepBack()) {
            return false;
        }
        position_ -= lastRead_;
        SendBlock();
    }
    Report(TransferEvent::Retry, "Retrying");
    return true;
}

void ClientTransfer::AbortTransfer(protocol::ErrorCode code, bool send) {
    file_.discardTemporary();
    resultText_.assign(protocol::serverErrorText(code));
    if (send && socket_.isOpen()) {
        // A failed option negotiation is refused with opcode 8 (and the text of code 0), which
        // this system's client reports as an option failure.
        std::size_t length =
            code == protocol::ErrorCode::OptionNegotiation
                ? protocol::buildOptionRefusal(
                      buffer_, protocol::serverErrorText(protocol::ErrorCode::Undefined))
                : protocol::buildError(buffer_, code, resultText_);
        Send(length);
    }
    active_ = false;
    // Nothing more goes out: the port is free at once, which matters under a flood.
    ReleaseSocket();
    Report(TransferEvent::Aborted, resultText_);
}

}  // namespace server
