#pragma once

#include <QDialog>

namespace server {

inline constexpr const char* kVersionLine = "Version 3.6.0";

// "About Ravendock": a modeless sheet with the pages "Contact" and "Version".
class AboutSheet final : public QDialog {
    Q_OBJECT

  public:
    explicit AboutSheet(QWidget* parent = nullptr);
};

}  // namespace server
