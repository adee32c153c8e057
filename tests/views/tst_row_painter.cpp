// The row painter on its own, painting into images: glyphs one per column, the selection, a
// glyph cache that looks each character up once, and an atlas that renders each cell once.
#include "data_columns.h"
#include "views/row_painter.h"

#include <QImage>
#include <QPainter>
#include <QTest>

#include <algorithm>

using namespace views;

namespace {

const views::RowPainter::Colours colours{Qt::black, Qt::white, Qt::blue, Qt::white};
const QPoint origin(4, 4);

QFont viewFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(9.75);
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

QImage blank(const views::RowPainter& painter, int columns, int rows, int ratio = 1) {
    QImage image((origin.x() * 2 + columns * painter.charWidth()) * ratio,
                 (origin.y() * 2 + rows * painter.lineHeight()) * ratio,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    return image;
}

// All rows of text, laid out at `columns`, with the given selection.
QImage paint(views::RowPainter& rowPainter, const QString& text, int columns,
             int selectionStart = 0, int selectionEnd = 0,
             const views::RowPainter::Colours& with = colours, int ratio = 1) {
    views::ViewRows rows;
    rows.setColumns(columns);
    rows.update(text, 0);
    QImage image = blank(rowPainter, columns, rows.rowCount(), ratio);
    QPainter painter(&image);
    rowPainter.paintRows(painter, text, rows, 0, rows.rowCount() - 1, 0, columns, origin,
                         selectionStart, selectionEnd, with);
    return image;
}

// Where a cell is in the image.
QRect cell(const views::RowPainter& painter, int row, int column) {
    return {origin.x() + column * painter.charWidth(), origin.y() + row * painter.lineHeight(),
            painter.charWidth(), painter.lineHeight()};
}

} // namespace

class TestRowPainter : public QObject {
    Q_OBJECT

private slots:
    // Each character is the font's own glyph, drawn with its left edge at its column and on the
    // row's baseline, as drawing that one character as text there would show it: pixel for
    // pixel, whether copied from cells rendered on the background or blended onto the target
    // (no background colour given), on a device of one or two pixels a point.
    void glyphsSitInTheirColumns_data() {
        addColumns<bool, int>("cells", "ratio");
        QTest::newRow("cells") << true << 1;
        QTest::newRow("cells, ratio 2") << true << 2;
        QTest::newRow("blended") << false << 1;
        QTest::newRow("blended, ratio 2") << false << 2;
    }
    void glyphsSitInTheirColumns() {
        QFETCH(bool, cells);
        QFETCH(int, ratio);
        views::RowPainter rowPainter(viewFont());
        views::RowPainter::Colours with = colours;
        if (!cells)
            with.background = QColor();
        const QString row = QStringLiteral("Hi_8é~");
        const QImage painted = paint(rowPainter, row, row.size(), 0, 0, with, ratio);
        QCOMPARE(rowPainter.cellRenders() > 0, cells);
        QImage expected = blank(rowPainter, row.size(), 1, ratio);
        QPainter painter(&expected);
        painter.setFont(viewFont());
        painter.setPen(colours.text);
        for (int column = 0; column < row.size(); ++column)
            painter.drawText(cell(rowPainter, 0, column).left(), origin.y() + rowPainter.ascent(),
                             row.mid(column, 1));
        painter.end();
        QCOMPARE(painted, expected);
    }

    // Blanks and tabs show nothing, another control character a box inside its own cell, and
    // rows go one line height apart.
    void blanksBoxesAndRows() {
        views::RowPainter rowPainter(viewFont());
        const QImage image = paint(rowPainter, QStringLiteral(" \t\x01x\r\n \t\x7Fx"), 4);
        auto inked = [&](int row, int column) {
            const QImage part = image.copy(cell(rowPainter, row, column));
            for (int y = 0; y < part.height(); ++y)
                for (int x = 0; x < part.width(); ++x)
                    if (part.pixel(x, y) != qRgb(255, 255, 255))
                        return true;
            return false;
        };
        for (int row = 0; row < 2; ++row) {
            QVERIFY(!inked(row, 0) && !inked(row, 1) && inked(row, 2) && inked(row, 3));
            QCOMPARE(image.copy(cell(rowPainter, row, 3)), image.copy(cell(rowPainter, 0, 3)));
        }
        QCOMPARE(image.copy(cell(rowPainter, 1, 2)), image.copy(cell(rowPainter, 0, 2)));
    }

