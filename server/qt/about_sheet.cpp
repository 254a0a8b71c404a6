#include "server/qt/about_sheet.h"

#include <QDialogButtonBox>
#include <QIcon>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

namespace server {

namespace {

QWidget* page(const QString& html, QWidget* parent, bool withIcon) {
    auto* widget = new QWidget(parent);
    auto* layout = new QVBoxLayout(widget);
    if (withIcon) {
        auto* icon = new QLabel(widget);
        icon->setPixmap(QIcon(":/icons/ravendockd.svg").pixmap(64, 64));
        icon->setAlignment(Qt::AlignHCenter);
        layout->addWidget(icon);
    }
    auto* text = new QLabel(html, widget);
    text->setTextFormat(Qt::RichText);
    text->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    text->setWordWrap(true);
    text->setOpenExternalLinks(true);
    text->setObjectName(withIcon ? "versionText" : "contactText");
    layout->addWidget(text);
    layout->addStretch();
    return widget;
}

}  // namespace

AboutSheet::AboutSheet(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Ravendock");
    setObjectName("aboutSheet");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* pages = new QTabWidget(this);
    pages->setObjectName("pages");
    pages->addTab(page("<h3>Quenmarsh</h3>"
                       "<p>Questions, reports of faults and wishes for Ravendock:</p>"
                       "<p>Quenmarsh Software<br>support@quenmarsh.com<br>"
                       "http://www.quenmarsh.com/</p>",
                       pages, false),
                  "Contact");
    pages->addTab(page(QString("<h2>Ravendock</h2><p>%1</p>"
                               "<p>A TFTP server (RFC 1350, with the options blksize, timeout "
                               "and tsize of RFC 2347 to 2349).</p>")
                           .arg(kVersionLine),
                       pages, true),
                  "Version");
    layout->addWidget(pages);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(360, 300);
}

}  // namespace server
