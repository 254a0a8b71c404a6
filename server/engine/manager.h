#pragma once

#include <memory>

namespace server {

class ClientTransfer;

// One admitted request and its transfer, as the listener's list holds them. All of a
// transfer's work runs on the main thread, so no thread of its own stands behind it: a
// thread that only waited would cost one per request and let a flood of requests exhaust
// the process.
class CManager {
  public:
    CManager() = default;
    ~CManager();
    CManager(const CManager&) = delete;
    CManager& operator=(const CManager&) = delete;

    void AttachTransfer(std::unique_ptr<ClientTransfer> transfer);

    // Sets the stop mark and destroys the transfer (closing its file and socket).
    void StopTransfer();

    bool stopMark() const { return stopMark_; }
    ClientTransfer* transfer() { return transfer_.get(); }

  private:
    bool stopMark_ = false;
    std::unique_ptr<ClientTransfer> transfer_;
};

}  // namespace server
