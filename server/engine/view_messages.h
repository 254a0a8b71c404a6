#pragma once

#include <cstdint>
#include <string>

namespace server {

inline constexpr int WM_USER = 0x0400;
inline constexpr int WM_CLIENTFINISHED = WM_USER + 100;
inline constexpr int WM_CLIENTNEW = WM_USER + 101;
inline constexpr int WM_CLIENTFILE = WM_USER + 102;
inline constexpr int WM_CLIENTSTATUS = WM_USER + 103;
inline constexpr int WM_CLIENTRESULT = WM_USER + 104;

// The kinds a transfer reports through NotifyView; each maps to one view message.
enum ViewKind : int {
    kViewFinished = 0,  // WM_CLIENTFINISHED
    kViewNew = 1,       // WM_CLIENTNEW, text = client address
    kViewFile = 2,      // WM_CLIENTFILE, text = path ("* " in front when altered)
    kViewStatus = 3,    // WM_CLIENTSTATUS, progress
    kViewResult = 4,    // WM_CLIENTRESULT, normal or failed end
    kViewTimedOut = 5,  // WM_CLIENTRESULT with the timed-out flag
    kViewAborted = 6,   // WM_CLIENTRESULT from AbortTransfer
    kViewRetry = 7,     // WM_CLIENTSTATUS, "Retrying" or "Waiting ..."
};

int viewMessageFor(int kind);

// Shared by every transfer: each writer fills it and sends its message at once, so the view
// reads the values of that message.
struct StatusReport {
    std::string text;
    bool timedOut = false;
    std::int64_t done = 0;
    // The view shows a percentage when this is not 0 and then sets it back to 0.
    std::int64_t total = 0;
};

// The client list view, or whatever stands in for it.
class ViewObserver {
  public:
    virtual ~ViewObserver() = default;
    // message is one of WM_CLIENT*; id the transfer id.
    virtual void onViewMessage(int message, int id, StatusReport& report) = 0;
    // A new listener is serving: the window starts a new document.
    virtual void onNewDocument() {}
};

}  // namespace server
