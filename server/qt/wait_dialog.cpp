#include "server/qt/wait_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace server {

namespace {

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QLabel* paragraph(std::string_view s, QWidget* parent) {
    auto* label = new QLabel(text(s), parent);
    label->setWordWrap(true);
    return label;
}

}  // namespace

WaitDialog::WaitDialog(WaitDialogKind kind, std::function<void()> dropClients,
                       std::function<void()> keepClients, QWidget* parent)
    : QDialog(parent), kind_(kind) {
    const WaitDialogTexts texts = waitDialogTexts(kind);
    setWindowTitle(text(texts.title));
    setModal(false);
    setObjectName(kind == WaitDialogKind::StopServing ? "stopWaitDialog" : "portWaitDialog");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(paragraph(texts.drop, this));
    layout->addWidget(paragraph(texts.keep, this));
    if (!texts.wait.empty()) {
        layout->addWidget(paragraph(texts.wait, this));
    }
    auto* buttons = new QHBoxLayout;
    auto* drop = new QPushButton("Drop Clients", this);
    auto* keep = new QPushButton("Keep Clients", this);
    drop->setObjectName("dropClients");
    keep->setObjectName("keepClients");
    buttons->addStretch();
    buttons->addWidget(drop);
    buttons->addWidget(keep);
    buttons->addStretch();
    layout->addLayout(buttons);
    setMinimumWidth(420);
    // Either answer closes this dialog through the engine, so the call may delete it: it is
    // queued to run after the click has been handled.
    connect(
        drop, &QPushButton::clicked, this, [drop = std::move(dropClients)] { drop(); },
        Qt::QueuedConnection);
    connect(
        keep, &QPushButton::clicked, this, [keep = std::move(keepClients)] { keep(); },
        Qt::QueuedConnection);
}

}  // namespace server
