#include "client/merrowin_view.h"

#include <algorithm>

#include "client/command_line.h"
#include "client/transfer_setup.h"

namespace client {

namespace {

constexpr std::uint64_t kProgressRange = 100;

}  // namespace

CMerrowinView::CMerrowinView(TransferContext& context, IniProfile& profile, ClientWindow& window)
    : context_(context), profile_(profile), window_(window) {}

void CMerrowinView::InitialUpdate(const ClientSettings& settings) {
    form.host = settings.Host;
    form.localName = settings.Local;
    form.remoteName = settings.Remote;
    form.binary = settings.binary;
    form.blockSize = "512";
    window_.FormChanged();
    window_.SetTitle(documentTitle);
}

StartResult CMerrowinView::OnFetch() {
    return StartTransfer(StartRequest{});
}

StartResult CMerrowinView::OnSend() {
    StartRequest request;
    request.sending = true;
    return StartTransfer(request);
}

StartResult CMerrowinView::SendGivenFile(std::string_view path) {
    SplitPath split = SplitAtLastSeparator(path);
    StartRequest request;
    request.sending = true;
    request.pathGiven = true;
    request.directory = split.directory;
    request.fileName = split.name;
    request.fillForm = [&split](TransferForm& f) {
        f.localName = split.name;
        f.remoteName = split.name;
        f.matchFiles = true;
    };
    return StartTransfer(request);
}

StartResult CMerrowinView::StartTransfer(const StartRequest& request) {
    if (TransferActive()) {
        return StartResult::Ignored;
    }
    transfer_.reset();
    transfer_ = std::make_unique<CTransferSocket>(context_, this);
    if (request.fillForm) {
        request.fillForm(form);
        window_.FormChanged();
    }
    if (!transfer_->SetUpLocalSocket()) {
        return StartResult::Refused;
    }
    if (request.pathGiven) {
        transfer_->givenDirectory = request.directory;
    }
    const bool preparedOk =
        PrepareTransfer(form, context_.settings, context_.dialogs, profile_, prepared);
    window_.FormChanged();
    if (!preparedOk) {
        return StartResult::Refused;
    }
    if (request.beforeStart) {
        request.beforeStart();
    }
    CTransferSocket& t = *transfer_;
    t.pathGiven = request.pathGiven ? 1 : 0;
    t.sending = request.sending ? 1 : 0;
    t.timeoutSeconds = prepared.timeout;
    t.blockSize = prepared.blockSize;
    t.sendTimeoutOption = form.sendTimeoutOption ? 1 : 0;
    t.windowSize = context_.settings.WindowSize;
    const int started = request.sending
                            ? t.StartSend(prepared.remoteName, prepared.localName, prepared.host,
                                          prepared.port, form.binary, request.fileName)
                            : t.StartFetch(prepared.remoteName, prepared.localName, prepared.host,
                                           prepared.port, form.binary);
    return started == 1 ? StartResult::Started : StartResult::NotStarted;
}

void CMerrowinView::OnAbort() {
    if (TransferActive()) {
        transfer_->EndTransfer(8);
    }
}

void CMerrowinView::CheckTimeout() {
    if (TransferActive()) {
        transfer_->CheckTimeout();
    }
}

void CMerrowinView::OnTransferNotice(const TransferNotice& notice) {
    switch (notice.message) {
        case WM_TRANSFERPROGRESS:
            if (notice.kind == kProgressTotal) {
                progressScale_ = std::max<std::uint64_t>(notice.value / kProgressRange, 1);
                window_.SetProgress(0);
            } else {
                const std::uint64_t value = std::max<std::uint64_t>(notice.value, 1);
                window_.SetProgress(
                    static_cast<int>(std::min(value / progressScale_, kProgressRange)));
            }
            break;
        case WM_BLOCKSIZECHANGED:
            form.blockSize = std::to_string(notice.value);
            window_.FormChanged();
            break;
        case WM_LOCALADDRESS:
            if (documentTitle == "Auto Sending") {
                documentTitle = "Auto " + notice.localAddress + " to " + form.host;
            } else if (documentTitle == "Auto Fetching") {
                documentTitle = "Auto " + form.host + " from " + notice.localAddress;
            } else {
                documentTitle = notice.localAddress;
            }
            window_.SetTitle(documentTitle);
            break;
        default:
            break;
    }
}

}  // namespace client
