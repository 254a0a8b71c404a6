#include "client/qt/about_sheet.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QStringList>
#include <QVBoxLayout>

#include "client/command_line.h"
#include "client/qt/qt_text.h"

namespace clientqt {

namespace {

QLabel* plain(const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

QWidget* companyPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(plain("Quenmarsh"));
    layout->addWidget(
        plain("Merrowin Client and the Ravendock TFTP server are made by Quenmarsh, "
              "who also answer questions about them."));
    layout->addStretch(1);
    return page;
}

QWidget* versionPage() {
    auto* page = new QWidget;
    auto* icon = new QLabel;
    icon->setPixmap(QIcon(":/merrowinc.svg").pixmap(48, 48));
    auto* texts = new QVBoxLayout;
    texts->addWidget(plain("32Bit TFTP Client"));
    texts->addWidget(plain("Version 6.0.3.2"));
    texts->addSpacing(8);
    texts->addWidget(
        plain("TFTP (RFC 1350) with the options blksize, timeout and tsize "
              "(RFC 2347 to 2349), over UDP and IPv4."));
    texts->addWidget(plain("This program comes with no warranty of any kind."));
    texts->addStretch(1);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(texts, 1);
    return page;
}

// One switch a line: the switch in the first column, its description (tab-indented lines of the
// help text) in the second.
QWidget* commandLinePage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    int row = 0;
    for (std::string_view text : client::CommandLineHelpTexts()) {
        const QStringList lines = toQString(text).split('\n');
        for (const QString& line : lines) {
            const qsizetype tab = line.indexOf('\t');
            const QString head = tab < 0 ? line : line.left(tab);
            const QString tail = tab < 0 ? QString() : line.mid(tab + 1).trimmed();
            if (!head.isEmpty()) {
                grid->addWidget(plain(head), row, 0, Qt::AlignTop);
            }
            grid->addWidget(plain(tail), row, 1);
            ++row;
        }
    }
    grid->setColumnStretch(1, 1);
    grid->setVerticalSpacing(2);
    grid->setRowStretch(row, 1);
    return page;
}

}  // namespace

CAbout::CAbout(QWidget* parent) : QDialog(parent), tabs(new QTabWidget) {
    setWindowTitle("About Merrowin Client");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    tabs->addTab(companyPage(), "The Company");
    tabs->addTab(versionPage(), "Version");
    tabs->addTab(commandLinePage(), "Command Line");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::close);
    // Escape ends a dialog without a close event; it goes all the same.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

}  // namespace clientqt