    // A selection fills its cells with the highlight and draws its characters in the selected
    // text colour; a selected line break is one more cell after its line.
    void selection() {
        views::RowPainter rowPainter(viewFont());
        const QImage image = paint(rowPainter, QStringLiteral("abc\r\nde"), 5, 1, 6);
        auto colours = [&](int row, int column) {
            QSet<QRgb> found;
            const QImage part = image.copy(cell(rowPainter, row, column));
            for (int y = 0; y < part.height(); ++y)
                for (int x = 0; x < part.width(); ++x)
                    found << part.pixel(x, y);
            return found;
        };
        const QRgb white = qRgb(255, 255, 255), blue = qRgb(0, 0, 255);
        // Ink of the selected text colour (white) on the highlight, or of the text colour (black)
        // on white.
        auto selectedInk = [&](int row, int column) {
            const QSet<QRgb> found = colours(row, column);
            return found.contains(blue) && std::any_of(found.begin(), found.end(), [](QRgb c) {
                       return qRed(c) > 128 && qBlue(c) == 255;
                   });
        };
        auto plainInk = [&](int row, int column) {
            const QSet<QRgb> found = colours(row, column);
            return !found.contains(blue) && std::any_of(found.begin(), found.end(), [](QRgb c) {
                return qRed(c) < 128 && qRed(c) == qBlue(c);
            });
        };
        QVERIFY(plainInk(0, 0));                    // a
        QVERIFY(selectedInk(0, 1));                 // b
        QVERIFY(selectedInk(0, 2));                 // c
        QCOMPARE(colours(0, 3), QSet<QRgb>{blue});  // the line break
        QCOMPARE(colours(0, 4), QSet<QRgb>{white}); // nothing after it
        QVERIFY(selectedInk(1, 0));                 // d
        QVERIFY(plainInk(1, 1));                    // e, after the selection
    }

    // Each character is looked up in the font the first time it is painted and never again; a new
    // font starts the cache afresh. Blanks and control characters need no glyph.
    void glyphCache() {
        views::RowPainter rowPainter(viewFont());
        QCOMPARE(rowPainter.glyphLookups(), 0);
        const QImage first = paint(rowPainter, QStringLiteral("abca \x01"), 8);
        QCOMPARE(rowPainter.glyphLookups(), 3);
        QCOMPARE(paint(rowPainter, QStringLiteral("abca \x01"), 8), first); // a row painted again
        QCOMPARE(rowPainter.glyphLookups(), 3);
        paint(rowPainter, QStringLiteral("cab€é"), 8);
        QCOMPARE(rowPainter.glyphLookups(), 5);
        paint(rowPainter, QStringLiteral("€é"), 8);
        QCOMPARE(rowPainter.glyphLookups(), 5);
        QFont bigger = viewFont();
        bigger.setPointSizeF(20);
        rowPainter.setFont(bigger);
        QVERIFY(paint(rowPainter, QStringLiteral("abca \x01"), 8) != first);
        QCOMPARE(rowPainter.glyphLookups(), 8);
    }

    // Each cell is rendered once for its colours: painting rows again, or the same rows shifted
    // sideways (as a long line scrolled in the hex view is), renders no cell again and copies
    // the same pixels to the new place. New colours render the cells afresh.
    void cellsRenderOnce() {
        views::RowPainter rowPainter(viewFont());
        const QString text = QStringLiteral("0A 1B 2C ").repeated(5);
        views::ViewRows rows;
        rows.setColumns(text.size());
        rows.update(text, 0);
        const int columns = 20;
        auto paintFrom = [&](int firstColumn, const views::RowPainter::Colours& with) {
            QImage image = blank(rowPainter, columns, 1);
            QPainter painter(&image);
            const QPoint shifted(origin.x() - firstColumn * rowPainter.charWidth(), origin.y());
            rowPainter.paintRows(painter, text, rows, 0, 0, firstColumn, firstColumn + columns,
                                 shifted, 3, 9, with);
            return image;
        };
        const QImage first = paintFrom(0, colours);
        const int renders = rowPainter.cellRenders();
        // 0 A 1 B 2 C and a blank plain; 1 B 2 C and a blank selected.
        QCOMPARE(renders, 7 + 5);
        QCOMPARE(paintFrom(0, colours), first);
        QCOMPARE(rowPainter.cellRenders(), renders);
        // Shifted by nine columns: what showed from column 9 on now shows from column 0.
        const QImage shifted = paintFrom(9, colours);
        QCOMPARE(rowPainter.cellRenders(), renders);
        const QRect kept(origin,
                         QSize((columns - 9) * rowPainter.charWidth(), rowPainter.lineHeight()));
        QCOMPARE(shifted.copy(kept), first.copy(kept.translated(9 * rowPainter.charWidth(), 0)));
        views::RowPainter::Colours inactive = colours;
        inactive.highlight = Qt::gray;
        paintFrom(0, inactive);
        QVERIFY(rowPainter.cellRenders() > renders);
    }

    // The atlas is bounded: after thousands of distinct characters it starts afresh, and cells
    // rendered then are the same as before.
    void atlasIsBounded() {
        views::RowPainter rowPainter(viewFont());
        const QImage first = paint(rowPainter, QStringLiteral("ab"), 2);
        const int renders = rowPainter.cellRenders();
        QString many;
        for (char16_t c = 0x2000; c < 0x2000 + 3000; ++c)
            many += QChar(c);
        paint(rowPainter, many, 100);
        const int afterMany = rowPainter.cellRenders();
        QCOMPARE(paint(rowPainter, QStringLiteral("ab"), 2), first);
        QCOMPARE(rowPainter.cellRenders(), afterMany + renders);
    }
};

QTEST_MAIN(TestRowPainter)
#include "tst_row_painter.moc"
