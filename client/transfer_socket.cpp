#include "client/transfer_socket.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <new>

#include "client/client_error_table.h"
#include "client/transfer_form.h"
#include "client/transfer_status.h"
#include "platform/ascii_text.h"
#include "protocol/window_option.h"

namespace client {

namespace {

// Room around a block for the header and the request's options.
constexpr std::size_t kBufferSlack = 20;
// The buffer a transfer is made with; it also holds every ERROR packet whatever the block size.
constexpr std::size_t kInitialPacketSize = 520;
constexpr std::size_t kMaxLocalAddressText = 100;
constexpr std::string_view kOctet = "octet";
constexpr std::string_view kNetascii = "netascii";

std::size_t decimalLength(std::uint64_t value) {
    std::size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

bool canOpenForReading(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

std::string formatted(const char* format, int number) {
    char text[100];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

}  // namespace

CTransferSocket::CTransferSocket(TransferContext& context, TransferViewObserver* ownerView)
    : context_(context),
      ownerView_(ownerView),
      packet_(kInitialPacketSize),
      received_(kInitialPacketSize) {}

CTransferSocket::~CTransferSocket() {
    if (watching_) {
        context_.loop.unwatch(socket_.fd());
    }
    file_.close();
}

void CTransferSocket::ShowStatus(std::string_view text) {
    context_.owner.ShowStatus(text);
}

void CTransferSocket::Notify(TransferNotice notice) {
    if (ownerView_ == nullptr) {
        return;
    }
    const bool running = notice.message == WM_TRANSFERPROGRESS && notice.kind != kProgressTotal;
    if (running && lastPostWasProgress_ && progress_ && progress_->pending) {
        // The window has not seen the previous figure yet: it gets this one in its place, so a
        // transfer of many small blocks does not queue a notice per block.
        progress_->notice = std::move(notice);
        return;
    }
    lastPostWasProgress_ = running;
    if (running) {
        // The slot is reused once the window has taken the last figure (no allocation per block).
        if (!progress_ || progress_->pending || progress_.use_count() != 1) {
            progress_ = std::make_shared<PendingProgress>();
        }
        progress_->pending = true;
        progress_->notice = std::move(notice);
        context_.loop.post([view = ownerView_, slot = progress_] {
            slot->pending = false;
            view->OnTransferNotice(slot->notice);
        });
        return;
    }
    context_.loop.post(
        [view = ownerView_, notice = std::move(notice)] { view->OnTransferNotice(notice); });
}

void CTransferSocket::SendPacket(std::size_t length) {
    // A failed send is not reported: the retransmission and the time-out cover it.
    if (length != 0) {
        socket_.sendTo(packet_.data(), length, peer_);
    }
    lastSentLength_ = length;
    lastSentMs_ = context_.clock.nowMilliseconds();
    retransmissions_ = 0;
}

void CTransferSocket::AnswerStranger(const platform::Ipv4Endpoint& from) {
    // Built apart from the send buffer, which still holds the packet to retransmit.
    std::uint8_t answer[64];
    const std::size_t length =
        protocol::buildError(answer, protocol::ErrorCode::UnknownTransferId, clientErrorText(5));
    socket_.sendTo(answer, length, from);
}

bool CTransferSocket::SetUpLocalSocket() {
    LocalHost& host = context_.localHost;
    std::string address;
    bool manual = false;
    if (!host.name || !host.name()) {
        context_.dialogs.MessageBox("Unable to resolve Local Host name");
        manual = true;
    } else {
        std::vector<std::string> texts;
        for (std::uint32_t a : host.addresses ? host.addresses() : std::vector<std::uint32_t>{}) {
            texts.push_back(platform::formatAddress(a));
        }
        if (texts.empty()) {
            context_.dialogs.MessageBox("Unable to resolve Local Host I.P. address");
            manual = true;
        } else {
            address = texts[ChooseLocalAddress(texts, context_.settings.DefaultIP, host.showAgain,
                                               context_.dialogs)];
        }
    }
    if (manual) {
        auto typed = context_.dialogs.AskLocalAddress();
        if (!typed) {
            return false;
        }
        address = std::move(*typed);
    }
    localAddressText_ = std::string(CutText(address, kMaxLocalAddressText));
    Notify(TransferNotice{WM_LOCALADDRESS, 0, 0, localAddressText_});

    auto parsed = platform::parseAddress(localAddressText_);
    if (!parsed || !socket_.open(*parsed, 0)) {
        context_.dialogs.MessageBox("Unable to Create port");
        return false;
    }
    if (!context_.loop.watchReadable(socket_.fd(), [this] { OnReceive(0); })) {
        context_.dialogs.MessageBox("Unable to Select local port mode");
        return false;
    }
    watching_ = true;
    lastBlockOffset_ = -1;
    lastReadCount_ = 0;
    return true;
}

bool CTransferSocket::SizeBuffers(BufferDirection direction) {
    if (blockSize < protocol::kMinBlockSize || blockSize > protocol::kMaxBlockSize) {
        context_.dialogs.MessageBox("Block size settings not valid for sockets");
        return false;
    }
    const std::size_t want = static_cast<std::size_t>(blockSize) + kBufferSlack;
    try {
        packet_.resize(std::max(want, kInitialPacketSize));
        received_.resize(std::max(want, kInitialPacketSize));
    } catch (const std::bad_alloc&) {
        context_.dialogs.MessageBox("Unable to allocate buffers for transfer");
        return false;
    }
    const int wantBytes = static_cast<int>(want);
    using Buffer = platform::UdpSocket::Buffer;
    const int askBytes = platform::socketBufferFor(wantBytes);
    const int granted = socket_.sizeBuffer(
        direction == BufferDirection::Send ? Buffer::Send : Buffer::Receive, askBytes);
    if (granted < 0) {
        context_.dialogs.MessageBox("Block size settings not valid for sockets");
        return false;
    }
    if (granted < wantBytes) {
        const int reduced = granted - static_cast<int>(kBufferSlack);
        if (reduced < protocol::kMinBlockSize) {
            context_.dialogs.MessageBox("Block size settings not valid for sockets");
            return false;
        }
        blockSize = reduced;
        try {
            packet_.resize(std::max(static_cast<std::size_t>(granted), kInitialPacketSize));
            received_.resize(packet_.size());
        } catch (const std::bad_alloc&) {
            context_.dialogs.MessageBox("Unable to allocate buffers for transfer");
            return false;
        }
        Notify(TransferNotice{WM_BLOCKSIZECHANGED, 0, static_cast<std::uint64_t>(blockSize), {}});
    }
    return true;
}

std::size_t CTransferSocket::BuildRequest(protocol::Opcode opcode, std::string_view fileName,
                                          std::string_view mode) {
    protocol::OptionPair options[4];
    std::size_t count = 0;
    askedTsize_ = false;
    if (opcode == protocol::kRrq) {
        // The size of a text-mode fetch is not known before the server has converted it, so
        // servers refuse the option there (tftpd-hpa ends the transfer with ERROR 8); it only
        // feeds the progress bar, so a netascii request goes without it.
        if (!platform::EqualsIgnoreCase(mode, kNetascii)) {
            options[count++] = {"tsize", 0};
            askedTsize_ = true;
        }
    } else if (context_.settings.TSize) {
        options[count++] = {"tsize", fileSize_};
        askedTsize_ = true;
    }
    askedTimeout_ = sendTimeoutOption == 1;
    if (askedTimeout_) {
        options[count++] = {"timeout", static_cast<std::uint64_t>(std::max(timeoutSeconds, 0))};
    }
    requestedBlockSize_ = 0;
    if (blockSize != protocol::kDefaultBlockSize) {
        options[count++] = {"blksize", static_cast<std::uint64_t>(blockSize)};
        requestedBlockSize_ = blockSize;
    }
    window_ = 0;
    askedWindow_ = 0;
    if (windowSize > 0) {
        // A send asks for no more than two windows of packets in memory allow.
        const std::uint64_t asked =
            opcode == protocol::kWrq
                ? protocol::grantedSendWindow(static_cast<std::uint32_t>(windowSize),
                                              static_cast<std::size_t>(blockSize))
                : static_cast<std::uint64_t>(windowSize);
        options[count++] = {protocol::kWindowSizeOption, asked};
        askedWindow_ = static_cast<std::uint32_t>(asked);
    }
    // However long the name and whatever the block size, the request must fit.
    std::size_t needed = 2 + fileName.size() + 1 + mode.size() + 1;
    for (std::size_t i = 0; i < count; ++i) {
        needed += options[i].name.size() + 1 + decimalLength(options[i].value) + 1;
    }
    if (packet_.size() < needed) {
        try {
            packet_.resize(needed);
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
    return protocol::buildRequest(packet_, opcode, fileName, mode,
                                  std::span<const protocol::OptionPair>(options, count));
}

void CTransferSocket::AbandonStart() {
    active_ = false;
    file_.close();
    destination_.Discard();
}

bool CTransferSocket::SendRequest(std::size_t length, std::string_view hostAddress,
                                  std::uint32_t port, const char* failureFormat) {
    auto address = platform::parseAddress(hostAddress);
    // Replies before the first datagram, and an abort before any, go to the request's host.
    peer_ = platform::Ipv4Endpoint{address.value_or(0), static_cast<std::uint16_t>(port & 0xffff)};
    peerKnown_ = false;
    serverSentError_ = false;
    finalAckSent_ = false;
    errno = EINVAL;
    if (!address || length == 0 || !socket_.sendTo(packet_.data(), length, peer_)) {
        context_.dialogs.MessageBox(formatted(failureFormat, errno));
        AbandonStart();
        return false;
    }
    lastSentLength_ = length;
    lastSentMs_ = context_.clock.nowMilliseconds();
    retransmissions_ = 0;
    return true;
}

int CTransferSocket::StartFetch(std::string_view remoteName, std::string_view localName,
                                std::string_view hostAddress, std::uint32_t port, bool binary) {
    if (!SizeBuffers(BufferDirection::Receive)) {
        return 0;
    }
    lastActivity_ = context_.clock.nowSeconds();
    active_ = true;
    bytesReceived_ = 0;
    count_ = 0;
    block_ = 1;
    fileSize_ = 0;
    awaitingFirstReply_ = true;
    const std::size_t length =
        BuildRequest(protocol::kRrq, remoteName, binary ? kOctet : kNetascii);

    std::string path = context_.settings.Inbound;
    path.append(localName);
    if (!context_.settings.OverWrite && canOpenForReading(path) &&
        !context_.dialogs.AskYesNo("File already exists\n\nOverwrite it ?")) {
        AbandonStart();
        return 0;
    }
    if (!destination_.Create(path) || !file_.openForWrite(destination_.partPath(), !binary)) {
        context_.dialogs.MessageBox("Unable to create file : " + path);
        AbandonStart();
        return 0;
    }
    ShowStatus("Requesting file from server ...");
    return SendRequest(length, hostAddress, port, "Client : Error sending to host : %d") ? 1 : 0;
}

int CTransferSocket::StartSend(std::string_view remoteName, std::string_view localName,
                               std::string_view hostAddress, std::uint32_t port, bool binary,
                               std::string_view fileName) {
    if (!SizeBuffers(BufferDirection::Send)) {
        return 0;
    }
    lastActivity_ = context_.clock.nowSeconds();
    active_ = true;
    block_ = 1;
    lastBlockRead_ = 0;
    count_ = 0;
    lastBlockOffset_ = -1;
    lastReadCount_ = 0;
    awaitingFirstReply_ = true;

    std::string path = pathGiven == 1 ? givenDirectory : context_.settings.Outbound;
    path.append(pathGiven == 1 ? fileName : localName);
    if (!file_.openForRead(path, !binary)) {
        context_.dialogs.MessageBox("Unable to open file");
        AbandonStart();
        return 0;
    }
    fileSize_ = static_cast<std::uint64_t>(file_.size());
    const std::size_t length =
        BuildRequest(protocol::kWrq, remoteName, binary ? kOctet : kNetascii);
    ShowStatus("Offering file to server ...");
    Notify(TransferNotice{WM_TRANSFERPROGRESS, kProgressTotal, fileSize_, {}});
    return SendRequest(length, hostAddress, port, "Error sending to host : %d") ? 1 : 0;
}

void CTransferSocket::OnReceive(int error) {
    if (error != 0) {
        return;
    }
    // A window arrives as a burst: take what is waiting in one go.
    const std::uint32_t batch = std::max<std::uint32_t>(window_, 1);
    int yields = 0;
    for (std::uint32_t i = 0; i < batch;) {
        if (ReceiveOne()) {
            ++i;
        } else if (sending != 0 || !active_ || !receiver_.yieldForRestOfWindow(yields)) {
            break;
        }
    }
}

bool CTransferSocket::ReceiveOne() {
    if (!socket_.isOpen()) {
        return false;
    }
    // Reading also while ended keeps a level-triggered watch from spinning on a late datagram.
    // The whole buffer takes any packet: with tiny blocks an OACK or ERROR is longer than a
    // block; only DATA is held to the block size.
    const std::size_t capacity = received_.size();
    platform::Ipv4Endpoint from;
    const ssize_t n = socket_.receiveFrom(received_.data(), capacity, from);
    if (n < 0) {
        return false;
    }
    auto length = static_cast<std::size_t>(n);
    if (length < protocol::kHeaderSize) {
        return true;  // too short to be a packet
    }
    if (!active_) {
        RepeatFinalAck(from, length);
        return true;
    }
    if (peerKnown_ && !(from == peer_)) {
        AnswerStranger(from);
        return true;
    }
    const std::uint16_t opcode = protocol::readU16(received_.data());
    if (opcode == protocol::kData &&
        length > static_cast<std::size_t>(blockSize) + protocol::kHeaderSize) {
        return true;
    }
    if (length > capacity) {
        // Only an ERROR may be longer than the buffer: its text is shown as far as it came.
        if (opcode != protocol::kError) {
            return true;
        }
        length = capacity;
    }
    peer_ = from;
    peerKnown_ = true;
    lastLength_ = length;
    lastActivity_ = context_.clock.nowSeconds();
    lastNudge_ = context_.clock.nowMilliseconds();
    if (sending == 1) {
        SendHandler();
    } else {
        FetchHandler();
    }
    return true;
}

void CTransferSocket::RepeatFinalAck(const platform::Ipv4Endpoint& from, std::size_t length) {
    // The final ACK was lost if the server sends its last block again.
    if (finalAckSent_ && from == peer_ && length <= received_.size() &&
        protocol::readU16(received_.data()) == protocol::kData &&
        protocol::readU16(received_.data() + 2) == finalBlock_) {
        socket_.sendTo(packet_.data(), protocol::buildAck(packet_, finalBlock_), peer_);
    }
}

void CTransferSocket::ShowServerMessage() {
    serverSentError_ = true;
    protocol::ParsedPacket parsed;
    protocol::parsePacket(std::span<const std::uint8_t>(received_.data(), lastLength_), parsed);
    ShowStatus(FormatServerMessage(statusText_, parsed.text));
}

void CTransferSocket::FetchHandler() {
    const std::uint16_t opcode = protocol::readU16(received_.data());
    switch (opcode) {
        case protocol::kError:
            ShowServerMessage();
            EndTransfer(-1);
            break;
        case protocol::kOptionRefusal:
            EndTransfer(7);
            break;
        case protocol::kOack:
            if (ApplyOptions()) {
                SendPacket(protocol::buildAck(packet_, 0));
            }
            break;
        case protocol::kData:
            OnData();
            break;
        default:
            std::snprintf(statusText_, sizeof statusText_, "Unknown TFTP command received %d",
                          static_cast<int>(opcode));
            ShowStatus(statusText_);
            EndTransfer(4);
            break;
    }
}

void CTransferSocket::SendHandler() {
    const std::uint16_t opcode = protocol::readU16(received_.data());
    switch (opcode) {
        case protocol::kError:
            ShowServerMessage();
            EndTransfer(-1);
            break;
        case protocol::kOptionRefusal:
            ShowStatus("Option Failure");
            EndTransfer(7);
            break;
        case protocol::kOack:
            if (ApplyOptions()) {
                if (window_ != 0) {
                    PumpWindow();
                } else {
                    OnAck(0);
                }
            }
            break;
        case protocol::kAck:
            OnAck(protocol::readU16(received_.data() + 2));
            break;
        default:
            EndTransfer(4);
            break;
    }
}

void CTransferSocket::SettleBlockSize(bool blockSizeAnswered) {
    if (!awaitingFirstReply_) {
        return;
    }
    awaitingFirstReply_ = false;
    // A server that does not answer the blksize option has refused it: blocks are 512 bytes,
    // and keeping the size asked for would take its first short block for the last one.
    if (requestedBlockSize_ != 0 && !blockSizeAnswered &&
        blockSize != protocol::kDefaultBlockSize) {
        blockSize = protocol::kDefaultBlockSize;
        Notify(TransferNotice{WM_BLOCKSIZECHANGED, 0, static_cast<std::uint64_t>(blockSize), {}});
    }
}

std::vector<CTransferSocket::OptionValue> CTransferSocket::ReadOptions() const {
    std::vector<OptionValue> options;
    for (const auto& [name, value] :
         protocol::parseOack(std::span(received_.data(), lastLength_))) {
        options.push_back({std::string(name), LeadingDecimal(value, UINT64_MAX)});
    }
    return options;
}

bool CTransferSocket::OptionsAsked(const std::vector<OptionValue>& options) const {
    for (const OptionValue& option : options) {
        const bool asked =
            (platform::EqualsIgnoreCase(option.name, "tsize") && askedTsize_) ||
            (platform::EqualsIgnoreCase(option.name, "timeout") && askedTimeout_) ||
            (platform::EqualsIgnoreCase(option.name, "blksize") && requestedBlockSize_ != 0 &&
             option.value <= static_cast<std::uint64_t>(requestedBlockSize_)) ||
            (platform::EqualsIgnoreCase(option.name, protocol::kWindowSizeOption) &&
             askedWindow_ != 0 && option.value >= 1 && option.value <= askedWindow_);
        if (!asked) {
            return false;
        }
    }
    return true;
}

bool CTransferSocket::ApplyOptions() {
    const std::vector<OptionValue> options = ReadOptions();
    // A server may only answer what was asked, and may only lower the block size.
    if (!OptionsAsked(options)) {
        ShowStatus("Option Failure");
        EndTransfer(8);
        return false;
    }
    bool blockSizeAnswered = false;
    std::uint64_t windowGranted = 0;
    for (const OptionValue& option : options) {
        if (platform::EqualsIgnoreCase(option.name, "tsize")) {
            if (sending == 0) {
                fileSize_ = option.value;
                Notify(TransferNotice{WM_TRANSFERPROGRESS, kProgressTotal, option.value, {}});
            }
        } else if (platform::EqualsIgnoreCase(option.name, "blksize")) {
            blockSizeAnswered = true;
            if (option.value != static_cast<std::uint64_t>(blockSize)) {
                // A size no UDP datagram can carry cannot be set up at all.
                if (option.value < protocol::kMinBlockSize) {
                    context_.dialogs.MessageBox("Block size settings not valid for sockets");
                    EndTransfer(0);
                    return false;
                }
                blockSize = static_cast<int>(option.value);
                if (!SizeBuffers(sending == 1 ? BufferDirection::Send : BufferDirection::Receive)) {
                    EndTransfer(0);
                    return false;
                }
            }
        } else if (platform::EqualsIgnoreCase(option.name, protocol::kWindowSizeOption)) {
            windowGranted = option.value;
        }
        // "timeout" leaves the local time-out as it is.
    }
    SettleBlockSize(blockSizeAnswered);
    // Without a windowsize answer the transfer stays lock-step.
    return windowGranted == 0 || StartWindow(windowGranted);
}

bool CTransferSocket::StartWindow(std::uint64_t granted) {
    window_ = static_cast<std::uint32_t>(granted);
    lastNudge_ = context_.clock.nowMilliseconds();
    if (!pump_.start(socket_, sending == 1, window_, static_cast<std::size_t>(blockSize))) {
        context_.dialogs.MessageBox("Unable to allocate buffers for transfer");
        EndTransfer(0);
        return false;
    }
    if (sending == 0) {
        receiver_.start(window_);
    }
    return true;
}

bool CTransferSocket::PumpWindow() {
    if (!pump_.pump(file_, socket_, peer_)) {
        context_.dialogs.MessageBox("Error reading local file");
        EndTransfer(3);
        return false;
    }
    return true;
}

void CTransferSocket::OnWindowAck(std::uint16_t number) {
    switch (pump_.sender().onAck(number)) {
        case protocol::WindowSender::Ack::Ignored:
            return;
        case protocol::WindowSender::Ack::Resend:
            PumpWindow();
            return;
        case protocol::WindowSender::Ack::Progress:
            if (!PumpWindow()) {
                return;
            }
            break;
        case protocol::WindowSender::Ack::Complete:
            break;
    }
    count_ = pump_.sender().ackedBytes();
    Notify(TransferNotice{WM_TRANSFERPROGRESS, kProgressSent, count_, {}});
    ShowStatus(FormatSent(statusText_, count_, fileSize_, false));
    if (pump_.sender().complete()) {
        EndTransfer(-1);
    }
}

void CTransferSocket::OnWindowData() {
    const std::uint16_t number = protocol::readU16(received_.data() + 2);
    const bool shortBlock =
        lastLength_ != static_cast<std::size_t>(blockSize) + protocol::kHeaderSize;
    const protocol::WindowReceiver::Step step = receiver_.onData(number, shortBlock);
    if (!step.store) {
        if (step.ack) {
            SendPacket(protocol::buildAck(packet_, step.ackBlock));
        }
        return;
    }
    if (step.ack && !step.last) {
        // Acknowledged before it is stored, so the server sends on meanwhile.
        SendPacket(protocol::buildAck(packet_, step.ackBlock));
    }
    const std::size_t bytes = lastLength_ - protocol::kHeaderSize;
    if (file_.write(received_.data() + protocol::kHeaderSize, bytes) < bytes) {
        context_.dialogs.MessageBox("Error writing to local file");
        EndTransfer(3);
        return;
    }
    bytesReceived_ += bytes;
    ++count_;
    if (!step.ack) {
        return;  // progress shows per acknowledged window
    }
    ShowStatus(FormatReceived(statusText_, bytesReceived_, count_, false));
    if (fileSize_ != 0) {
        Notify(TransferNotice{WM_TRANSFERPROGRESS, kProgressReceived, bytesReceived_, {}});
    }
    if (step.last) {
        if (!CompleteFetch()) {
            return;
        }
        SendPacket(protocol::buildAck(packet_, step.ackBlock));
        finalAckSent_ = true;
        finalBlock_ = step.ackBlock;
        ShowStatus(FormatReceived(statusText_, bytesReceived_, count_, true));
        EndTransfer(-1);
    }
}

void CTransferSocket::OnData() {
    SettleBlockSize(false);
    if (window_ != 0) {
        OnWindowData();
        return;
    }
    const std::uint16_t number = protocol::readU16(received_.data() + 2);
    if (number != block_) {
        SendPacket(protocol::buildAck(packet_, static_cast<std::uint16_t>(block_ - 1)));
        return;
    }
    const std::size_t bytes = lastLength_ - protocol::kHeaderSize;
    const bool last = lastLength_ != static_cast<std::size_t>(blockSize) + protocol::kHeaderSize;
    if (!last) {
        // Acknowledged before it is stored, so the server reads and sends the next block while
        // this one is written. A failed store still ends the transfer with an error before the
        // last block is acknowledged.
        SendPacket(protocol::buildAck(packet_, block_));
    }
    if (file_.write(received_.data() + protocol::kHeaderSize, bytes) < bytes) {
        context_.dialogs.MessageBox("Error writing to local file");
        EndTransfer(3);
        return;
    }
    bytesReceived_ += bytes;
    ++count_;
    ShowStatus(FormatReceived(statusText_, bytesReceived_, count_, false));
    if (fileSize_ != 0) {
        Notify(TransferNotice{WM_TRANSFERPROGRESS, kProgressReceived, bytesReceived_, {}});
    }
    if (last) {
        // The file's last bytes reach the disk before the server hears that all is well: a
        // failure there must end the transfer as a local write error, not as a success.
        if (!CompleteFetch()) {
            return;
        }
        SendPacket(protocol::buildAck(packet_, block_));
        finalAckSent_ = true;
        finalBlock_ = block_;
    }
    ++block_;
    if (last) {
        ShowStatus(FormatReceived(statusText_, bytesReceived_, count_, true));
        EndTransfer(-1);
    }
}

bool CTransferSocket::CompleteFetch() {
    if (!file_.close() || !destination_.Commit()) {
        context_.dialogs.MessageBox("Error writing to local file");
        EndTransfer(3);
        return false;
    }
    return true;
}

bool CTransferSocket::SendBlock(bool resent) {
    const std::int64_t got =
        file_.readPacket(packet_, protocol::kHeaderSize, static_cast<std::size_t>(blockSize));
    if (got < 0) {
        // Sending what could not be read as a short block would end the transfer as a success.
        context_.dialogs.MessageBox("Error reading local file");
        EndTransfer(3);
        return false;
    }
    count_ = count_ - static_cast<std::uint64_t>(resent ? lastReadCount_ : 0) +
             static_cast<std::uint64_t>(got);
    lastReadCount_ = got;
    Notify(TransferNotice{WM_TRANSFERPROGRESS, kProgressSent, count_, {}});
    ShowStatus(FormatSent(statusText_, count_, fileSize_, resent));
    protocol::buildDataHeader(packet_, block_);
    SendPacket(protocol::kHeaderSize + static_cast<std::size_t>(got));
    if (got < blockSize) {
        lastBlockRead_ = 1;
    } else {
        file_.prefetch(packet_.size(), protocol::kHeaderSize, static_cast<std::size_t>(blockSize));
    }
    ++block_;
    return true;
}

void CTransferSocket::OnAck(std::uint16_t number) {
    SettleBlockSize(false);
    if (window_ != 0) {
        OnWindowAck(number);
        return;
    }
    if (number == static_cast<std::uint16_t>(block_ - 1)) {
        if (lastBlockRead_ == 1) {
            EndTransfer(-1);
            return;
        }
        lastBlockOffset_ = static_cast<std::int64_t>(count_);
        SendBlock(false);
    } else if (number == static_cast<std::uint16_t>(block_ - 2) && lastBlockOffset_ >= 0 &&
               context_.clock.nowMilliseconds() - lastSentMs_ >= RetransmissionIntervalMs() / 2 &&
               file_.stepBack()) {
        // The server repeats the ACK before the last block: that block was lost. A repeat that
        // follows the block at once answers a duplicate of the block before, not a loss;
        // answering it would send every block twice from then on.
        --block_;
        SendBlock(true);
    }
}

void CTransferSocket::EndTransfer(int code) {
    if (active_ && code != -1 && code != -2) {
        const std::string_view text = clientErrorText(static_cast<unsigned>(code));
        SendPacket(protocol::buildError(packet_, static_cast<protocol::ErrorCode>(code), text));
    }
    file_.close();
    destination_.Discard();  // after a completed fetch there is nothing left to discard
    active_ = false;
    lastSentLength_ = 0;
    context_.owner.OnTransferEnded(code);
}

std::int64_t CTransferSocket::RetransmissionIntervalMs() const {
    // A second, or a third of a shorter time-out, so a few go out before it.
    constexpr std::int64_t kInterval = 1000;
    return std::min<std::int64_t>(kInterval, std::max(timeoutSeconds, 1) * kInterval / 3);
}

void CTransferSocket::CheckTimeout() {
    if (!active_) {
        return;
    }
    if (context_.clock.nowSeconds() - timeoutSeconds > lastActivity_) {
        ShowStatus("Timed out");
        EndTransfer(-2);
        return;
    }
    const std::int64_t now = context_.clock.nowMilliseconds();
    if (window_ != 0) {
        // A window whose tail was lost leaves both sides waiting: after an interval of silence
        // the sender goes again from the first unacknowledged block, or the receiver repeats
        // the ACK of the last block it has in order.
        if (now - lastNudge_ >= RetransmissionIntervalMs()) {
            lastNudge_ = now;
            if (sending == 1) {
                pump_.sender().rewind();
                PumpWindow();
            } else {
                SendPacket(protocol::buildAck(packet_, receiver_.lastInOrder()));
            }
        }
        return;
    }
    if (lastSentLength_ != 0 && retransmissions_ < kMaxRetransmissions &&
        now - lastSentMs_ >= RetransmissionIntervalMs()) {
        socket_.sendTo(packet_.data(), lastSentLength_, peer_);
        lastSentMs_ = now;
        ++retransmissions_;
    }
}

}  // namespace client
