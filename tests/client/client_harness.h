#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/client_dialogs.h"
#include "client/client_messages.h"
#include "client/client_settings.h"
#include "client/client_window.h"
#include "client/transfer_setup.h"
#include "client/transfer_socket.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/udp_socket.h"
#include "protocol/packet.h"

namespace clienttest {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kLoopback = 0x7f000001;

// Zero-terminated strings one after the other, behind a 2-byte opcode.
inline Bytes packet(std::uint16_t opcode, const std::vector<std::string>& strings) {
    Bytes out{static_cast<std::uint8_t>(opcode >> 8), static_cast<std::uint8_t>(opcode)};
    for (const std::string& s : strings) {
        out.insert(out.end(), s.begin(), s.end());
        out.push_back(0);
    }
    return out;
}

inline Bytes ack(std::uint16_t block) {
    return {0, 4, static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block)};
}

inline Bytes data(std::uint16_t block, const std::string& payload) {
    Bytes out{0, 3, static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block)};
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// ERROR (5) or option refusal (8): opcode, code, text, zero.
inline Bytes coded(std::uint16_t opcode, std::uint16_t code, const std::string& text) {
    Bytes out{0, static_cast<std::uint8_t>(opcode), static_cast<std::uint8_t>(code >> 8),
              static_cast<std::uint8_t>(code)};
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
inline std::string textOf(const Bytes& b, std::size_t from = 4) {
    return std::string(b.begin() + static_cast<std::ptrdiff_t>(from), b.end());
}

class RecordingDialogs final : public client::ClientDialogs {
  public:
    void MessageBox(std::string_view text, std::string_view caption) override {
        messages.emplace_back(text);
        captions.emplace_back(caption);
    }
    bool AskYesNo(std::string_view text) override {
        questions.emplace_back(text);
        return yes;
    }
    client::MultihomedAnswer ChooseLocalAddress(const std::vector<std::string>& addresses,
                                                bool) override {
        ++multihomedShown;
        shownAddresses = addresses;
        return multihomed;
    }
    std::optional<std::string> AskLocalAddress() override {
        ++addressAsked;
        return typedAddress;
    }

    std::vector<std::string> messages;
    std::vector<std::string> captions;
    std::vector<std::string> questions;
    bool yes = false;
    int multihomedShown = 0;
    std::vector<std::string> shownAddresses;
    client::MultihomedAnswer multihomed;
    int addressAsked = 0;
    std::optional<std::string> typedAddress;
};

class RecordingOwner final : public client::TransferOwner {
  public:
    void ShowStatus(std::string_view text) override { statuses.emplace_back(text); }
    void OnTransferEnded(int code) override { endCodes.push_back(code); }
    std::vector<std::string> statuses;
    std::vector<int> endCodes;
};

class RecordingView final : public client::TransferViewObserver {
  public:
    void OnTransferNotice(const client::TransferNotice& notice) override {
        notices.push_back(notice);
    }
    std::vector<client::TransferNotice> notices;
};

class RecordingWindow final : public client::ClientWindow {
  public:
    explicit RecordingWindow(platform::EventLoop& loop) : loop_(loop) {}
    void ShowStatus(std::string_view text) override { statuses.emplace_back(text); }
    void SetProgress(int position) override { positions.push_back(position); }
    void SetTitle(std::string_view title) override { this->title = title; }
    void FormChanged() override {}
    void Close() override {
        ++closed;
        loop_.quit();
    }
    std::vector<std::string> statuses;
    std::vector<int> positions;
    std::string title;
    int closed = 0;

  private:
    platform::EventLoop& loop_;
};

inline client::LocalHost loopbackHost() {
    client::LocalHost host;
    host.name = [] { return std::optional<std::string>("testhost"); };
    host.addresses = [] { return std::vector<std::uint32_t>{kLoopback}; };
    return host;
}

// A scratch folder removed with the fixture.
class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/merrowinc-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // The folder with its trailing separator.
    std::string dir() const { return path_ + "/"; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    static void write(const std::string& path, const std::string& body) {
        std::ofstream(path, std::ios::binary) << body;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::string path_;
};

// A TFTP server on 127.0.0.1 played by the test: either pulled (receive, then reply) or, once
// scripted, answering from inside the event loop.
class FakeServer {
  public:
    explicit FakeServer(platform::EventLoop& loop) : loop_(loop) {
        EXPECT_TRUE(socket_.open(kLoopback, 0));
    }
    ~FakeServer() {
        if (scripted_) {
            loop_.unwatch(socket_.fd());
        }
    }
    std::uint16_t port() const { return socket_.localEndpoint().port; }
    platform::Ipv4Endpoint endpoint() const { return {kLoopback, port()}; }
    // Where the client's datagrams last came from.
    platform::Ipv4Endpoint client;

    // Pumps the loop until a datagram reaches the server; bounded in passes and time.
    std::optional<Bytes> receive() {
        for (int pass = 0; pass < 200; ++pass) {
            if (auto got = tryReceive()) {
                return got;
            }
            loop_.runOnce(pass < 5 ? 0 : 10);
        }
        return std::nullopt;
    }
    // Lets the client handle what is pending and expects nothing to reach the server.
    void expectSilence() {
        for (int pass = 0; pass < 5; ++pass) {
            loop_.runOnce(1);
        }
        auto got = tryReceive();
        EXPECT_FALSE(got) << "unexpected datagram of " << got->size() << " bytes";
    }
    void reply(const Bytes& datagram) { socket_.sendTo(datagram.data(), datagram.size(), client); }

    // From now on each datagram is answered by the script inside the event loop.
    void script(std::function<void(const Bytes&)> onDatagram) {
        onDatagram_ = std::move(onDatagram);
        scripted_ = true;
        EXPECT_TRUE(loop_.watchReadable(socket_.fd(), [this] {
            if (auto got = tryReceive()) {
                received.push_back(*got);
                onDatagram_(*got);
            }
        }));
    }
    // Back to being pulled.
    void unscript() {
        if (scripted_) {
            loop_.unwatch(socket_.fd());
            scripted_ = false;
        }
    }
    std::vector<Bytes> received;

  private:
    std::optional<Bytes> tryReceive() {
        Bytes buf(70000);
        platform::Ipv4Endpoint from;
        const ssize_t n = socket_.receiveFrom(buf.data(), buf.size(), from);
        if (n < 0) {
            return std::nullopt;
        }
        client = from;
        buf.resize(static_cast<std::size_t>(n));
        return buf;
    }

    platform::EventLoop& loop_;
    platform::UdpSocket socket_;
    bool scripted_ = false;
    std::function<void(const Bytes&)> onDatagram_;
};

// One CTransferSocket against a FakeServer, everything else recorded.
class TransferTest : public ::testing::Test {
  protected:
    TransferTest() { settings.Inbound = settings.Outbound = dir.dir(); }

    client::CTransferSocket& make(int blockSize = 512) {
        transfer = std::make_unique<client::CTransferSocket>(context, &view);
        EXPECT_TRUE(transfer->SetUpLocalSocket());
        transfer->blockSize = blockSize;
        return *transfer;
    }
    int fetch(const std::string& name, bool binary = true) {
        return transfer->StartFetch(name, name, "127.0.0.1", server.port(), binary);
    }
    int send(const std::string& name, bool binary = true) {
        transfer->sending = 1;
        return transfer->StartSend(name, name, "127.0.0.1", server.port(), binary, "");
    }
    // Pumps the loop until the transfer has ended; bounded in passes and time.
    void pumpUntilEnded() {
        for (int pass = 0; pass < 200 && owner.endCodes.empty(); ++pass) {
            loop.runOnce(pass < 5 ? 0 : 10);
        }
        ASSERT_FALSE(owner.endCodes.empty()) << "the transfer did not end";
    }
    // Sends a datagram and returns the client's answer.
    Bytes exchange(const Bytes& datagram) {
        server.reply(datagram);
        auto got = server.receive();
        EXPECT_TRUE(got) << "no answer";
        return got.value_or(Bytes{0, 0, 0, 0});
    }

    TempDir dir;
    platform::EventLoop loop;
    platform::ManualClock clock;
    RecordingDialogs dialogs;
    client::ClientSettings settings;
    RecordingOwner owner;
    client::LocalHost localHost = loopbackHost();
    client::TransferContext context{loop, clock, dialogs, settings, owner, localHost};
    RecordingView view;
    FakeServer server{loop};
    std::unique_ptr<client::CTransferSocket> transfer;
};

}  // namespace clienttest
