#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QCheckBox;
class QListWidget;

namespace server {

// "Multihomed Host - Please select Servers Host Address": one of the host's addresses, and
// whether to ask again next time.
class MultihomedDialog final : public QDialog {
    Q_OBJECT

  public:
    MultihomedDialog(const std::vector<std::string>& addresses, bool doNotShowTicked,
                     QWidget* parent = nullptr);
    // The selected row, 0 when none is selected.
    int selectedIndex() const;
    bool doNotShowAgain() const;

  private:
    QListWidget* list_;
    QCheckBox* doNotShow_;
};

}  // namespace server
