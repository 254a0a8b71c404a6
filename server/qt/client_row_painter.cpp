#include "server/qt/client_row_painter.h"

#include <QFontMetrics>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <string_view>

#include "platform/ascii_text.h"

namespace server {

namespace {

// Inner margin of a text cell, as a report list leaves one.
constexpr int kTextMargin = 2;

// A one-pixel frame inside the rectangle from (left, top) to (right, bottom), both exclusive.
void frameRect(QPainter& painter, int left, int top, int right, int bottom, const QColor& colour) {
    if (right <= left || bottom <= top) {
        return;
    }
    const int width = right - left;
    const int height = bottom - top;
    painter.fillRect(left, top, width, 1, colour);
    painter.fillRect(left, bottom - 1, width, 1, colour);
    painter.fillRect(left, top, 1, height, colour);
    painter.fillRect(right - 1, top, 1, height, colour);
}

void drawBar(QPainter& painter, int x, int w, int top, int bottom, int percent) {
    frameRect(painter, x, top, x + w - 2, bottom, kBarFrameColour);
    const int left = x + 2;
    int right = left;
    if (w - 6 > 0) {
        right = x - 1 + static_cast<int>((w - 6) * 0.01 * percent);
    }
    if (right >= left && bottom - 1 > top + 1) {
        // An empty rectangle (right == left) fills nothing, as the platform's fill does.
        painter.fillRect(left, top + 1, right - left, (bottom - 1) - (top + 1), kBarFillColour);
    }
}

}  // namespace

QColor RowTextColour(RowTag tag, const QColor& windowText) {
    switch (tag) {
        case kTagFailed:
            return QColor(255, 0, 0);
        case kTagSwept:
            return QColor(255, 255, 0);
        case kTagEnded:
            return windowText;
        default:
            return QColor(0, 0, 255);
    }
}

bool StatusDrawnAsBar(const std::string& status, bool graphic) {
    return graphic && !status.empty() && status[0] == '%';
}

int BarPercent(const std::string& status) {
    // At most three digits after the '%'.
    const auto value = static_cast<int>(platform::LeadingDecimal(
        std::string_view(status).substr(std::min<std::size_t>(1, status.size()), 3), 999));
    return value == 0 ? 1 : value;
}

void DrawClientRow(QPainter& painter, const QRect& rowRect, const ClientRow& row,
                   const ColumnWidths& widths, bool graphic, const RowColours& colours) {
    painter.save();
    const QColor text = RowTextColour(row.tag, colours.windowText);
    const int top = rowRect.top();
    const int bottom = rowRect.top() + rowRect.height();
    const QFontMetrics metrics = painter.fontMetrics();
    int x = rowRect.left();
    for (int column = 0; column < kColumnCount; ++column) {
        const int w = widths[static_cast<std::size_t>(column)];
        const std::string& cell = row.cells[static_cast<std::size_t>(column)];
        const QRect cellRect(x, top, w, bottom - top);
        if (w > 0) {
            painter.fillRect(cellRect, colours.background);
        }
        if (column == kColumnStatus && StatusDrawnAsBar(cell, graphic)) {
            drawBar(painter, x, w, top, bottom, BarPercent(cell));
        } else if (w > 2 * kTextMargin && !cell.empty()) {
            const QRect textRect = cellRect.adjusted(kTextMargin, 0, -kTextMargin, 0);
            const QString shown =
                metrics.elidedText(QString::fromStdString(cell), Qt::ElideRight, textRect.width());
            painter.setPen(text);
            painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                             shown);
        }
        x += w;
    }
    painter.restore();
}

}  // namespace server
