#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <span>
#include <string>

#include "platform/ipv4.h"
#include "platform/udp_socket.h"

namespace server {

class CManager;
class ServerApplication;

// The listening socket: finds the address to serve on, applies the intake rules to every
// datagram and starts one transfer per admitted request.
class CServerSocket {
  public:
    explicit CServerSocket(ServerApplication& app);
    // Tells every running transfer's client that the server stops, ends the transfers, then
    // closes the socket.
    ~CServerSocket();
    CServerSocket(const CServerSocket&) = delete;
    CServerSocket& operator=(const CServerSocket&) = delete;

    bool StartListening();
    void OnReceive(int error);
    // Intake of a datagram that arrived by other means (the sender is from).
    void HandleDatagram(std::span<const std::uint8_t> datagram, const platform::Ipv4Endpoint& from);
    bool Dispatch(int length);
    void ShowServerInfo();

    std::list<std::unique_ptr<CManager>>& threads() { return threads_; }
    int clientCount() const { return static_cast<int>(threads_.size()); }
    // Transfers still running; the client limit counts these.
    int runningCount() const;
    const std::string& localAddressText() const { return localAddressText_; }
    std::uint16_t port() const { return listenAddress_.port; }

  private:
    bool ChooseAddress(std::uint32_t& chosen);
    void HandleRequest(int length);
    void Refuse(std::span<const std::uint8_t> packet);

    ServerApplication& app_;
    platform::UdpSocket socket_;
    bool watching_ = false;
    platform::Ipv4Endpoint listenAddress_;
    platform::Ipv4Endpoint peer_;
    std::string localAddressText_;
    std::array<std::uint8_t, 512> request_{};
    std::list<std::unique_ptr<CManager>> threads_;
    int addressCount_ = 0;
    std::string hostName_;
};

}  // namespace server
