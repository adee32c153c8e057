#pragma once

#include "views/view_rows.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QImage>
#include <QPoint>
#include <QRawFont>
#include <QStringView>

#include <array>
#include <deque>

class QPainter;

namespace views {

// Paints the rows of a fixed-pitch view: one character per column, whatever the font's own
// advance, so that columns stay where the caret and selection arithmetic put them. A blank or a
// tab paints nothing, another control character a small box; a character the font lacks is left
// to Qt's font fallback, drawn alone in its cell.
//
// It owns the font's metrics and a cache of glyphs: each character is looked up in the font once,
// the first time it is painted. With an opaque background colour it also keeps an atlas of
// cells: each character rendered once, plain and selected, on its background; a row is then
// composed by copying cell pixels and drawn with one opaque copy, rather than blending every
// glyph's coverage into the target each time it is painted. A glyph whose ink leaves its cell,
// and a painter that scales, still go the blending way.
class RowPainter {
public:
    struct Colours {
        QColor text;
        QColor selectedText;
        QColor highlight;
        // The background the rows are painted on; without a valid opaque one, glyphs are
        // blended onto whatever the target holds.
        QColor background;
    };

    // Paints nothing useful until it has a font.
    RowPainter() = default;
    explicit RowPainter(const QFont& font);

    // Takes a new font: new metrics, and the glyph cache starts empty.
    void setFont(const QFont& font);
    const QFont& font() const { return font_; }
    // A column's width, a row's height and the baseline's distance from a row's top, in pixels.
    int charWidth() const { return charWidth_; }
    int lineHeight() const { return lineHeight_; }
    int ascent() const { return ascent_; }

    // Paints rows firstRow..lastRow of text as rows lays it out, their columns from firstColumn up
    // to (not including) endColumn; the cell of row r and column c has its top left corner at
    // origin + (c * charWidth, r * lineHeight). Characters from selectionStart up to selectionEnd
    // are drawn selected, a line break among them as one selected cell after its line.
    void paintRows(QPainter& painter, QStringView text, const ViewRows& rows, int firstRow,
                   int lastRow, int firstColumn, int endColumn, QPoint origin, int selectionStart,
                   int selectionEnd, const Colours& colours);

    // How many characters have been looked up in the font, rather than found in the cache.
    int glyphLookups() const { return glyphLookups_; }
    // How many cells have been rendered into the atlas.
    int cellRenders() const { return cellRenders_; }

private:
    struct Cell {
        QImage image;
        // Its glyph's ink reaches outside the cell: drawn blended over the copied row.
        bool overflows = false;
        // The image's pixels, looked up once.
        const uchar* bits = nullptr;
        qsizetype stride = 0;
    };
    quint32 glyphOf(char16_t c);
    quint32 lookUpGlyph(char16_t c);
    // The atlas cell of c, selected or not; nullptr for a character drawn by font fallback.
    const Cell* cellOf(char16_t c, bool selected);
    Cell renderCell(char16_t c, bool selected);
    // Empties the atlas when the colours or the device's pixel ratio differ from its own.
    void prepareAtlas(const Colours& colours, int pixelRatio);
    void clearAtlas();
    bool canUseCells(const QPainter& painter, const Colours& colours) const;
    void paintCells(QPainter& painter, QStringView text, const ViewRows& rows, int firstRow,
                    int lastRow, int firstColumn, int endColumn, QPoint origin, int selectionStart,
                    int selectionEnd, const Colours& colours);
    void paintBlended(QPainter& painter, QStringView text, const ViewRows& rows, int firstRow,
                      int lastRow, int firstColumn, int endColumn, QPoint origin,
                      int selectionStart, int selectionEnd, const Colours& colours);

    QFont font_;
    QRawFont rawFont_;
    int charWidth_ = 8;
    int lineHeight_ = 15;
    int ascent_ = 11;
    // Glyph indexes, 0 where the font has none; Latin-1 in a table, the rest in a hash.
    static constexpr quint32 NotLookedUp = 0xFFFFFFFF;
    std::array<quint32, 256> latin1Glyphs_ = [] {
        std::array<quint32, 256> none;
        none.fill(NotLookedUp);
        return none;
    }();
    QHash<char16_t, quint32> otherGlyphs_;
    int glyphLookups_ = 0;

    // The atlas: cells_ holds the rendered cells; a character's cell, plain [0] or selected [1],
    // is found in a table for Latin-1 and a hash for the rest (nullptr: not rendered yet;
    // &noCell_: none, the character is drawn by font fallback).
    std::deque<Cell> cells_;
    // The most cells (and characters without one) the atlas keeps: Latin-1 plain and selected,
    // and as many others (about a megabyte at the default font).
    static constexpr std::size_t MaxCells = 2048;
    Cell noCell_;
    std::array<std::array<const Cell*, 256>, 2> latin1Cells_{};
    QHash<char16_t, const Cell*> otherCells_[2];
    Colours atlasColours_;
    int atlasRatio_ = 0;
    int cellRenders_ = 0;
    // The row being composed, reused from row to row.
    QImage rowImage_;
};

} // namespace views
