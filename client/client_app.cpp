#include "client/client_app.h"

namespace client {

int ExitStatusForEnd(int endCode, bool serverSentError) {
    switch (endCode) {
        case -1:
            return serverSentError ? kExitServerError : kExitCompleted;
        case -2:
            return kExitNotCompleted;
        case 0:
            return 7;  // the options could not be applied
        default:
            return endCode;
    }
}

CMerrowinApp::CMerrowinApp(platform::EventLoop& loop, const platform::Clock& clock,
                           ClientDialogs& dialogs, IniProfile& profile, LocalHost localHost)
    : loop_(loop), profile_(profile), localHost_(std::move(localHost)), context_{loop,
                                                                                 clock,
                                                                                 dialogs,
                                                                                 settings,
                                                                                 *this,
                                                                                 localHost_} {}

CMerrowinApp::~CMerrowinApp() {
    if (idleTimer_ != 0) {
        loop_.cancelTimer(idleTimer_);
    }
}

void CMerrowinApp::InitInstance(ClientWindow& window, const std::vector<std::string>& args) {
    automatic = false;
    exitCode = 0;
    LoadClientSettings(settings, profile_);
    window_ = &window;
    view_ = std::make_unique<CMerrowinView>(context_, profile_, window);
    view_->InitialUpdate(settings);
    if (idleTimer_ == 0) {
        idleTimer_ = loop_.addTimer(kTimeoutCheckInterval, [this] { OnIdle(); });
    }

    commandLine = ParseClientCommandLine(args);
    getPath = commandLine.getPath;
    putPath = commandLine.putPath;
    host = commandLine.host;
    remoteName = commandLine.remoteName;
    port = commandLine.port;
    if (commandLine.binary) {
        settings.binary = *commandLine.binary;
    }

    if (host.empty()) {
        return;
    }
    if (!getPath.empty()) {
        AutomaticFetch();
        automatic = true;
    } else if (!putPath.empty()) {
        AutomaticSend();
        automatic = true;
    }
}

void CMerrowinApp::FillExtensionFields(TransferForm& form) const {
    if (commandLine.blockSize) {
        form.blockSize = *commandLine.blockSize;
    }
    if (commandLine.timeout) {
        form.timeout = *commandLine.timeout;
    }
    if (commandLine.sendTimeout) {
        form.sendTimeoutOption = true;
    }
}

void CMerrowinApp::AutomaticFetch() {
    AutomaticStart(false);
}

void CMerrowinApp::AutomaticSend() {
    AutomaticStart(true);
}

void CMerrowinApp::AutomaticStart(bool sending) {
    const SplitPath split = SplitAtLastSeparator(sending ? putPath : getPath);
    StartRequest request;
    if (sending) {
        request.sending = true;
        request.pathGiven = true;
        request.directory = split.directory;
        request.fileName = split.name;
    }
    request.fillForm = [&](TransferForm& form) {
        form.localName = split.name;
        form.remoteName = remoteName.empty() ? split.name : remoteName;
        form.matchFiles = remoteName.empty();
        // For this run only: the local folder is the one -G or -P names.
        (sending ? settings.Outbound : settings.Inbound) = split.directory;
        form.host = host;
        if (!port.empty()) {
            form.port = port;
        }
        FillExtensionFields(form);
    };
    request.beforeStart = [&] {
        view_->form.binary = settings.binary;
        window_->FormChanged();
        view_->documentTitle = sending ? "Auto Sending" : "Auto Fetching";
        window_->SetTitle(view_->documentTitle);
    };
    automaticStart_ = view_->StartTransfer(request);
    if (automaticStart_ == StartResult::NotStarted) {
        exitCode = kExitNotCompleted;
    }
}

int CMerrowinApp::ExitInstance() {
    StoreAtExit(settings, profile_);
    return exitCode;
}

void CMerrowinApp::ShowStatus(std::string_view text) {
    if (window_ != nullptr) {
        window_->ShowStatus(text);
    }
}

void CMerrowinApp::OnTransferEnded(int code) {
    if (window_ != nullptr) {
        window_->TransferEnded(code);
    }
    if (!automatic) {
        return;
    }
    CTransferSocket* transfer = view_ ? view_->transfer() : nullptr;
    exitCode = ExitStatusForEnd(code, transfer != nullptr && transfer->serverSentError());
    if (window_ != nullptr) {
        window_->Close();
    }
}

void CMerrowinApp::OnIdle() {
    if (view_) {
        view_->CheckTimeout();
    }
}

}  // namespace client
