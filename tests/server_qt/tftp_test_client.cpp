#include "tests/server_qt/tftp_test_client.h"

namespace qttest {

TftpTestClient::TftpTestClient(std::uint16_t serverPort) : serverPort_(serverPort) {
    socket_.open(0x7f000001, 0);
}

void TftpTestClient::fetch(const std::string& name) {
    std::vector<std::uint8_t> rrq{0, 1};
    rrq.insert(rrq.end(), name.begin(), name.end());
    rrq.push_back(0);
    for (char c : std::string("octet")) {
        rrq.push_back(static_cast<std::uint8_t>(c));
    }
    rrq.push_back(0);
    socket_.sendTo(rrq.data(), rrq.size(), {0x7f000001, serverPort_});
}

void TftpTestClient::resume() {
    ackLimit = 0x7fffffff;
    const std::uint8_t ack[4] = {0, 4, static_cast<std::uint8_t>(lastBlock >> 8),
                                 static_cast<std::uint8_t>(lastBlock)};
    socket_.sendTo(ack, sizeof ack, {0x7f000001, transferPort_});
}

int TftpTestClient::pump() {
    int handled = 0;
    std::uint8_t buf[70000];
    for (int i = 0; i < 1000; ++i) {
        platform::Ipv4Endpoint from;
        const ssize_t n = socket_.receiveFrom(buf, sizeof buf, from);
        if (n < 0) {
            break;
        }
        ++handled;
        if (from.port == serverPort_) {
            refusalSize = static_cast<std::size_t>(n);
            continue;
        }
        if (n < 4 || buf[1] != 3) {
            continue;
        }
        transferPort_ = from.port;
        const int block = (buf[2] << 8) | buf[3];
        if (block == lastBlock + 1) {
            received.insert(received.end(), buf + 4, buf + n);
            lastBlock = block;
            done = n < 516;
        }
        if (block <= ackLimit) {
            const std::uint8_t ack[4] = {0, 4, buf[2], buf[3]};
            socket_.sendTo(ack, sizeof ack, {0x7f000001, transferPort_});
        }
    }
    return handled;
}

}  // namespace qttest
