#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "client/client_dialogs.h"
#include "client/client_messages.h"
#include "client/client_settings.h"
#include "client/fetch_destination.h"
#include "client/transfer_setup.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/ipv4.h"
#include "platform/udp_socket.h"
#include "protocol/packet.h"
#include "protocol/transfer_file.h"
#include "protocol/window_pump.h"
#include "protocol/window_receiver.h"

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
//
// The packet sent last (request, ACK or DATA) stays in the send buffer and goes out again when
// nothing arrives for a retransmission interval, a bounded number of times. The first reply
// fixes the server's transfer port; datagrams from anyone else get ERROR 5 and change nothing.
// A fetch writes to a temporary file that takes the target's place only when it completed.
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
    // Ends the transfer after the time-out of silence; before that, sends the last packet again
    // once per retransmission interval.
    void CheckTimeout();
    // How long the last packet waits for an answer before it goes out again.
    std::int64_t RetransmissionIntervalMs() const;

    bool active() const { return active_; }
    const std::string& localAddressText() const { return localAddressText_; }
    std::uint16_t localPort() const { return socket_.localEndpoint().port; }
    const platform::Ipv4Endpoint& peer() const { return peer_; }
    std::uint16_t block() const { return block_; }
    std::uint64_t fileSize() const { return fileSize_; }
    std::uint64_t count() const { return count_; }
    std::uint64_t bytesReceived() const { return bytesReceived_; }
    std::int64_t lastActivity() const { return lastActivity_; }
    // The transfer ended because the server sent an ERROR (end code -1 then says no more).
    bool serverSentError() const { return serverSentError_; }
    // The retransmissions allowed for one packet.
    static constexpr int kMaxRetransmissions = 8;

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
    // Sends the first length bytes of the send buffer to the peer; they are the packet to
    // retransmit from now on.
    void SendPacket(std::size_t length);
    // A datagram from someone other than the peer: ERROR 5 to it, nothing else.
    void AnswerStranger(const platform::Ipv4Endpoint& from);
    struct OptionValue {
        std::string name;
        std::uint64_t value = 0;
    };
    // The pairs of the OACK just received, as far as they are complete.
    std::vector<OptionValue> ReadOptions() const;
    // False for an option that was not asked, or a block size larger than asked.
    bool OptionsAsked(const std::vector<OptionValue>& options) const;
    // After a completed fetch: the last block again from the server gets the final ACK again.
    void RepeatFinalAck(const platform::Ipv4Endpoint& from, std::size_t length);
    // The fetched file takes its place; false after the write error it reports.
    bool CompleteFetch();
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
    // What was sent last (kept for retransmission), and what arrived last.
    std::vector<std::uint8_t> packet_;
    std::vector<std::uint8_t> received_;
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
    bool askedTsize_ = false;
    bool askedTimeout_ = false;
    bool awaitingFirstReply_ = false;
    // The first reply fixed peer_ as the server's transfer port.
    bool peerKnown_ = false;
    bool serverSentError_ = false;
    // The packet to retransmit: its length in packet_ (0 = none), when it went out, how often
    // it went out again.
    std::size_t lastSentLength_ = 0;
    std::int64_t lastSentMs_ = 0;
    int retransmissions_ = 0;
    // A fetch that completed: the server may repeat its last block if the final ACK was lost.
    bool finalAckSent_ = false;
    std::uint16_t finalBlock_ = 0;
    FetchDestination destination_;
    // The window asked for (0: none) and the one granted (0: lock-step).
    std::uint32_t askedWindow_ = 0;
    std::uint32_t window_ = 0;
    protocol::WindowPump pump_{context_.loop, [this] {
                                   if (active_) {
                                       PumpWindow();
                                   }
                               }};
    protocol::WindowReceiver receiver_;
    // Milliseconds of the last datagram received or of the last nudge of a silent window
    // (resent, or its ACK repeated).
    std::int64_t lastNudge_ = 0;
};

}  // namespace client
