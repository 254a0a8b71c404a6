#include "client/qt/options_sheet.h"

#include <QGroupBox>
#include <QVBoxLayout>

#include "client/qt/qt_text.h"

namespace clientqt {

namespace {

// A page of a folder group "File Path" above one check box.
QVBoxLayout* folderPage(QWidget* page, QLineEdit* directory, QCheckBox* box) {
    auto* group = new QGroupBox("File Path");
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(directory);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addWidget(box);
    layout->addStretch(1);
    return layout;
}

}  // namespace

CIncomingPage::CIncomingPage()
    : directory(new QLineEdit), overwrite(new QCheckBox("Overwrite exisiting files")) {
    folderPage(this, directory, overwrite);
}

COutgoingPage::COutgoingPage()
    : directory(new QLineEdit), truncate(new QCheckBox("Truncate long filenames")) {
    folderPage(this, directory, truncate);
}

COptionsPage::COptionsPage()
    : sendTsize(new QCheckBox("Send TSize option to Server when sending a file")) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sendTsize);
    layout->addStretch(1);
}

COptionsSheet::COptionsSheet(QWidget* parent)
    : QDialog(parent),
      tabs(new QTabWidget),
      incoming(new CIncomingPage),
      outgoing(new COutgoingPage),
      options(new COptionsPage),
      buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel)) {
    setWindowTitle("File Locations & Options");
    tabs->addTab(incoming, "Inbound");
    tabs->addTab(outgoing, "Outbound");
    tabs->addTab(options, "Other Options");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
    setMinimumWidth(420);
}

void COptionsSheet::SetValues(const client::SetupPageValues& values) {
    incoming->directory->setText(toQString(values.inbound));
    incoming->overwrite->setChecked(values.overwrite);
    outgoing->directory->setText(toQString(values.outbound));
    outgoing->truncate->setChecked(values.truncate);
    options->sendTsize->setChecked(values.sendTsize);
}

client::SetupPageValues COptionsSheet::Values() const {
    client::SetupPageValues values;
    values.inbound = toStdString(incoming->directory->text());
    values.overwrite = incoming->overwrite->isChecked();
    values.outbound = toStdString(outgoing->directory->text());
    values.truncate = outgoing->truncate->isChecked();
    values.sendTsize = options->sendTsize->isChecked();
    return values;
}

}  // namespace clientqt
