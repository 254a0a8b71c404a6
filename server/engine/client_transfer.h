#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/ipv4.h"
#include "platform/udp_socket.h"
#include "protocol/packet.h"
#include "protocol/transfer_file.h"
#include "protocol/window_pump.h"
#include "protocol/window_receiver.h"
#include "server/engine/transfer_notice.h"

namespace server {

class ServerApplication;

inline constexpr std::size_t kRequestBufferSize = 512;

// One served request from its first answer to its end, on a UDP port of its own. Everything
// runs on the main thread, driven by its socket's readable notifications and by Supervise.
class ClientTransfer {
  public:
    ClientTransfer(ServerApplication& app, const platform::Ipv4Endpoint& peer,
                   std::span<const std::uint8_t, kRequestBufferSize> request,
                   std::string localAddress, int id);
    ~ClientTransfer();
    ClientTransfer(const ClientTransfer&) = delete;
    ClientTransfer& operator=(const ClientTransfer&) = delete;

    void BeginTransfer(int receivedLength);
    void OnReceive(int error);
    // The packet handling of OnReceive for a datagram that arrived by other means.
    void HandleDatagram(std::span<const std::uint8_t> datagram, const platform::Ipv4Endpoint& from);
    bool RetryTransfer();
    bool ResizeBuffers(bool reading);
    void AbortTransfer(protocol::ErrorCode code, bool send);
    // The server stops: a running transfer tells its peer instead of leaving it to time out.
    void Shutdown();

    // True for a retransmission of the request that started this transfer: the same request
    // from the same peer while the transfer runs (a duplicate may come late, after the
    // transfer has moved on; a port is one transfer's at a time).
    bool IsRepeatedRequest(std::span<const std::uint8_t> request,
                           const platform::Ipv4Endpoint& from) const;

    // What the supervisor reads and sets.
    bool active() const { return active_; }
    int timeout() const { return timeout_; }
    int opcode() const { return opcode_; }
    int id() const { return id_; }
    const std::string& resultText() const { return resultText_; }
    std::int64_t lastActivity() const { return lastActivity_; }
    void setLastActivity(std::int64_t seconds) { lastActivity_ = seconds; }
    int retries() const { return retries_; }
    void setRetries(int retries) { retries_ = retries; }

    int blockSize() const { return blockSize_; }
    const std::string& path() const { return path_; }
    const platform::Ipv4Endpoint& peer() const { return peer_; }
    // Bytes sent by a read, stored by a write.
    std::int64_t bytesMoved() const { return opcode_ == 1 ? position_ : size_; }
    std::int64_t startedAt() const { return startedAt_; }
    std::uint16_t localPort() const { return socket_.localEndpoint().port; }

  private:
    void SendBlock();
    bool Resend();
    // An ended transfer needs no port; an upload keeps its own to repeat the final ACK.
    void ReleaseSocket();
    void RefuseStranger(const platform::Ipv4Endpoint& from);
    bool PrepareUpload(const std::string& base);
    bool FinishUpload();
    void ProcessDatagram(std::size_t length, const platform::Ipv4Endpoint& from);
    void OnData();
    void OnAck();
    void EndByPeerError(std::string_view text);
    // Tells the view; the text is kept for a progress of an empty file, which shows it.
    void Report(TransferEvent event, std::string text);
    bool ApplyOptions(bool reading, bool& answerTsize, bool& answerTimeout, bool& answerBlksize);
    void SendOack();
    void Send(std::size_t length);
    // Windowed transfers (the windowsize option): the blocks of a window go out together, and
    // an upload is acknowledged per window.
    bool StartWindow(bool reading);
    void PumpWindow();
    void OnWindowAck(std::uint16_t opcode, std::uint16_t number);
    // A DATA packet in buffer_.
    void OnWindowData(std::uint16_t number);

    ServerApplication& app_;
    int timeout_ = 0;
    int blockSize_ = 512;
    std::string resultText_;
    platform::Ipv4Endpoint peer_;
    bool active_ = true;
    int id_;
    std::string localAddress_;
    std::string path_;
    std::string reportedText_;
    int opcode_ = 0;
    std::uint16_t block_ = 0;
    std::int64_t receivedLength_ = 0;
    protocol::TransferFile file_;
    bool netascii_ = false;
    bool lastBlock_ = false;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::int64_t lastActivity_ = 0;
    std::int64_t startedAt_ = 0;
    std::int64_t lastRead_ = 0;
    int duplicates_ = 0;
    int retries_ = 0;

    platform::UdpSocket socket_;
    bool watching_ = false;
    std::array<std::uint8_t, kRequestBufferSize> request_{};
    std::size_t requestLength_ = 0;
    // When the current block was last sent; a repeated ACK brings it again only well after.
    std::int64_t lastSentAt_ = 0;
    // Uploads: the resolved final path, and whether the file there is to be kept under a new
    // name when the upload is complete.
    std::string uploadPath_;
    bool keepExisting_ = false;
    // The OACK answered to a read, resent while its ACK 0 is outstanding.
    bool oackPending_ = false;
    bool oackTsize_ = false;
    bool oackTimeout_ = false;
    bool oackBlksize_ = false;
    std::uint32_t requestedTimeout_ = 0;
    // A read of the file happened for the block last sent, so a retry must step back over it.
    bool blockRead_ = false;
    // A write transfer has accepted at least one DATA; its last ACK may be repeated.
    bool dataAccepted_ = false;
    bool completed_ = false;
    // The window granted, 0 for a lock-step transfer.
    std::uint32_t window_ = 0;
    protocol::WindowPump pump_;
    protocol::WindowReceiver receiver_;
};

}  // namespace server
