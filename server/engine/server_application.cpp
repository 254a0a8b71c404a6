#include "server/engine/server_application.h"

#include "server/engine/server_socket.h"

namespace server {

ServerApplication::ServerApplication(platform::EventLoop& loop, const platform::Clock& clock,
                                     ServerDialogs& dialogs)
    : loop_(loop), clock_(clock), dialogs_(dialogs), supervisor_(*this) {}

ServerApplication::~ServerApplication() {
    CloseWaitDialogs();
    DestroyListener();
}

void ServerApplication::NotifyView(const TransferNotice& notice) {
    if (view_ != nullptr) {
        view_->onTransferNotice(notice);
    }
}

bool ServerApplication::CreateListener() {
    DestroyListener();
    auto listener = std::make_unique<CServerSocket>(*this);
    if (!listener->StartListening()) {
        dialogs_.messageBox(kUnableToInitialise, MessageIcon::Information);
        return false;
    }
    listener_ = std::move(listener);
    return true;
}

void ServerApplication::DestroyListener() {
    listener_.reset();
}

void ServerApplication::RestartListener(bool recreate) {
    if (recreate) {
        DestroyListener();
        auto listener = std::make_unique<CServerSocket>(*this);
        if (!listener->StartListening()) {
            dialogs_.messageBox(kUnableToInitialise, MessageIcon::Information);
            if (onFatalListenerFailure) {
                onFatalListenerFailure();
            }
            return;
        }
        listener_ = std::move(listener);
        if (view_ != nullptr) {
            view_->onNewDocument();
        }
    }
    CloseWaitDialogs();
}

void ServerApplication::CloseWaitDialogs() {
    if (portWaitDialog_) {
        portWaitDialog_ = false;
        dialogs_.closeWaitDialog(WaitDialogKind::PortChange);
    }
    if (stopWaitDialog_) {
        stopWaitDialog_ = false;
        dialogs_.closeWaitDialog(WaitDialogKind::StopServing);
    }
}

void ServerApplication::showWaitDialog(WaitDialogKind kind) {
    bool& shown = kind == WaitDialogKind::PortChange ? portWaitDialog_ : stopWaitDialog_;
    if (shown) {
        return;
    }
    shown = true;
    dialogs_.showWaitDialog(
        kind, [this] { RestartListener(true); }, [this] { RestartListener(false); });
}

void ServerApplication::ApplyListenChange() {
    if (listener_ == nullptr || listener_->clientCount() == 0) {
        RestartListener(true);
        return;
    }
    showWaitDialog(WaitDialogKind::PortChange);
}

void ServerApplication::StopServing() {
    bServing = false;
    if (listener_ != nullptr && listener_->clientCount() > 0) {
        showWaitDialog(WaitDialogKind::StopServing);
    } else {
        CloseWaitDialogs();
    }
}

void ServerApplication::StartServing() {
    // Only the stop dialog: a port change still waiting for its answer stays pending.
    if (stopWaitDialog_) {
        stopWaitDialog_ = false;
        dialogs_.closeWaitDialog(WaitDialogKind::StopServing);
    }
    bServing = true;
}

}  // namespace server
