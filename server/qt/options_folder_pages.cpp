#include "server/qt/options_folder_pages.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "server/config/folder_browser.h"
#include "server/qt/folder_browser_dialog.h"

namespace server {

namespace {

// A group titled with the field's label holding the path field and "Browse". On OK the chosen
// folder goes into the field; it is checked only when the page is applied.
FolderRow addFolderRow(OptionsPageWidget* page, QVBoxLayout* layout, std::string_view title,
                       std::string& field, const std::function<void()>& edited,
                       const std::function<QLineEdit*(std::string&)>& makeEdit) {
    auto* group = new QGroupBox(qs(title), page);
    auto* row = new QHBoxLayout(group);
    FolderRow folder{makeEdit(field), new QPushButton(QStringLiteral("Browse"), group)};
    folder.edit->setParent(group);
    row->addWidget(folder.edit, 1);
    row->addWidget(folder.browse);
    layout->addWidget(group);
    QObject::connect(folder.browse, &QPushButton::clicked, page, [page, &field, folder, edited] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        server::FolderBrowser browser(field, server::MountTable::FromSystem(),
                                      server::ReadVolumeLabels());
        QApplication::restoreOverrideCursor();
        FolderBrowserDialog dialog(page);
        if (dialog.run(browser)) {
            field = browser.path();
            folder.edit->setText(qs(field));
            edited();
        }
    });
    return folder;
}

}  // namespace

InboundPageWidget::InboundPageWidget(server::InboundPage& model, std::function<void()> changed,
                                     QWidget* parent)
    : OptionsPageWidget(model, std::move(changed), parent), model_(model) {
    auto* layout = new QVBoxLayout(this);
    row_ = addFolderRow(
        this, layout, "Inbound file path", model_.path, [this] { this->changed(); },
        [this](std::string& field) { return addEdit(field); });
    inPaths_ = addCheck("Allow Inbound Paths", model_.inPaths);
    createPaths_ = addCheck("Create paths as needed", model_.createPaths);
    renameDuplicates_ = addCheck("Rename duplicate files", model_.renameDuplicates);
    renameExisting_ = addCheck("Rename Existing", model_.renameExisting);
    for (QCheckBox* box : {inPaths_, createPaths_, renameDuplicates_, renameExisting_}) {
        layout->addWidget(box);
    }
    layout->addStretch(1);
    connect(renameDuplicates_, &QCheckBox::toggled, renameExisting_, &QWidget::setEnabled);
}

void InboundPageWidget::fill() {
    row_.edit->setText(qs(model_.path));
    row_.edit->setEnabled(model_.pathEnabled());
    row_.browse->setEnabled(model_.pathEnabled());
    inPaths_->setChecked(model_.inPaths);
    createPaths_->setChecked(model_.createPaths);
    renameDuplicates_->setChecked(model_.renameDuplicates);
    renameExisting_->setChecked(model_.renameExisting);
    renameExisting_->setEnabled(model_.renameExistingEnabled());
}

OutboundPageWidget::OutboundPageWidget(server::OutboundPage& model, std::function<void()> changed,
                                       QWidget* parent)
    : OptionsPageWidget(model, std::move(changed), parent), model_(model) {
    auto* layout = new QVBoxLayout(this);
    row_ = addFolderRow(
        this, layout, "Outbound file path", model_.path, [this] { this->changed(); },
        [this](std::string& field) { return addEdit(field); });
    outPaths_ = addCheck("Enable Paths", model_.outPaths);
    force_ = addCheck("Only Send This File", model_.force);
    forceFile_ = addEdit(model_.forceFile);
    layout->addWidget(outPaths_);
    layout->addWidget(force_);
    // The file name belongs to the box above it.
    auto* indented = new QHBoxLayout;
    indented->setContentsMargins(24, 0, 0, 0);
    indented->addWidget(forceFile_);
    layout->addLayout(indented);
    layout->addStretch(1);
}

void OutboundPageWidget::fill() {
    row_.edit->setText(qs(model_.path));
    row_.edit->setEnabled(model_.pathEnabled());
    row_.browse->setEnabled(model_.pathEnabled());
    outPaths_->setChecked(model_.outPaths);
    force_->setChecked(model_.force);
    forceFile_->setText(qs(model_.forceFile));
}

}  // namespace server
