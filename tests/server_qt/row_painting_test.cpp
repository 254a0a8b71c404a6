// The client list's rows rendered into images: bar, outline and text colour by pixel.
#include <QImage>
#include <QPainter>
#include <QTest>

#include "server/qt/client_row_painter.h"
#include "tests/server_qt/qt_tests.h"

namespace qttest {

namespace {

constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kBlue = 0xff0000ff;

// One row 20 pixels high, its Status column at x = 100 with the given width.
QImage renderRow(const std::string& status, int statusWidth, bool graphic, server::RowTag tag = 7) {
    QImage image(600, 20, QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    server::ClientRow row;
    row.cells[server::kColumnClient] = "127.0.0.1";
    row.cells[server::kColumnStatus] = status;
    row.tag = tag;
    const server::ColumnWidths widths{60, 40, statusWidth, 90, 90, 110};
    server::DrawClientRow(painter, QRect(0, 0, 600, 20), row, widths, graphic,
                          {QColor(Qt::white), QColor(Qt::black)});
    return image;
}

int countColumns(const QImage& image, int y, QRgb colour, int from, int to) {
    int n = 0;
    for (int x = from; x < to; ++x) {
        n += image.pixel(x, y) == colour;
    }
    return n;
}

}  // namespace

void RowPaintingTest::barAtFortyFivePercentEndsAtXMinusOnePlusFortyFive() {
    const QImage image = renderRow("%45, 23040", 106, true);
    // Outline: x .. x + w - 3 and the row's top and bottom lines.
    QCOMPARE(image.pixel(100, 10), kRed);
    QCOMPARE(image.pixel(100 + 106 - 3, 10), kRed);
    QCOMPARE(image.pixel(150, 0), kRed);
    QCOMPARE(image.pixel(150, 19), kRed);
    QCOMPARE(image.pixel(100 + 106 - 2, 10), kWhite);
    // Inside: from x + 2 up to (not including) x - 1 + 45, one pixel in from top and bottom.
    QCOMPARE(image.pixel(101, 10), kWhite);
    QCOMPARE(image.pixel(102, 10), kBlue);
    QCOMPARE(image.pixel(100 - 1 + 45 - 1, 10), kBlue);
    QCOMPARE(image.pixel(100 - 1 + 45, 10), kWhite);
    QCOMPARE(image.pixel(120, 1), kBlue);
    QCOMPARE(image.pixel(120, 18), kBlue);
    QCOMPARE(countColumns(image, 10, kBlue, 100, 206), 42);
}

void RowPaintingTest::onePercentAndZeroDrawOnlyTheOutline() {
    for (const char* status : {"%1, 10", "%0, 0"}) {
        const QImage image = renderRow(status, 106, true);
        QCOMPARE(image.pixel(100, 10), kRed);
        QCOMPARE(countColumns(image, 10, kBlue, 100, 206), 0);
    }
    // Four per cent of 100 pixels: right = x + 3, one blue column at x + 2.
    QCOMPARE(countColumns(renderRow("%4, 10", 106, true), 10, kBlue, 100, 206), 1);
}

void RowPaintingTest::sixPixelColumnHasNoFill() {
    const QImage image = renderRow("%100, 512", 6, true);
    QCOMPARE(image.pixel(100, 10), kRed);
    QCOMPARE(image.pixel(103, 10), kRed);
    QCOMPARE(countColumns(image, 10, kBlue, 100, 106), 0);
    // The next column starts right after it.
    QCOMPARE(image.pixel(106, 10), kWhite);
}

void RowPaintingTest::textWhenGraphicOffOrStatusNotAPercentage() {
    for (const auto& [status, graphic] : {std::pair{"%45, 23040", false}, {"Receiving", true}}) {
        const QImage image = renderRow(status, 106, graphic);
        QCOMPARE(countColumns(image, 0, kRed, 100, 206), 0);
        // Blue text of a live row, drawn somewhere in the cell (edges are blended).
        int blue = 0;
        for (int y = 0; y < 20; ++y) {
            for (int x = 100; x < 206; ++x) {
                const QColor c = image.pixelColor(x, y);
                blue += c.blue() > 150 && c.red() < 100 && c.green() < 100;
            }
        }
        QVERIFY(blue > 0);
    }
}

}  // namespace qttest
