#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {
class EventLoop;
}

namespace server {

// Progress and error lines of the exchange.
inline constexpr std::string_view kAttemptingLine = "Attempting connection to server ...";
inline constexpr std::string_view kTryLaterLine = "Please try again later";
inline constexpr std::string_view kConnectedLine = "Connected to server, getting data ...";
inline constexpr std::string_view kResettingLine = "Resetting extra length buffer";
inline constexpr std::string_view kClosedLine = "Connection with server closed";
inline constexpr std::string_view kOfflineLine =
    "Version checking is currently offline, please try later";
inline constexpr std::string_view kWrongLengthLine =
    "This is NOT the length expected, please contact Quenmarsh";

// What the socket tells its owner.
enum class VersionEvent {
    Progress,          // a line to show
    PageRead,          // the page named a version: see currentVersion() and requestLine()
    Error,             // a line to show
    DownloadComplete,  // of the expected length: a line to show, then the install prompt
};

class VersionSocket;

class VersionSocketOwner {
  public:
    virtual ~VersionSocketOwner() = default;
    // Delivered synchronously on the main thread. The owner may destroy the socket here.
    virtual void onVersionEvent(VersionSocket& socket, VersionEvent kind,
                                const std::string& text) = 0;
    // The exchange is over (closed by the server, refused or failed); nothing follows. Called at
    // most once, as the socket's last act.
    virtual void onVersionSocketEnded(VersionSocket& socket) = 0;
};

// One HTTP exchange with the version server, as a non-blocking TCP client on the event loop:
// in Page mode it sends kVersionPageRequest and parses the page when the server closes; in
// Download mode it sends the download request and writes the body to a file.
//
// Error numbers in "Error %d ..." lines are Linux errno values (111 for a refused connection).
// A host name that cannot be looked up has no errno; it is reported with the Windows Sockets
// number for the same case: 11001 host not found, 11002 temporary failure, 11003 other.
class VersionSocket {
  public:
    enum class Mode { Page = 0, Download = 1 };

    // Lines are cut to fit the 1024-byte message buffer; the page buffer is 8192 bytes.
    static constexpr std::size_t kMessageSize = 1024;
    static constexpr std::size_t kReceiveSize = 8192;
    // When the page buffer fills, its last kResetSize bytes are overwritten by what follows.
    static constexpr std::size_t kResetSize = 1024;

    VersionSocket(platform::EventLoop& loop, VersionSocketOwner& owner, Mode mode);
    // Closes the connection and the file, and drops a pending name lookup.
    ~VersionSocket();
    VersionSocket(const VersionSocket&) = delete;
    VersionSocket& operator=(const VersionSocket&) = delete;

    // Download mode, before connect: the request line, the size the page announced and the
    // file to create (made executable, mode 0755).
    void setDownload(std::string requestLine, std::uint32_t expectedSize, std::string filePath);

    // Starts connecting without waiting. A numeric IPv4 host connects at once; a name is looked
    // up on a short-lived thread and the answer comes back through the loop. Reports
    // "Attempting connection to server ..." when the connect is under way, or
    // "Error %d connecting to server" and "Please try again later" and ends.
    void connect(std::string host, std::uint16_t port);

    Mode mode() const { return mode_; }
    // The page's "<!Current Version=" value, once read.
    const std::string& currentVersion() const { return currentVersion_; }
    // The download request line: set by the page (Page mode) or by setDownload.
    const std::string& requestLine() const { return requestLine_; }
    std::uint32_t expectedSize() const { return expectedSize_; }
    bool ended() const { return ended_; }

  private:
    struct Lookup;

    // Emits an event; false when the owner destroyed this socket meanwhile (then return at once).
    bool raiseEvent(VersionEvent kind, std::string text);
    void connectTo(std::uint32_t address, std::uint16_t port);
    void onLookedUp(int error, std::uint32_t address, std::uint16_t port);
    void failConnectCall(int error);
    void onWritable();
    void onConnected();
    void onReadable();
    void onClosed();
    void releaseResources();
    void end();

    platform::EventLoop& loop_;
    VersionSocketOwner& owner_;
    Mode mode_;
    int fd_ = -1;
    int file_ = -1;
    std::string filePath_;
    std::string requestLine_;
    std::string currentVersion_;
    std::uint32_t expectedSize_ = 0;
    std::size_t received_ = 0;
    bool ended_ = false;
    std::shared_ptr<Lookup> lookup_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::array<char, kReceiveSize> receive_{};
};

}  // namespace server
