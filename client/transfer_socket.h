#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client/client_dialogs.h"
#include "client/client_messages.h"
#include "client/client_settings.h"
#include "client/transfer_setup.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/ipv4.h"
#include "platform/udp_socket.h"
#include "protocol/packet.h"
#include "protocol/transfer_file.h"
#include "protocol/window_receiver.h"
#include "protocol/window_sender.h"

namespace client {

// What a transfer works with; everything outlives the transfer.
struct TransferContext {
    platform::EventLoop& loop;
    const platform::Clock& clock;
    ClientDialogs& dialogs;
    ClientSettings& settings;
    TransferOwner& owner;
    LocalHost& localHost;
};

enum class BufferDirection { Send, Receive };

// One transfer of the client: a fetch (RRQ, DATA written to the local file and acknowledged) or
// a send (WRQ, each ACK answered with the next DATA block), on a UDP socket of its own, driven by
// the event loop's readable notifications and by CheckTimeout. The window owns it and replaces
// it at the next start; it is idle after SetUpLocalSocket, active after a successful StartFetch
// or StartSend, and ended (socket still open) after EndTransfer.
class CTransferSocket {
  public:
    CTransferSocket(TransferContext& context, TransferViewObserver* ownerView);
    ~CTransferSocket();
    CTransferSocket(const CTransferSocket&) = delete;
    CTransferSocket& operator=(const CTransferSocket&) = delete;

    // Set by the set-up before the start.
    int sendTimeoutOption = 0;
    int blockSize = protocol::kDefaultBlockSize;
    int sending = 0;
    int pathGiven = 0;
    // With pathGiven, the folder of the file to send, with its trailing separator.
    std::string givenDirectory;
    int timeoutSeconds = 10;
    // Blocks per window asked for with the windowsize option; 0 asks for none (lock-step).
    int windowSize = 0;

    // Chooses the local address (asking when the host has several or none can be found), binds
    // a UDP socket to it on a port the system picks and watches it. False when not ready.
    bool SetUpLocalSocket();
    // The packet buffer and the socket's buffer for the block size; a smaller socket buffer
    // than asked for lowers the block size. False after a message box.
    bool SizeBuffers(BufferDirection direction);
    // The request into the packet buffer, which grows to hold it; returns its length.
    std::size_t BuildRequest(protocol::Opcode opcode, std::string_view fileName,
                             std::string_view mode);
    // 1 when the request went out, 0 when the transfer did not start.
    int StartFetch(std::string_view remoteName, std::string_view localName,
                   std::string_view hostAddress, std::uint32_t port, bool binary);
    int StartSend(std::string_view remoteName, std::string_view localName,
                  std::string_view hostAddress, std::uint32_t port, bool binary,
                  std::string_view fileName);
    void OnReceive(int error);
    // Reads one datagram and handles it; false when nothing was waiting.
    bool ReceiveOne();
    // Also the abort (code 8). Codes 0 to 8 send that ERROR while active; -1 and -2 send nothing.
    void EndTransfer(int code);
    void CheckTimeout();

    bool active() const { return active_; }
    const std::string& localAddressText() const { return localAddressText_; }
    std::uint16_t localPort() const { return socket_.localEndpoint().port; }
    const platform::Ipv4Endpoint& peer() const { return peer_; }
    std::uint16_t block() const { return block_; }
    std::uint64_t fileSize() const { return fileSize_; }
    std::uint64_t count() const { return count_; }
    std::uint64_t bytesReceived() const { return bytesReceived_; }
    std::int64_t lastActivity() const { return lastActivity_; }

  private:
    void FetchHandler();
    void SendHandler();
    void OnData();
    void OnAck(std::uint16_t number);
    // Reads and sends the DATA block numbered block_; false when the file failed.
    bool SendBlock(bool resent);
    // The pairs of an OACK; false when the transfer ended over them.
    bool ApplyOptions();
    // The first reply tells whether the server took the block size asked for.
    void SettleBlockSize(bool blockSizeAnswered);
    void ShowServerMessage();
    void ShowStatus(std::string_view text);
    void Notify(TransferNotice notice);
    void SendPacket(std::size_t length);
    // The attempt ends before the request went out: nothing is sent and nothing reported.
    void AbandonStart();
    bool SendRequest(std::size_t length, std::string_view hostAddress, std::uint32_t port,
                     const char* failureFormat);
    // Windowed transfers, once the server's OACK has granted a window.
    bool StartWindow(std::uint64_t granted);
    bool PumpWindow();
    void OnWindowData();
    void OnWindowAck(std::uint16_t number);

    TransferContext& context_;
    TransferViewObserver* ownerView_;
    std::string localAddressText_;
    platform::Ipv4Endpoint peer_;
    bool active_ = false;
    int lastBlockRead_ = 0;
    std::vector<std::uint8_t> packet_;
    char statusText_[100] = {};
    protocol::TransferFile file_;
    std::uint16_t block_ = 1;
    std::size_t lastLength_ = 0;
    std::uint64_t fileSize_ = 0;
    std::uint64_t count_ = 0;
    std::uint64_t bytesReceived_ = 0;
    std::int64_t lastReadCount_ = 0;
    std::int64_t lastBlockOffset_ = -1;
    std::int64_t lastActivity_ = 0;

    platform::UdpSocket socket_;
    bool watching_ = false;
    // A progress notice posted and not yet delivered; later figures replace its value.
    struct PendingProgress {
        bool pending = false;
        TransferNotice notice;
    };
    std::shared_ptr<PendingProgress> progress_;
    bool lastPostWasProgress_ = false;
    // The block size the request asked for, 0 when it asked for none.
    int requestedBlockSize_ = 0;
    bool awaitingFirstReply_ = false;
    // The window asked for (0: none) and the one granted (0: lock-step).
    std::uint32_t askedWindow_ = 0;
    std::uint32_t window_ = 0;
    protocol::WindowSender sender_;
    protocol::WindowReceiver receiver_;
    std::size_t burst_ = 0;
    // The timer that sends the rest of a window given in parts; 0 when none is pending.
    platform::EventLoop::TimerId pacer_ = 0;
    // When a silent window was last nudged (resent, or its ACK repeated).
    std::int64_t lastNudge_ = 0;
};

}  // namespace client
