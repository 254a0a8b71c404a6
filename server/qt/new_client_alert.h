#pragma once

#include <QDialog>

class QLineEdit;
class QMovie;

namespace server {

inline constexpr const char* kAlertTitle = "Ravendock          New Client being Served";

// Pops up over everything while the main window is minimised: the newest client's address with a
// looping animation on magenta. A key, a click or "OK" hides it.
class NewClientAlert final : public QDialog {
    Q_OBJECT

  public:
    NewClientAlert();
    void showClient(const QString& text);
    QString clientText() const;
    QMovie* movie() const { return movie_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QLineEdit* text_;
    QMovie* movie_;
};

}  // namespace server
