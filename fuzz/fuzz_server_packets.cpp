// Feeds arbitrary datagrams to request intake and then to the transfer that a request starts,
// with the supervisor running in between, under sanitizers.
//
// Input: byte 0 picks setting flags; then records of [length byte][bytes]; the first record
// goes to the listening port, the rest to the newest transfer. A record of length 0xff runs a
// supervision pass with the clock moved on instead.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/udp_socket.h"
#include "server/engine/client_transfer.h"
#include "server/engine/manager.h"
#include "server/engine/server_application.h"
#include "server/engine/server_socket.h"

namespace {

class SilentDialogs final : public server::ServerDialogs {
  public:
    void messageBox(std::string_view, server::MessageIcon) override {}
    std::optional<std::string> askListeningAddress() override { return std::nullopt; }
    server::MultihomedAnswer chooseHostAddress(const std::vector<std::string>&, bool) override {
        return {};
    }
    void showWaitDialog(server::WaitDialogKind, std::function<void()>,
                        std::function<void()>) override {}
    void closeWaitDialog(server::WaitDialogKind) override {}
    void showServerInfo(const server::ServerInfo&) override {}
};

class CountingView final : public server::ViewObserver {
  public:
    void onTransferNotice(const server::TransferNotice&) override { ++messages; }
    long messages = 0;
};

struct World {
    platform::EventLoop loop;
    platform::ManualClock clock;
    SilentDialogs dialogs;
    CountingView view;
    server::ServerApplication app{loop, clock, dialogs};
    platform::UdpSocket sink;
    std::string root;

    World() {
        char pattern[] = "/tmp/ravendock-fuzz-XXXXXX";
        root = ::mkdtemp(pattern);
        ::mkdir((root + "/out").c_str(), 0755);
        ::mkdir((root + "/in").c_str(), 0755);
        ::mkdir((root + "/out/sub").c_str(), 0755);
        writeFile(root + "/out/a.txt", "line one\r\nline two\n\x1a tail");
        writeFile(root + "/out/sub/b.bin", std::string(1500, 'x'));
        writeFile(root + "/out/empty", "");
        app.settings.OutPath = root + "/out/";
        app.settings.InPath = root + "/in/";
        app.settings.nClientLimit = 5;
        app.listenAddress = "127.0.0.1";
        app.setViewObserver(&view);
        sink.open(0x7f000001, 0);
    }

    static void writeFile(const std::string& path, const std::string& body) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd >= 0) {
            [[maybe_unused]] auto n = ::write(fd, body.data(), body.size());
            ::close(fd);
        }
    }

    bool listen() {
        for (int attempt = 0; attempt < 20; ++attempt) {
            app.settings.Port = std::to_string(20000 + (::rand() % 40000));
            if (app.CreateListener()) {
                return true;
            }
        }
        return false;
    }

    void drainSink() {
        std::uint8_t buf[70000];
        platform::Ipv4Endpoint from;
        for (int i = 0; i < 10000 && sink.receiveFrom(buf, sizeof buf, from) >= 0; ++i) {
        }
    }
};

World* theWorld = nullptr;

void removeScratch() {
    if (theWorld != nullptr) {
        std::error_code ec;
        std::filesystem::remove_all(theWorld->root, ec);
    }
}

World& world() {
    if (theWorld == nullptr) {
        theWorld = new World();
        std::atexit(removeScratch);
    }
    return *theWorld;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    World& w = world();
    if (size < 1) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    auto& s = w.app.settings;
    s.bOutPaths = flags & 0x01;
    s.bInPaths = flags & 0x02;
    s.bCreatePaths = flags & 0x04;
    s.bRenameDuplicates = flags & 0x08;
    s.bRenameExisting = flags & 0x10;
    s.bSkipRetry = flags & 0x20;
    s.bAllowTsize = flags & 0x40;
    s.bForce = (flags & 0x80) ? 1 : 0;
    s.ForceFile = "sub/b.bin";
    if (!w.listen()) {
        return 0;
    }
    const platform::Ipv4Endpoint peer = w.sink.localEndpoint();

    std::size_t pos = 1;
    bool first = true;
    for (int records = 0; pos < size && records < 64; ++records) {
        std::size_t length = data[pos++];
        if (length == 0xff) {
            w.clock.advance(1 + (pos % 40));
            w.app.supervisor().Supervise();
            w.app.supervisor().AdjustPriorities();
            continue;
        }
        length = std::min(length * 4, size - pos);
        std::span<const std::uint8_t> datagram(data + pos, length);
        pos += length;
        server::CServerSocket* listener = w.app.listener();
        if (listener == nullptr) {
            break;
        }
        if (first) {
            listener->HandleDatagram(datagram, peer);
            first = false;
            continue;
        }
        if (listener->threads().empty()) {
            listener->HandleDatagram(datagram, peer);
            continue;
        }
        server::ClientTransfer* transfer = listener->threads().back()->transfer();
        if (transfer != nullptr) {
            transfer->HandleDatagram(datagram, peer);
        }
    }
    w.drainSink();
    w.app.DestroyListener();
    return 0;
}
