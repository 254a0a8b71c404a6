// The windowed mode of a client transfer (the windowsize option): a read sends the blocks of a
// window in one batch and waits for an ACK; a write acknowledges the end of each window.

#include <algorithm>

#include "protocol/packet.h"
#include "server/engine/client_transfer.h"
#include "server/engine/server_application.h"

namespace server {

bool ClientTransfer::StartWindow(bool reading) {
    if (!pump_.start(socket_, reading, window_, static_cast<std::size_t>(blockSize_))) {
        app_.dialogs().messageBox("Unable to allocate buffers for transfer", MessageIcon::Error);
        AbortTransfer(protocol::ErrorCode::OptionNegotiation, true);
        return false;
    }
    if (!reading) {
        receiver_.start(window_);
    }
    return true;
}

void ClientTransfer::PumpWindow() {
    if (!pump_.pump(file_, socket_, peer_)) {
        AbortTransfer(protocol::ErrorCode::DiskFull, true);
        return;
    }
    const protocol::WindowSender& sender = pump_.sender();
    if (netascii_ && sender.lastBlockRead()) {
        size_ = static_cast<std::int64_t>(sender.readBytes());  // what the translation delivered
    }
}

void ClientTransfer::OnWindowAck(std::uint16_t opcode, std::uint16_t number) {
    if (opcode != protocol::kAck) {
        return;
    }
    if (oackPending_) {
        if (number != 0) {
            return;
        }
        oackPending_ = false;
        retries_ = 0;
        PumpWindow();
        return;
    }
    switch (pump_.sender().onAck(number)) {
        case protocol::WindowSender::Ack::Ignored:
            return;
        case protocol::WindowSender::Ack::Resend:
            PumpWindow();
            return;
        case protocol::WindowSender::Ack::Progress:
            retries_ = 0;
            PumpWindow();
            break;
        case protocol::WindowSender::Ack::Complete:
            retries_ = 0;
            active_ = false;
            completed_ = true;
            file_.close();
            ReleaseSocket();
            break;
    }
    position_ = static_cast<std::int64_t>(pump_.sender().ackedBytes());
    app_.NotifyView({TransferEvent::Progress, id_, size_ != 0 ? std::string() : reportedText_,
                     position_, size_});
}

void ClientTransfer::OnWindowData(std::uint16_t number) {
    const bool shortBlock =
        receivedLength_ < blockSize_ + static_cast<std::int64_t>(protocol::kHeaderSize);
    const protocol::WindowReceiver::Step step = receiver_.onData(number, shortBlock);
    if (!step.store) {
        if (step.ack) {
            Send(protocol::buildAck(buffer_, step.ackBlock));
        }
        return;
    }
    const bool wasRetrying = retries_ != 0;
    retries_ = 0;
    if (step.ack && !step.last) {
        // As in lock-step: the window's ACK goes out before its last block is stored (the ACK
        // overwrites only the header), so the client sends on while this one is written.
        Send(protocol::buildAck(buffer_, step.ackBlock));
    }
    const std::size_t bytes = static_cast<std::size_t>(receivedLength_) - protocol::kHeaderSize;
    const std::size_t written = file_.write(buffer_.data() + protocol::kHeaderSize, bytes);
    if (written < bytes) {
        AbortTransfer(protocol::ErrorCode::DiskFull, true);
        return;
    }
    size_ += static_cast<std::int64_t>(written);
    if (receiver_.blocks() < 2 || wasRetrying) {
        Report(TransferEvent::Progress, "Receiving");
    }
    if (step.last) {
        // The file must be whole under its name before the final ACK tells the client so.
        if (!FinishUpload()) {
            return;
        }
        Send(protocol::buildAck(buffer_, step.ackBlock));
        active_ = false;
        completed_ = true;
    }
}

}  // namespace server
