#include "server/qt/options_sheet_dialog.h"

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "server/engine/server_application.h"
#include "server/qt/options_access_list_page.h"
#include "server/qt/options_clients_page.h"
#include "server/qt/options_folder_pages.h"
#include "server/qt/options_icmp_page.h"
#include "server/qt/options_other_page.h"
#include "server/qt/options_threads_page.h"

namespace server {

using server::OptionsPageId;

OptionsSheetDialog::OptionsSheetDialog(server::ServerApplication& app,
                                       server::ServerFrontEnd& frontEnd,
                                       server::OptionsContext context, QWidget* parent)
    : QDialog(parent), sheet_(app, frontEnd, std::move(context)), tabs_(new QTabWidget(this)) {
    setWindowTitle(qs(server::kOptionsSheetTitle));
    if (!sheet_.context().askYesNo) {
        // The question about an empty path field.
        sheet_.context().askYesNo = [this](std::string_view question) {
            return QMessageBox::question(this, windowTitle(), qs(question),
                                         QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        };
    }
    auto changed = [this] { updateApply(); };
    server::ServerDialogs& dialogs = app.dialogs();
    pages_ = {
        new InboundPageWidget(sheet_.inbound(), changed),
        new OutboundPageWidget(sheet_.outbound(), changed),
        new AccessListPageWidget(sheet_.allow(), dialogs, changed),
        new AccessListPageWidget(sheet_.deny(), dialogs, changed),
        new OtherPageWidget(sheet_.other(), changed),
        new ClientsPageWidget(sheet_.clients(), changed),
        new ThreadsPageWidget(sheet_.threads(), changed),
        new IcmpPageWidget(sheet_.icmp(), changed),
    };
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        tabs_->addTab(pages_[i], qs(server::kOptionsPageTitles[i]));
    }
    // All eight tabs in view: the sheet is as wide as its tab row.
    tabs_->setUsesScrollButtons(false);

    auto* buttons = new QDialogButtonBox(this);
    ok_ = buttons->addButton(QDialogButtonBox::Ok);
    cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
    apply_ = buttons->addButton(QDialogButtonBox::Apply);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addWidget(buttons);

    connect(ok_, &QPushButton::clicked, this, [this] {
        if (applyPages()) {
            accept();
        }
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, [this] { applyPages(); });
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { showPage(index); });
    showPage(0);
}

void OptionsSheetDialog::showPage(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= pages_.size()) {
        return;
    }
    const auto id = static_cast<OptionsPageId>(index);
    sheet_.showPage(id);
    if (!loaded_[static_cast<std::size_t>(index)]) {
        loaded_[static_cast<std::size_t>(index)] = true;
        pages_[static_cast<std::size_t>(index)]->load();
    }
    updateApply();
}

void OptionsSheetDialog::updateApply() {
    apply_->setEnabled(sheet_.applyEnabled());
}

bool OptionsSheetDialog::applyPages() {
    const bool applied = sheet_.apply();
    // A checked path may have been rewritten in its field.
    for (std::size_t i = 0; i < pages_.size(); ++i) {
        if (loaded_[i]) {
            pages_[i]->load();
        }
    }
    if (!applied) {
        tabs_->setCurrentIndex(static_cast<int>(sheet_.currentPage()));
    }
    updateApply();
    return applied;
}

}  // namespace server
