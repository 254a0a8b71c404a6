#pragma once

#include <QPixmap>
#include <QWidget>
#include <functional>

namespace server {

// The start-up picture: a borderless window of the picture's size, centred, that closes after
// kSplashTimeoutMs or at the first key or mouse press anywhere in the program, which it
// swallows. Closing deletes it.
class SplashWindow final : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kSplashTimeoutMs = 20000;
    // Starts the one time-out; tests pass their own to fire it without waiting.
    using StartTimer = std::function<void(QObject* context, int ms, std::function<void()> fire)>;

    // Null when the picture cannot be loaded.
    static SplashWindow* create(const QString& picture, std::function<void()> onClosed,
                                const StartTimer& startTimer = {});

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    SplashWindow(const QPixmap& picture, std::function<void()> onClosed);
    void dismiss();

    QPixmap picture_;
    std::function<void()> onClosed_;
    bool closing_ = false;
};

}  // namespace server
