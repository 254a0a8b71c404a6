#pragma once

#include <cstdint>
#include <string>

namespace server {

// What a transfer (or the listener and the supervisor on its behalf) tells the client list.
enum class TransferEvent {
    Admitted,   // a request was admitted; text = client address
    FileKnown,  // text = path, "* " in front when it was altered
    Progress,   // total != 0: done of total bytes; else text is the status
    Retry,      // text = "Retrying" or "Waiting ..."
    Result,     // the supervisor's report of a normal or failed end; text = result
    TimedOut,   // the supervisor's report of a time-out; text = result
    Aborted,    // the transfer ended itself (error sent or received); text = result
    Finished,   // the supervisor is about to report the end
};

// One notification, complete in itself: a front end may keep, queue or merge it.
struct TransferNotice {
    TransferEvent event = TransferEvent::Progress;
    int id = 0;  // the transfer id
    std::string text;
    std::int64_t done = 0;
    std::int64_t total = 0;
};

// The client list, or whatever stands in for it. Called synchronously on the main thread.
class ViewObserver {
  public:
    virtual ~ViewObserver() = default;
    virtual void onTransferNotice(const TransferNotice& notice) = 0;
    // A new listener is serving after a restart: the window starts a new document (places
    // itself again and sets its caption to the new listening address).
    virtual void onNewDocument() {}
};

}  // namespace server
