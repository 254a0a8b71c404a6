#pragma once

#include <QColor>
#include <QRect>

#include "server/monitor/client_row.h"

class QPainter;

namespace server {

inline constexpr QColor kBarFrameColour{255, 0, 0};
inline constexpr QColor kBarFillColour{0, 0, 255};

// The system colours a row is painted with.
struct RowColours {
    QColor background;  // the window colour
    QColor windowText;
};

// Red for a failed row, yellow for a swept one, blue while live (any other non-zero tag), the
// window-text colour once ended.
QColor RowTextColour(RowTag tag, const QColor& windowText);

// The Status cell of a row is a bar instead of text when the graphic flag is on and the text
// starts with '%'. Its percentage: up to three digits after the '%', 0 taken as 1.
bool StatusDrawnAsBar(const std::string& status, bool graphic);
int BarPercent(const std::string& status);

// Paints one row across its six cells, starting at rowRect's left edge: each cell filled with
// the background and its text on one line, left-aligned, elided at the end. Selection does not
// change how a row looks.
void DrawClientRow(QPainter& painter, const QRect& rowRect, const ClientRow& row,
                   const ColumnWidths& widths, bool graphic, const RowColours& colours);

}  // namespace server
