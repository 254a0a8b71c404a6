#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace client {

// The engine's notifications to its window, numbered as window messages of the program's own.
inline constexpr int WM_USER = 0x0400;
inline constexpr int WM_TRANSFERPROGRESS = WM_USER + 1;
inline constexpr int WM_BLOCKSIZECHANGED = WM_USER + 2;
inline constexpr int WM_LOCALADDRESS = WM_USER + 3;

// The kinds of WM_TRANSFERPROGRESS.
enum ProgressKind : int {
    kProgressTotal = 0,     // value: the transfer's size in bytes
    kProgressSent = 1,      // value: bytes sent
    kProgressReceived = 2,  // value: bytes received (only once the size is known)
};

struct TransferNotice {
    int message = 0;
    int kind = 0;              // WM_TRANSFERPROGRESS only
    std::uint64_t value = 0;   // bytes, or the new block size for WM_BLOCKSIZECHANGED
    std::string localAddress;  // WM_LOCALADDRESS only
};

// The window that owns the transfer. Notices are posted: they arrive from the event loop after
// the handler that raised them has returned, in the order raised.
class TransferViewObserver {
  public:
    virtual ~TransferViewObserver() = default;
    virtual void OnTransferNotice(const TransferNotice& notice) = 0;
};

// What the transfer calls on the application directly. OnTransferEnded must not destroy the
// transfer that calls it.
class TransferOwner {
  public:
    virtual ~TransferOwner() = default;
    virtual void ShowStatus(std::string_view text) = 0;
    // -1 finished or ended by the server, -2 timed out, 0 to 8 the code the client sent.
    virtual void OnTransferEnded(int code) = 0;
};

}  // namespace client
