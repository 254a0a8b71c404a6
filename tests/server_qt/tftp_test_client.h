#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/udp_socket.h"

namespace qttest {

// A lock-step TFTP reader on 127.0.0.1 for the window tests: it acknowledges DATA blocks up to
// ackLimit (all by default) whenever pump() runs, so a test decides when a transfer may end.
class TftpTestClient {
  public:
    explicit TftpTestClient(std::uint16_t serverPort);
    void fetch(const std::string& name);
    // Reads what has arrived and answers it; returns the number of datagrams handled.
    int pump();
    int fd() const { return socket_.fd(); }
    // Lifts ackLimit and acknowledges the last block again, so a held transfer goes on.
    void resume();

    int ackLimit = 0x7fffffff;
    std::vector<std::uint8_t> received;
    int lastBlock = 0;
    bool done = false;
    // The size of the last datagram from the listening port (a refusal), 0 when none.
    std::size_t refusalSize = 0;

  private:
    platform::UdpSocket socket_;
    std::uint16_t serverPort_;
    std::uint16_t transferPort_ = 0;
};

}  // namespace qttest
