#include "server/engine/server_socket.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/host_addresses.h"
#include "protocol/packet.h"
#include "server/engine/client_transfer.h"
#include "server/engine/manager.h"
#include "server/engine/server_application.h"

namespace server {

CServerSocket::CServerSocket(ServerApplication& app) : app_(app) {}

CServerSocket::~CServerSocket() {
    for (auto& manager : threads_) {
        if (ClientTransfer* transfer = manager->transfer()) {
            transfer->Shutdown();
        }
        manager->StopTransfer();
    }
    threads_.clear();
    if (watching_) {
        app_.loop().unwatch(socket_.fd());
    }
    socket_.close();
}

bool CServerSocket::ChooseAddress(std::uint32_t& chosen) {
    if (app_.listenAddress) {
        auto address = platform::parseAddress(*app_.listenAddress);
        if (!address) {
            app_.dialogs().messageBox("Unable to Create listening port", MessageIcon::Error);
            return false;
        }
        hostName_ = platform::hostName().value_or("");
        addressCount_ = static_cast<int>(platform::hostIpv4Addresses().size());
        chosen = *address;
        return true;
    }

    auto name = platform::hostName();
    if (!name) {
        std::string text = "Unable to resolve local host name\n";
        text += errno == ENETDOWN
                    ? "Network subsystem failure"
                    : "Unspecified TCP/IP stack error\n(Possibly no adaptors installed)";
        app_.dialogs().messageBox(text, MessageIcon::Error);
        return false;
    }
    hostName_ = name->substr(0, 100);

    std::vector<std::uint32_t> addresses = platform::hostIpv4Addresses();
    addressCount_ = static_cast<int>(addresses.size());
    if (addresses.empty()) {
        app_.dialogs().messageBox("Unable to resolve Local Host I.P. address", MessageIcon::Error);
        auto typed = app_.dialogs().askListeningAddress();
        if (!typed) {
            return false;
        }
        auto address = platform::parseAddress(*typed);
        if (!address) {
            app_.dialogs().messageBox("Unable to Create listening port", MessageIcon::Error);
            return false;
        }
        addressCount_ = 1;
        chosen = *address;
        return true;
    }

    const int n = static_cast<int>(addresses.size());
    ServerSettings& settings = app_.settings;
    int index = 0;
    if (n == 1) {
        settings.nDefAddress = 0;
    } else if (app_.nAddressChoice != -1 && app_.nAddressChoice < n) {
        index = app_.nAddressChoice;
    } else if (settings.nDefAddress >= 1 && settings.nDefAddress <= static_cast<unsigned>(n) &&
               !settings.bAskAddress) {
        index = static_cast<int>(settings.nDefAddress) - 1;
    } else {
        std::vector<std::string> texts;
        for (auto address : addresses) {
            texts.push_back(platform::formatAddress(address));
        }
        MultihomedAnswer answer = app_.dialogs().chooseHostAddress(texts, settings.bAskAddress);
        if (answer.ok) {
            index = answer.index >= 0 && answer.index < n ? answer.index : 0;
            if (answer.doNotShowAgain) {
                settings.bAskAddress = false;
                settings.nDefAddress = static_cast<std::uint32_t>(index + 1);
            } else {
                settings.bAskAddress = true;
            }
        }
    }
    chosen = addresses[static_cast<std::size_t>(index)];
    return true;
}

bool CServerSocket::StartListening() {
    std::uint32_t portNumber = leadingNumber(app_.settings.Port);
    std::uint16_t port = static_cast<std::uint16_t>(portNumber);
    if (portNumber == 0 || port == 0) {
        port = 69;
    }

    std::uint32_t address = 0;
    if (!ChooseAddress(address)) {
        return false;
    }
    localAddressText_ = platform::formatAddress(address);

    if (!socket_.open(address, port)) {
        app_.dialogs().messageBox("Unable to Create listening port", MessageIcon::Error);
        return false;
    }
    listenAddress_ = platform::Ipv4Endpoint{address, port};
    app_.ListenText = localAddressText_ + "." + std::to_string(port);
    if (!app_.loop().watchReadable(socket_.fd(), [this] { OnReceive(0); })) {
        app_.dialogs().messageBox("Unable to Select local port mode", MessageIcon::Error);
        return false;
    }
    watching_ = true;
    return true;
}

void CServerSocket::Refuse(std::span<const std::uint8_t> packet) {
    socket_.sendTo(packet.data(), packet.size(), peer_);
}

void CServerSocket::OnReceive(int error) {
    if (error != 0) {
        return;
    }
    request_.fill(0);
    ssize_t received = socket_.receiveFrom(request_.data(), request_.size(), peer_);
    if (received < 0) {
        // Nothing to answer: the sender is unknown.
        return;
    }
    HandleRequest(static_cast<int>(std::min<ssize_t>(received, request_.size())));
}

void CServerSocket::HandleDatagram(std::span<const std::uint8_t> datagram,
                                   const platform::Ipv4Endpoint& from) {
    request_.fill(0);
    const std::size_t length = std::min(datagram.size(), request_.size());
    std::copy_n(datagram.begin(), length, request_.begin());
    peer_ = from;
    HandleRequest(static_cast<int>(length));
}

void CServerSocket::HandleRequest(int length) {
    bool refused = false;
    if (app_.bServing) {
        std::string sender = platform::formatAddress(peer_.address);
        if (app_.settings.bDeny == 1 && app_.denyListMatch && app_.denyListMatch(sender)) {
            refused = true;
        }
        if (app_.settings.bAllow == 1 && !(app_.allowListMatch && app_.allowListMatch(sender))) {
            refused = true;
        }
    }
    if (!app_.bServing || refused) {
        Refuse(protocol::serviceRefusalPacket());
        return;
    }
    if (length < 4) {
        return;
    }
    const std::uint16_t opcode = protocol::readU16(request_.data());
    if (opcode == protocol::kRrq) {
        if (app_.settings.bNoOutbound) {
            Refuse(protocol::serviceRefusalPacket());
            return;
        }
    } else if (opcode == protocol::kWrq) {
        if (app_.settings.bNoIncoming) {
            Refuse(protocol::serviceRefusalPacket());
            return;
        }
    } else {
        return;
    }
    // A client that has not heard our answer yet sends its request again: the transfer
    // already under way answers it.
    const std::span<const std::uint8_t> request(request_.data(), static_cast<std::size_t>(length));
    for (const auto& manager : threads_) {
        const ClientTransfer* transfer = manager->transfer();
        if (transfer != nullptr && transfer->IsRepeatedRequest(request, peer_)) {
            return;
        }
    }
    if (!Dispatch(length)) {
        Refuse(protocol::clientLimitRefusalPacket());
    }
}

int CServerSocket::runningCount() const {
    int running = 0;
    for (const auto& manager : threads_) {
        const ClientTransfer* transfer = manager->transfer();
        running += transfer != nullptr && transfer->active() ? 1 : 0;
    }
    return running;
}

bool CServerSocket::Dispatch(int length) {
    std::lock_guard lock(app_.threadListMutex);
    // Ids run 1 to 1001 and start again: a row's tag holds either a live id or an end tag, told
    // apart by size (IsLiveTag), and a reused id still finds its own row, the newest.
    if (app_.idCounter > 1000) {
        app_.idCounter = 0;
    }
    // Ended transfers that wait for the next pass to report them no longer hold a slot.
    const int count = runningCount();
    bool admitted;
    switch (app_.settings.nClientLimit) {
        case 1:
            admitted = count < 5;
            break;
        case 2:
            admitted = count < 10;
            break;
        case 3:
            admitted = count < 15;
            break;
        case 4:
            admitted = count < 30;
            break;
        case 5:
            admitted = true;
            break;
        default:
            admitted = count == 0;
            break;
    }
    if (!admitted) {
        return false;
    }

    auto manager = std::make_unique<CManager>();
    const int id = ++app_.idCounter;
    app_.NotifyView({TransferEvent::Admitted, id, platform::formatAddress(peer_.address)});

    manager->AttachTransfer(std::make_unique<ClientTransfer>(
        app_, peer_, std::span<const std::uint8_t, kRequestBufferSize>(request_), localAddressText_,
        id));
    manager->transfer()->BeginTransfer(length);
    threads_.push_back(std::move(manager));
    return true;
}

void CServerSocket::ShowServerInfo() {
    ServerInfo info;
    info.hostName = hostName_;
    info.hostIp = localAddressText_;
    info.adaptors = addressCount_;
    // The BSD socket interface has no version of its own; report what Winsock 2.2 offers.
    info.socketsVersion = "2.2 -> 2.2";
    info.maxUdp = 65507;
    rlimit files{};
    info.maxSockets = ::getrlimit(RLIMIT_NOFILE, &files) == 0
                          ? static_cast<int>(std::min<rlim_t>(files.rlim_cur, 0x7fffffff))
                          : 0;
    app_.dialogs().showServerInfo(info);
}

}  // namespace server
