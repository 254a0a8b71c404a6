#include "window_harness.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

namespace windowtest {

void screenshot(QWidget& widget, const QString& name) {
    const QByteArray dir = qgetenv("RAVEN_SCREENSHOTS");
    if (dir.isEmpty()) {
        return;
    }
    // The screen's pixels, so a window manager's frame and title come along when one runs.
    QTest::qWait(400);
    const QRect frame = widget.window()->frameGeometry();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
        0, frame.x(), frame.y(), frame.width(), frame.height());
    QVERIFY(shot.save(QString::fromUtf8(dir) + "/" + name + ".png"));
}

}  // namespace windowtest
