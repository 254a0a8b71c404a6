#include "server/qt/server_info_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace server {

ServerInfoDialog::ServerInfoDialog(const ServerInfo& info, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Local Server Info");
    setObjectName("serverInfoDialog");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto value = [this](const QString& text) {
        auto* label = new QLabel(text, this);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return label;
    };
    form->addRow("Host Name", value(QString::fromStdString(info.hostName)));
    form->addRow("Host I.P.", value(QString::fromStdString(info.hostIp)));
    form->addRow("Adaptors", value(QString::number(info.adaptors)));
    form->addRow("Sockets Version", value(QString::fromStdString(info.socketsVersion)));
    form->addRow("Max. UDP", value(QString::number(info.maxUdp)));
    form->addRow("Max. Sockets", value(QString::number(info.maxSockets)));
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
    setMinimumWidth(300);
}

}  // namespace server
