#include "server/services/version/version_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/event_loop.h"
#include "server/services/version/version_page.h"

namespace server {

namespace {

// Reads per readable pass, so a fast sender cannot starve the loop; it calls again.
constexpr int kReadsPerPass = 64;

// Windows Sockets numbers for failed look-ups, which have no errno of their own.
constexpr int kHostNotFound = 11001;
constexpr int kTryAgain = 11002;
constexpr int kNoRecovery = 11003;

std::string errorLine(const char* format, long long number) {
    char text[VersionSocket::kMessageSize];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

int lookupErrorNumber(int gaiError) {
    switch (gaiError) {
        case EAI_AGAIN:
            return kTryAgain;
        case EAI_NONAME:
        case EAI_NODATA:
        case EAI_ADDRFAMILY:
            return kHostNotFound;
        case EAI_SYSTEM:
            return errno != 0 ? errno : kNoRecovery;
        default:
            return kNoRecovery;
    }
}

}  // namespace

// Shared between the socket and its look-up thread: the thread posts the answer only while the
// socket still wants it, and the socket stops wanting it when it goes.
struct VersionSocket::Lookup {
    std::mutex mutex;
    bool cancelled = false;
};

VersionSocket::VersionSocket(platform::EventLoop& loop, VersionSocketOwner& owner, Mode mode)
    : loop_(loop), owner_(owner), mode_(mode) {}

VersionSocket::~VersionSocket() {
    *alive_ = false;
    releaseResources();
}

void VersionSocket::setDownload(std::string requestLine, std::uint32_t expectedSize,
                                std::string filePath) {
    requestLine_ = std::move(requestLine);
    expectedSize_ = expectedSize;
    filePath_ = std::move(filePath);
}

bool VersionSocket::raiseEvent(VersionEvent kind, std::string text) {
    const std::shared_ptr<bool> alive = alive_;
    if (text.size() > kMessageSize - 1) {
        text.resize(kMessageSize - 1);
    }
    owner_.onVersionEvent(*this, kind, text);
    return *alive;
}

void VersionSocket::connect(std::string host, std::uint16_t port) {
    in_addr numeric{};
    if (::inet_pton(AF_INET, host.c_str(), &numeric) == 1) {
        connectTo(ntohl(numeric.s_addr), port);
        return;
    }
    // getaddrinfo blocks for as long as DNS takes; the loop must not.
    auto lookup = std::make_shared<Lookup>();
    lookup_ = lookup;
    platform::EventLoop* loop = &loop_;
    try {
        std::thread([lookup, loop, host = std::move(host), port, self = this] {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_STREAM;
            addrinfo* found = nullptr;
            errno = 0;
            const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
            int error = rc == 0 ? 0 : lookupErrorNumber(rc);
            std::uint32_t address = 0;
            if (rc == 0 && found != nullptr) {
                address =
                    ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
            } else if (rc == 0) {
                error = kHostNotFound;
            }
            if (found != nullptr) {
                ::freeaddrinfo(found);
            }
            std::lock_guard lock(lookup->mutex);
            if (lookup->cancelled) {
                return;
            }
            loop->post([lookup, self, error, address, port] {
                // Runs on the main thread, where the socket is destroyed too.
                if (!lookup->cancelled) {
                    self->onLookedUp(error, address, port);
                }
            });
        }).detach();
    } catch (const std::system_error& e) {
        lookup_.reset();
        failConnectCall(e.code().value());
    }
}

void VersionSocket::onLookedUp(int error, std::uint32_t address, std::uint16_t port) {
    lookup_.reset();
    if (error != 0) {
        failConnectCall(error);
        return;
    }
    connectTo(address, port);
}

void VersionSocket::connectTo(std::uint32_t address, std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        failConnectCall(errno);
        return;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(address);
    to.sin_port = htons(port);
    int rc;
    do {
        rc = ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno != EINPROGRESS) {
        failConnectCall(errno);
        return;
    }
    if (!loop_.watchWritable(fd_, [this] { onWritable(); })) {
        failConnectCall(errno);
        return;
    }
    raiseEvent(VersionEvent::Progress, std::string(kAttemptingLine));
}

void VersionSocket::failConnectCall(int error) {
    if (!raiseEvent(VersionEvent::Error, errorLine("Error %lld connecting to server", error))) {
        return;
    }
    if (!raiseEvent(VersionEvent::Error, std::string(kTryLaterLine))) {
        return;
    }
    end();
}

void VersionSocket::onWritable() {
    loop_.unwatchWritable(fd_);
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    if (error != 0) {
        if (raiseEvent(VersionEvent::Error, errorLine("Error %lld connecting to server", error))) {
            end();
        }
        return;
    }
    onConnected();
}

void VersionSocket::onConnected() {
    if (!raiseEvent(VersionEvent::Progress, std::string(kConnectedLine))) {
        return;
    }
    if (mode_ == Mode::Page) {
        requestLine_ = std::string(kVersionPageRequest);
    } else {
        file_ = ::open(filePath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
        // The umask may have taken bits off; the download is a program and must run.
        if (file_ < 0 || ::fchmod(file_, 0755) != 0) {
            const int error = errno;
            char text[kMessageSize];
            std::snprintf(text, sizeof text, "Error %d creating file %s", error, filePath_.c_str());
            if (raiseEvent(VersionEvent::Error, text)) {
                end();
            }
            return;
        }
    }
    const std::string request = requestLine_ + std::string(kAcceptLines);
    ssize_t sent;
    do {
        sent = ::send(fd_, request.data(), request.size(), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent != static_cast<ssize_t>(request.size())) {
        // A server given half a request would wait for the rest for ever: end here.
        const int error = sent < 0 ? errno : 0;
        if (raiseEvent(VersionEvent::Error, errorLine("Error %lld Sending to server", error))) {
            end();
        }
        return;
    }
    if (!loop_.watchReadable(fd_, [this] { onReadable(); })) {
        if (raiseEvent(VersionEvent::Error, errorLine("Error %lld receiving from server", errno))) {
            end();
        }
    }
}

void VersionSocket::onReadable() {
    for (int reads = 0; reads < kReadsPerPass; ++reads) {
        const std::size_t offset = mode_ == Mode::Page ? received_ : 0;
        const ssize_t n = ::recv(fd_, receive_.data() + offset, receive_.size() - offset, 0);
        if (n == 0) {
            onClosed();
            return;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            // The connection is gone; report what arrived, as a close would.
            if (raiseEvent(VersionEvent::Error,
                           errorLine("Error %lld receiving from server", errno))) {
                onClosed();
            }
            return;
        }
        const auto count = static_cast<std::size_t>(n);
        if (mode_ == Mode::Download) {
            std::size_t written = 0;
            while (written < count) {
                const ssize_t w = ::write(file_, receive_.data() + written, count - written);
                if (w < 0 && errno == EINTR) {
                    continue;
                }
                if (w <= 0) {
                    const int error = w < 0 ? errno : ENOSPC;
                    char text[kMessageSize];
                    std::snprintf(text, sizeof text, "Error %d writing file %s", error,
                                  filePath_.c_str());
                    if (raiseEvent(VersionEvent::Error, text)) {
                        end();
                    }
                    return;
                }
                written += static_cast<std::size_t>(w);
            }
            continue;
        }
        received_ += count;
        if (received_ == kReceiveSize) {
            received_ -= kResetSize;
            if (!raiseEvent(VersionEvent::Progress, std::string(kResettingLine))) {
                return;
            }
        }
    }
}

void VersionSocket::onClosed() {
    if (!raiseEvent(VersionEvent::Progress, std::string(kClosedLine))) {
        return;
    }
    if (mode_ == Mode::Page) {
        const VersionPage page = ParseVersionPage(std::string_view(receive_.data(), received_));
        for (const std::string& note : page.notes) {
            if (!raiseEvent(VersionEvent::Progress, note)) {
                return;
            }
        }
        if (!page.currentVersion.empty()) {
            currentVersion_ = page.currentVersion;
            if (!raiseEvent(VersionEvent::Progress, "Latest Version : " + page.currentVersion)) {
                return;
            }
            char size[32];
            std::snprintf(size, sizeof size, "Size : %u", static_cast<unsigned>(page.size));
            if (!raiseEvent(VersionEvent::Progress, size)) {
                return;
            }
            requestLine_ = VersionRequestLine(page.availableFrom);
            expectedSize_ = page.size;
            if (!raiseEvent(VersionEvent::PageRead, {})) {
                return;
            }
        } else if (!raiseEvent(VersionEvent::Error, std::string(kOfflineLine))) {
            return;
        }
    }
    if (file_ >= 0) {
        struct stat info {};
        const long long length = ::fstat(file_, &info) == 0 ? info.st_size : 0;
        ::close(file_);
        file_ = -1;
        const std::string line = errorLine("File received, %lld bytes long", length);
        if (length == static_cast<long long>(expectedSize_)) {
            if (!raiseEvent(VersionEvent::DownloadComplete, line)) {
                return;
            }
        } else {
            if (!raiseEvent(VersionEvent::Progress, line)) {
                return;
            }
            if (!raiseEvent(VersionEvent::Error, std::string(kWrongLengthLine))) {
                return;
            }
        }
    }
    end();
}

void VersionSocket::releaseResources() {
    if (lookup_ != nullptr) {
        std::lock_guard lock(lookup_->mutex);
        lookup_->cancelled = true;
    }
    lookup_.reset();
    if (fd_ >= 0) {
        loop_.unwatch(fd_);
        ::close(fd_);
        fd_ = -1;
    }
    if (file_ >= 0) {
        ::close(file_);
        file_ = -1;
    }
}

void VersionSocket::end() {
    if (ended_) {
        return;
    }
    ended_ = true;
    releaseResources();
    owner_.onVersionSocketEnded(*this);
}

}  // namespace server
