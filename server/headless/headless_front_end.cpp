#include "server/headless/headless_front_end.h"

#include "server/engine/server_application.h"

namespace server {

bool HeadlessFrontEnd::createMainWindow(bool) {
    if (app_ == nullptr) {
        return false;
    }
    view_ = std::make_unique<CNewView>(*app_, &hive_);
    printer_ = std::make_unique<ConsoleClientListPrinter>(out_);
    view_->addObserver(printer_.get());
    app_->setViewObserver(view_.get());
    app_->onTransferEnded = [this](const ServerApplication::TransferSummary& summary) {
        // Told while the row is still live, so the id finds it.
        const int index = view_->FindClientRow(summary.id);
        const auto& rows = view_->rows();
        printer_->transferEnded(index >= 0 ? rows[static_cast<std::size_t>(index)].serial : 0,
                                summary);
    };
    view_->OnInitialUpdate();
    // The ICMP report needs a raw socket; without the privilege there is simply none.
    icmp_ = std::make_unique<IcmpMonitor>(app_->loop(), app_->settings, app_->clock());
    if (icmp_->start() && icmp_->report() != nullptr) {
        icmpPrinter_ = std::make_unique<ConsoleIcmpPrinter>(out_);
        icmp_->report()->addObserver(icmpPrinter_.get());
    }
    return true;
}

void HeadlessFrontEnd::destroyMainWindow() {
    if (app_ != nullptr) {
        app_->setViewObserver(nullptr);
        app_->onTransferEnded = nullptr;
    }
    icmp_.reset();
    icmpPrinter_.reset();
    view_.reset();
    printer_.reset();
}

void HeadlessFrontEnd::showServedFolders(const std::string& text) {
    std::fprintf(err_, "ravendockd: %s\n", text.c_str());
}

void HeadlessFrontEnd::closeDocument() {
    if (view_ != nullptr) {
        view_->ClearClientList();
    }
}

}  // namespace server
