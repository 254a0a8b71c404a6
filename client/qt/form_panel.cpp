#include "client/qt/form_panel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "client/qt/qt_text.h"

namespace clientqt {

namespace {

QLabel* labelFor(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

void setText(QLineEdit* edit, const std::string& text) {
    edit->setText(toQString(text));
    edit->setCursorPosition(0);
}

}  // namespace

FormPanel::FormPanel(QWidget* parent)
    : QWidget(parent),
      host(new QLineEdit),
      port(new QLineEdit),
      timeout(new QLineEdit),
      sendTimeout(new QCheckBox("Send timeout to Server")),
      blockSize(new QComboBox),
      localName(new QLineEdit),
      remoteName(new QLineEdit),
      binary(new QCheckBox("Binary")),
      matchFiles(new QCheckBox("Match Files")),
      fetchButton(new QPushButton("Fetch")),
      sendButton(new QPushButton("Send")),
      abortButton(new QPushButton("Abort")),
      progress(new QProgressBar) {
    host->setObjectName("host");
    port->setObjectName("port");
    timeout->setObjectName("timeout");
    localName->setObjectName("localName");
    remoteName->setObjectName("remoteName");
    host->setMaxLength(static_cast<int>(client::kMaxHostLength));
    localName->setMaxLength(static_cast<int>(client::kMaxNameLength));
    remoteName->setMaxLength(static_cast<int>(client::kMaxNameLength));
    const int narrow = fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12;
    port->setFixedWidth(narrow);
    timeout->setFixedWidth(narrow);

    blockSize->setEditable(true);
    blockSize->setInsertPolicy(QComboBox::NoInsert);
    blockSize->addItems({"64", "128", "256", "512", "1024", "2048", "4096", "8192", "12250"});
    blockSize->setCurrentText("512");

    auto* grid = new QGridLayout;
    grid->addWidget(labelFor("Host", host), 0, 0);
    grid->addWidget(host, 0, 1);
    auto* numbers = new QHBoxLayout;
    numbers->addWidget(labelFor("Port", port));
    numbers->addWidget(port);
    numbers->addSpacing(8);
    numbers->addWidget(labelFor("Timeout", timeout));
    numbers->addWidget(timeout);
    grid->addLayout(numbers, 0, 2);
    grid->addWidget(sendTimeout, 1, 2, Qt::AlignRight);
    grid->addWidget(labelFor("Local File", localName), 2, 0);
    grid->addWidget(localName, 2, 1, 1, 2);
    grid->addWidget(labelFor("Remote File", remoteName), 3, 0);
    grid->addWidget(remoteName, 3, 1, 1, 2);

    auto* blockGroup = new QGroupBox("Block Size");
    auto* blockLayout = new QVBoxLayout(blockGroup);
    blockLayout->addWidget(blockSize);
    auto* flags = new QVBoxLayout;
    flags->addWidget(binary);
    flags->addWidget(matchFiles);
    auto* middle = new QHBoxLayout;
    middle->addLayout(flags);
    middle->addStretch(1);
    middle->addWidget(blockGroup);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(fetchButton);
    buttons->addWidget(sendButton);
    buttons->addStretch(1);
    buttons->addWidget(abortButton);
    abortButton->setEnabled(false);

    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setTextVisible(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(middle);
    layout->addLayout(buttons);
    layout->addWidget(progress);

    connect(localName, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (matchFiles->isChecked()) {
            remoteName->setText(text);
        }
    });
    connect(remoteName, &QLineEdit::textEdited, this, [this] { matchFiles->setChecked(false); });
    connect(matchFiles, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked) {
            remoteName->setText(localName->text());
        }
    });
}

void FormPanel::ReadInto(client::TransferForm& form) const {
    form.host = toStdString(host->text());
    form.port = toStdString(port->text());
    form.timeout = toStdString(timeout->text());
    form.sendTimeoutOption = sendTimeout->isChecked();
    form.blockSize = toStdString(blockSize->currentText());
    form.localName = toStdString(localName->text());
    form.remoteName = toStdString(remoteName->text());
    form.binary = binary->isChecked();
    form.matchFiles = matchFiles->isChecked();
}

void FormPanel::Show(const client::TransferForm& form) {
    const bool all = !shownOnce_;
    if (all || form.host != shown_.host) {
        setText(host, form.host);
    }
    if (all || form.port != shown_.port) {
        setText(port, form.port);
    }
    if (all || form.timeout != shown_.timeout) {
        setText(timeout, form.timeout);
    }
    if (all || form.blockSize != shown_.blockSize) {
        blockSize->setCurrentText(toQString(form.blockSize));
    }
    if (all || form.localName != shown_.localName) {
        setText(localName, form.localName);
    }
    if (all || form.remoteName != shown_.remoteName) {
        setText(remoteName, form.remoteName);
    }
    if (all || form.sendTimeoutOption != shown_.sendTimeoutOption) {
        sendTimeout->setChecked(form.sendTimeoutOption);
    }
    if (all || form.binary != shown_.binary) {
        binary->setChecked(form.binary);
    }
    if (all || form.matchFiles != shown_.matchFiles) {
        matchFiles->setChecked(form.matchFiles);
    }
    shown_ = form;
    shownOnce_ = true;
}

void FormPanel::SetButtonNames(bool changeButtons) {
    fetchButton->setText(changeButtons ? "Get" : "Fetch");
    sendButton->setText(changeButtons ? "Put" : "Send");
}

}  // namespace clientqt
