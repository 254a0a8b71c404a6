#include "window_harness.h"

#include <QPixmap>

namespace windowtest {

void screenshot(QWidget& widget, const QString& name) {
    const QByteArray dir = qgetenv("RAVEN_SCREENSHOTS");
    if (dir.isEmpty()) {
        return;
    }
    QApplication::processEvents();
    QVERIFY(widget.grab().save(QString::fromUtf8(dir) + "/" + name + ".png"));
}

}  // namespace windowtest
