#include "server/qt/qt_server_dialogs.h"

#include <QMessageBox>

#include "server/qt/listening_address_dialog.h"
#include "server/qt/multihomed_dialog.h"
#include "server/qt/server_info_dialog.h"

namespace server {

void QtServerDialogs::messageBox(std::string_view text, MessageIcon icon) {
    QMessageBox box(owner_);
    box.setWindowTitle("Ravendock");
    box.setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    box.setIcon(icon == MessageIcon::Error     ? QMessageBox::Critical
                : icon == MessageIcon::Warning ? QMessageBox::Warning
                                               : QMessageBox::Information);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

std::optional<std::string> QtServerDialogs::askListeningAddress() {
    ListeningAddressDialog dialog(owner_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.address().toStdString();
}

MultihomedAnswer QtServerDialogs::chooseHostAddress(const std::vector<std::string>& addresses,
                                                    bool doNotShowTicked) {
    MultihomedDialog dialog(addresses, doNotShowTicked, owner_);
    MultihomedAnswer answer;
    if (dialog.exec() == QDialog::Accepted) {
        answer.ok = true;
        answer.index = dialog.selectedIndex();
        answer.doNotShowAgain = dialog.doNotShowAgain();
    }
    return answer;
}

void QtServerDialogs::showWaitDialog(WaitDialogKind kind, std::function<void()> dropClients,
                                     std::function<void()> keepClients) {
    QPointer<WaitDialog>& dialog = kind == WaitDialogKind::PortChange ? portWait_ : stopWait_;
    if (dialog == nullptr) {
        dialog = new WaitDialog(kind, std::move(dropClients), std::move(keepClients), owner_);
    }
    dialog->show();
    dialog->raise();
}

void QtServerDialogs::closeWaitDialog(WaitDialogKind kind) {
    QPointer<WaitDialog>& dialog = kind == WaitDialogKind::PortChange ? portWait_ : stopWait_;
    if (dialog != nullptr) {
        dialog->hide();
        dialog->deleteLater();
        dialog = nullptr;
    }
}

void QtServerDialogs::showServerInfo(const ServerInfo& info) {
    ServerInfoDialog dialog(info, owner_);
    dialog.exec();
}

WaitDialog* QtServerDialogs::waitDialog(WaitDialogKind kind) const {
    return kind == WaitDialogKind::PortChange ? portWait_.data() : stopWait_.data();
}

}  // namespace server
