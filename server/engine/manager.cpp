#include "server/engine/manager.h"

#include "server/engine/client_transfer.h"

namespace server {

CManager::~CManager() = default;

void CManager::AttachTransfer(std::unique_ptr<ClientTransfer> transfer) {
    stopMark_ = false;
    transfer_ = std::move(transfer);
}

void CManager::StopTransfer() {
    stopMark_ = true;
    transfer_.reset();
}

}  // namespace server
