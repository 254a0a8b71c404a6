#pragma once

#include <QDialog>
#include <QTabWidget>

namespace clientqt {

// "About Merrowin Client": a modeless sheet with the pages "The Company", "Version" and
// "Command Line". It deletes itself when closed.
class CAbout final : public QDialog {
  public:
    explicit CAbout(QWidget* parent = nullptr);

    QTabWidget* tabs;
};

}  // namespace clientqt
