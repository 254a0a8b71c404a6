#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/udp_socket.h"
#include "protocol/packet.h"
#include "server/engine/client_transfer.h"
#include "server/engine/manager.h"
#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"

namespace enginetest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A request datagram: opcode, name, mode and option pairs, each followed by a zero.
inline Bytes request(std::uint16_t opcode, std::string_view name, std::string_view mode,
                     std::vector<std::pair<std::string, std::string>> options = {}) {
    Bytes out{static_cast<std::uint8_t>(opcode >> 8), static_cast<std::uint8_t>(opcode)};
    auto add = [&out](std::string_view s) {
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    };
    add(name);
    add(mode);
    for (auto& [k, v] : options) {
        add(k);
        add(v);
    }
    return out;
}

inline Bytes ack(std::uint16_t block) {
    return {0, 4, static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block)};
}

inline Bytes data(std::uint16_t block, const Bytes& payload) {
    Bytes out(4 + payload.size());
    out[1] = 3;
    protocol::writeU16(out.data() + 2, block);
    // Byte by byte: GCC 12 warns falsely about a bulk copy of an empty payload.
    for (std::size_t i = 0; i < payload.size(); ++i) {
        out[4 + i] = payload[i];
    }
    return out;
}

inline Bytes errorPacket(std::uint16_t code, std::string_view text) {
    Bytes out{0, 5, static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    return out;
}

inline std::uint16_t opcodeOf(const Bytes& b) {
    return protocol::readU16(b.data());
}
inline std::uint16_t blockOf(const Bytes& b) {
    return protocol::readU16(b.data() + 2);
}

class RecordingView final : public server::ViewObserver {
  public:
    void onTransferNotice(const server::TransferNotice& notice) override {
        events.push_back(notice);
    }
    void onNewDocument() override { ++newDocuments; }
    std::vector<std::string> texts(server::TransferEvent event) const {
        std::vector<std::string> out;
        for (auto& e : events) {
            if (e.event == event) {
                out.push_back(e.text);
            }
        }
        return out;
    }
    std::vector<server::TransferNotice> events;
    int newDocuments = 0;
};

class RecordingDialogs final : public server::ServerDialogs {
  public:
    void messageBox(std::string_view text, server::MessageIcon) override {
        messages.emplace_back(text);
    }
    std::optional<std::string> askListeningAddress() override { return std::nullopt; }
    server::MultihomedAnswer chooseHostAddress(const std::vector<std::string>& addresses,
                                               bool) override {
        ++multihomedAsked;
        lastAddresses = addresses;
        return multihomedAnswer;
    }
    void showWaitDialog(server::WaitDialogKind kind, std::function<void()> drop,
                        std::function<void()> keep) override {
        shown.push_back(kind);
        dropClients = std::move(drop);
        keepClients = std::move(keep);
    }
    void closeWaitDialog(server::WaitDialogKind kind) override { closed.push_back(kind); }
    void showServerInfo(const server::ServerInfo& info) override { lastInfo = info; }

    std::vector<std::string> messages;
    int multihomedAsked = 0;
    std::vector<std::string> lastAddresses;
    server::MultihomedAnswer multihomedAnswer;
    std::vector<server::WaitDialogKind> shown;
    std::vector<server::WaitDialogKind> closed;
    std::function<void()> dropClients;
    std::function<void()> keepClients;
    server::ServerInfo lastInfo;
};

// A second client on a port of its own: sends a datagram and pumps the loop until an answer
// reaches it.
class OtherClient {
  public:
    explicit OtherClient(platform::EventLoop& loop) : loop_(loop) {
        EXPECT_TRUE(socket_.open(0x7f000001, 0));
    }
    std::optional<Bytes> send(std::uint16_t port, const Bytes& datagram) {
        socket_.sendTo(datagram.data(), datagram.size(), {0x7f000001, port});
        Bytes buf(600);
        for (int pass = 0; pass < 200; ++pass) {
            loop_.runOnce(pass < 5 ? 0 : 5);
            ssize_t n = socket_.receiveFrom(buf.data(), buf.size(), from);
            if (n >= 0) {
                buf.resize(static_cast<std::size_t>(n));
                return buf;
            }
        }
        return std::nullopt;
    }
    // Where the last answer came from.
    platform::Ipv4Endpoint from;

  private:
    platform::EventLoop& loop_;
    platform::UdpSocket socket_;
};

// A server on 127.0.0.1 with a scratch folder, an injected clock and a client socket.
class EngineTest : public ::testing::Test {
  protected:
    EngineTest() {
        char pattern[] = "/tmp/ravendock-engine-XXXXXX";
        root_ = ::mkdtemp(pattern);
        std::filesystem::create_directories(root_ + "/out");
        std::filesystem::create_directories(root_ + "/in");
        app.settings.OutPath = root_ + "/out/";
        app.settings.InPath = root_ + "/in/";
        app.settings.nClientLimit = 5;
        app.listenAddress = "127.0.0.1";
        app.setViewObserver(&view);
        client.open(0x7f000001, 0);
    }
    ~EngineTest() override {
        app.DestroyListener();
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    const std::string& root() const { return root_; }
    std::string outPath(const std::string& name) const { return root_ + "/out/" + name; }
    std::string inPath(const std::string& name) const { return root_ + "/in/" + name; }

    static void writeFile(const std::string& path, const std::string& body) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << body;
    }
    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Starts listening on a free port.
    void listen() {
        for (int attempt = 0; attempt < 50; ++attempt) {
            app.settings.Port = std::to_string(20000 + (::rand() % 40000));
            if (app.CreateListener()) {
                listenPort = app.listener()->port();
                return;
            }
        }
        FAIL() << "no free port";
    }

    void sendTo(std::uint16_t port, const Bytes& datagram) {
        ASSERT_TRUE(client.sendTo(datagram.data(), datagram.size(), {0x7f000001, port}));
    }
    void sendToListener(const Bytes& datagram) { sendTo(listenPort, datagram); }
    // The client continues from a port of its own, as a new client would.
    void newClientPort() {
        client.close();
        ASSERT_TRUE(client.open(0x7f000001, 0));
    }
    void sendToTransfer(const Bytes& datagram) { sendTo(transferPort, datagram); }

    // Pumps the loop until a datagram reaches the client; remembers the transfer's port.
    std::optional<Bytes> receive(int maxPasses = 200) {
        Bytes buf(70000);
        for (int pass = 0; pass < maxPasses; ++pass) {
            platform::Ipv4Endpoint from;
            ssize_t n = client.receiveFrom(buf.data(), buf.size(), from);
            if (n >= 0) {
                buf.resize(static_cast<std::size_t>(n));
                if (from.port != listenPort) {
                    transferPort = from.port;
                }
                lastFrom = from;
                return buf;
            }
            loop.runOnce(pass < 5 ? 0 : 5);
        }
        return std::nullopt;
    }

    // Pumps the loop briefly and expects nothing to arrive.
    void expectSilence() {
        for (int pass = 0; pass < 10; ++pass) {
            loop.runOnce(2);
        }
        Bytes buf(70000);
        platform::Ipv4Endpoint from;
        ssize_t n = client.receiveFrom(buf.data(), buf.size(), from);
        EXPECT_LT(n, 0) << "unexpected datagram of " << n << " bytes";
    }

    void pump(int passes = 10) {
        for (int pass = 0; pass < passes; ++pass) {
            loop.runOnce(1);
        }
    }

    void supervise() {
        app.supervisor().Supervise();
        app.supervisor().AdjustPriorities();
    }

    int clientCount() { return app.listener() ? app.listener()->clientCount() : 0; }

    platform::EventLoop loop;
    platform::ManualClock clock;
    RecordingDialogs dialogs;
    RecordingView view;
    server::ServerApplication app{loop, clock, dialogs};
    platform::UdpSocket client;
    std::uint16_t listenPort = 0;
    std::uint16_t transferPort = 0;
    platform::Ipv4Endpoint lastFrom;

  private:
    std::string root_;
};

}  // namespace enginetest
