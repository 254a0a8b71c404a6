#include "server/engine/manager.h"

#include "server/engine/client_transfer.h"

namespace server {

CManager::~CManager() {
    transfer_.reset();
    event_.set();
    // WorkerThread's destructor joins; the thread ends as soon as the event is set.
}

bool CManager::Start() {
    return thread_.start([this] { event_.wait(); });
}

void CManager::AttachTransfer(std::unique_ptr<ClientTransfer> transfer) {
    stopMark_ = false;
    transfer_ = std::move(transfer);
}

void CManager::StopTransfer() {
    stopMark_ = true;
    transfer_.reset();
    event_.set();
}

void CManager::WaitForThreadEnd() {
    if (!thread_.join(500)) {
        thread_.join(1000);
    }
}

}  // namespace server
