#include "client/qt/qt_client_dialogs.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

#include "client/qt/listening_address_dialog.h"
#include "client/qt/multihomed_dialog.h"
#include "client/qt/qt_text.h"

namespace clientqt {

namespace {

// A short text makes a box narrower than its caption; a window manager then cuts the caption.
void keepCaptionVisible(QMessageBox& box) {
    constexpr int kMinimumWidth = 280;
    if (auto* grid = dynamic_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(kMinimumWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}

}  // namespace

void QtClientDialogs::MessageBox(std::string_view text, std::string_view caption) {
    // The block-size dialog is a warning of its own; every other box only informs.
    const auto icon =
        caption == client::kBlockSizeErrorTitle ? QMessageBox::Warning : QMessageBox::Information;
    QMessageBox box(icon, toQString(caption), toQString(text), QMessageBox::Ok, parent_);
    // Texts can carry a server's or a file's name: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    keepCaptionVisible(box);
    box.exec();
}

bool QtClientDialogs::AskYesNo(std::string_view text) {
    QMessageBox box(QMessageBox::Question, toQString(client::kProgramCaption), toQString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    keepCaptionVisible(box);
    return box.exec() == QMessageBox::Yes;
}

client::MultihomedAnswer QtClientDialogs::ChooseLocalAddress(
    const std::vector<std::string>& addresses, bool showAgain) {
    MultihomedDialog dialog(addresses, showAgain, parent_);
    dialog.exec();
    return dialog.Answer();
}

std::optional<std::string> QtClientDialogs::AskLocalAddress() {
    ListeningAddressDialog dialog(parent_);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return toStdString(dialog.address->text());
}

}  // namespace clientqt
