#pragma once

#include <memory>

#include "platform/worker_thread.h"

namespace server {

class ClientTransfer;

// One admitted request: a worker thread that only waits for its event, and the transfer,
// whose packet work runs on the main thread. The thread does no work, but it is what
// AdjustPriorities raises when many clients are served, and a system that cannot start one more
// thread refuses the request (the client limit's answer) rather than serving it half set up.
class CManager {
  public:
    CManager() = default;
    ~CManager();
    CManager(const CManager&) = delete;
    CManager& operator=(const CManager&) = delete;

    // Starts the waiting thread; false when it cannot run.
    bool Start();
    void AttachTransfer(std::unique_ptr<ClientTransfer> transfer);

    // Sets the stop mark, destroys the transfer (closing its file and socket) and releases the
    // thread.
    void StopTransfer();
    // Waits for the thread: 500 ms, then 1000 ms more.
    void WaitForThreadEnd();

    bool threadEnded() const { return thread_.hasEnded(); }
    int threadId() const { return thread_.tid(); }
    bool stopMark() const { return stopMark_; }
    ClientTransfer* transfer() { return transfer_.get(); }

  private:
    bool stopMark_ = false;
    std::unique_ptr<ClientTransfer> transfer_;
    platform::ManualResetEvent event_;
    platform::WorkerThread thread_;
};

}  // namespace server
