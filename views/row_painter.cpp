#include "views/row_painter.h"

#include "views/glyph_run.h"

#include <QFontMetrics>
#include <QList>
#include <QPaintDevice>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace views {

namespace {

// Control characters other than line breaks (which never reach a row) show as a box.
bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
}

// A character the raw font lacks, drawn after the glyph runs with the widget's font, which falls
// back to other fonts.
struct Fallback {
    QPointF at;
    QString text;
    bool selected;
};

void drawFallbacks(QPainter& painter, const QFont& font, const QColor (&pens)[2],
                   const QList<Fallback>& fallbacks) {
    painter.setFont(font);
    for (const Fallback& fallback : fallbacks) {
        painter.setPen(pens[fallback.selected]);
        painter.drawText(fallback.at, fallback.text);
    }
}

} // namespace

RowPainter::RowPainter(const QFont& font) {
    setFont(font);
}

void RowPainter::setFont(const QFont& font) {
    font_ = font;
    const QFontMetrics metrics(font);
    charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    lineHeight_ = std::max(1, metrics.lineSpacing());
    ascent_ = metrics.ascent();
    // Glyphs are placed one per column by hand: the font's own advance is fractional.
    rawFont_ = QRawFont::fromFont(font);
    latin1Glyphs_.fill(NotLookedUp);
    otherGlyphs_.clear();
    atlasRatio_ = 0; // the atlas starts afresh at the next paint
}

quint32 RowPainter::glyphOf(char16_t c) {
    if (c < 0x100) {
        quint32& glyph = latin1Glyphs_[c];
        if (glyph == NotLookedUp)
            glyph = lookUpGlyph(c);
        return glyph;
    }
    const auto found = otherGlyphs_.constFind(c);
    if (found != otherGlyphs_.constEnd())
        return *found;
    const quint32 glyph = lookUpGlyph(c);
    otherGlyphs_.insert(c, glyph);
    return glyph;
}

quint32 RowPainter::lookUpGlyph(char16_t c) {
    ++glyphLookups_;
    const QChar one(c);
    quint32 glyph = 0;
    int count = 1;
    if (!one.isSurrogate() && rawFont_.isValid() && rawFont_.supportsCharacter(one))
        rawFont_.glyphIndexesForChars(&one, 1, &glyph, &count);
    return glyph;
}

void RowPainter::paintRows(QPainter& painter, QStringView text, const ViewRows& rows, int firstRow,
                           int lastRow, int firstColumn, int endColumn, QPoint origin,
                           int selectionStart, int selectionEnd, const Colours& colours) {
    if (canUseCells(painter, colours))
        paintCells(painter, text, rows, firstRow, lastRow, firstColumn, endColumn, origin,
                   selectionStart, selectionEnd, colours);
    else
        paintBlended(painter, text, rows, firstRow, lastRow, firstColumn, endColumn, origin,
                     selectionStart, selectionEnd, colours);
}

bool RowPainter::canUseCells(const QPainter& painter, const Colours& colours) const {
    if (!colours.background.isValid() || colours.background.alpha() != 255 ||
        !colours.highlight.isValid() || colours.highlight.alpha() != 255 || !painter.device())
        return false;
    // Cells are copied pixel for pixel: only onto a device of a whole pixel ratio, through a
    // transform that moves by whole pixels.
    const qreal ratio = painter.device()->devicePixelRatio();
    const QTransform& transform = painter.worldTransform();
    return ratio >= 1 && ratio == std::floor(ratio) &&
           transform.type() <= QTransform::TxTranslate &&
           transform.dx() == std::floor(transform.dx()) &&
           transform.dy() == std::floor(transform.dy());
}

void RowPainter::prepareAtlas(const Colours& colours, int pixelRatio) {
    if (pixelRatio == atlasRatio_ && colours.text == atlasColours_.text &&
        colours.selectedText == atlasColours_.selectedText &&
        colours.highlight == atlasColours_.highlight &&
        colours.background == atlasColours_.background)
        return;
    atlasColours_ = colours;
    atlasRatio_ = pixelRatio;
    clearAtlas();
}

void RowPainter::clearAtlas() {
    cells_.clear();
    for (auto& table : latin1Cells_)
        table.fill(nullptr);
    for (auto& hash : otherCells_)
        hash.clear();
}

const RowPainter::Cell* RowPainter::cellOf(char16_t c, bool selected) {
    const Cell** found = nullptr;
    if (c < 0x100) {
        found = &latin1Cells_[selected][c];
    } else {
        auto other = otherCells_[selected].find(c);
        if (other == otherCells_[selected].end())
            other = otherCells_[selected].insert(c, nullptr);
        found = &*other;
    }
    if (!*found && cells_.size() + otherCells_[0].size() + otherCells_[1].size() >= MaxCells) {
        // Text of many scripts would grow the atlas without end: it starts afresh instead.
        clearAtlas();
        found = c < 0x100 ? &latin1Cells_[selected][c] : &*otherCells_[selected].insert(c, nullptr);
    }
    if (!*found) {
        Cell cell = renderCell(c, selected);
        if (cell.image.isNull()) {
            *found = &noCell_;
        } else {
            cells_.push_back(std::move(cell));
            Cell& kept = cells_.back();
            kept.bits = kept.image.constBits();
            kept.stride = kept.image.bytesPerLine();
            *found = &kept;
        }
    }
    return *found != &noCell_ ? *found : nullptr;
}

RowPainter::Cell RowPainter::renderCell(char16_t c, bool selected) {
    const bool blank = c == u' ' || c == u'\t';
    const bool control = !blank && isControl(c);
    const quint32 glyph = control || blank ? 0 : glyphOf(c);
    if (!control && !blank && glyph == 0)
        return {}; // left to font fallback
    ++cellRenders_;
    // Rendered in the middle of a patch three cells wide and high, to see whether the ink stays
    // inside the cell.
    const int ratio = atlasRatio_;
    const QColor back = selected ? atlasColours_.highlight : atlasColours_.background;
    QImage patch(3 * charWidth_ * ratio, 3 * lineHeight_ * ratio, QImage::Format_RGB32);
    patch.setDevicePixelRatio(ratio);
    patch.fill(back);
    {
        QPainter painter(&patch);
        painter.setPen(selected ? atlasColours_.selectedText : atlasColours_.text);
        const int x = charWidth_, top = lineHeight_;
        if (control) {
            painter.drawRect(
                QRectF(x + 1.5, top + lineHeight_ / 4 + 0.5, charWidth_ - 3, lineHeight_ / 2));
        } else if (!blank) {
            drawGlyphs(painter, rawFont_, {glyph}, {QPointF(x, top + ascent_)});
        }
    }
    const QRect inside(charWidth_ * ratio, lineHeight_ * ratio, charWidth_ * ratio,
                       lineHeight_ * ratio);
    Cell cell;
    const QRgb backPixel = back.rgb() | 0xFF000000;
    for (int y = 0; y < patch.height() && !cell.overflows; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(patch.constScanLine(y));
        for (int x = 0; x < patch.width(); ++x) {
            if (!inside.contains(x, y) && (line[x] | 0xFF000000) != backPixel) {
                cell.overflows = true;
                break;
            }
        }
    }
    cell.image = patch.copy(inside);
    return cell;
}

void RowPainter::paintCells(QPainter& painter, QStringView text, const ViewRows& rows, int firstRow,
                            int lastRow, int firstColumn, int endColumn, QPoint origin,
                            int selectionStart, int selectionEnd, const Colours& colours) {
    const int ratio = int(painter.device()->devicePixelRatio());
    prepareAtlas(colours, ratio);
    const int cellWidth = charWidth_ * ratio, cellHeight = lineHeight_ * ratio;
    // Glyphs whose ink leaves their cell, and characters the font lacks, are drawn over the
    // copied rows the blending way.
    QList<quint32> glyphs[2];
    QList<QPointF> positions[2];
    QList<Fallback> fallbacks;

    const QPainter::CompositionMode mode = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int r = firstRow; r <= lastRow; ++r) {
        const ViewRows::Row row = rows.row(r);
        const int top = origin.y() + r * lineHeight_;
        const bool breakSelected = row.lastOfLine && row.end < text.size() &&
                                   selectionStart <= row.end && selectionEnd > row.end;
        const int length = row.end - row.start + (breakSelected ? 1 : 0);
        const int from = firstColumn, to = std::min(endColumn, length);
        if (from >= to)
            continue;
        const int width = (to - from) * cellWidth;
        if (rowImage_.width() < width || rowImage_.height() != cellHeight)
            rowImage_ = QImage(std::max(width, 80 * cellWidth), cellHeight, QImage::Format_RGB32);
        uchar* const bits = rowImage_.bits();
        const qsizetype stride = rowImage_.bytesPerLine();
        auto put = [&](int column, const Cell& cell) {
            const uchar* source = cell.bits;
            uchar* target = bits + qsizetype(column - from) * cellWidth * qsizetype(sizeof(QRgb));
            for (int y = 0; y < cellHeight; ++y, source += cell.stride, target += stride)
                std::copy_n(reinterpret_cast<const QRgb*>(source), cellWidth,
                            reinterpret_cast<QRgb*>(target));
        };
        for (int column = from; column < to; ++column) {
            const int p = row.start + column;
            const bool selected = p >= selectionStart && p < selectionEnd;
            if (p >= row.end) { // the selected line break
                put(column, *cellOf(u' ', true));
                continue;
            }
            const char16_t c = text[p].unicode();
            const Cell* cell = c < 0x100 ? latin1Cells_[selected][c] : nullptr;
            if (!cell || cell == &noCell_)
                cell = cellOf(c, selected);
            if (cell && !cell->overflows) {
                put(column, *cell);
                continue;
            }
            put(column, *cellOf(u' ', selected));
            const QPointF at(origin.x() + column * charWidth_, top + ascent_);
            if (const quint32 glyph = glyphOf(c); glyph != 0) {
                glyphs[selected] << glyph;
                positions[selected] << at;
                continue;
            }
            const bool pair =
                QChar::isHighSurrogate(c) && p + 1 < row.end && text[p + 1].isLowSurrogate();
            fallbacks << Fallback{at, text.sliced(p, pair ? 2 : 1).toString(), selected};
            if (pair && column + 1 < to) {
                ++column;
                put(column, *cellOf(u' ', p + 1 >= selectionStart && p + 1 < selectionEnd));
            }
        }
        painter.drawImage(QRectF(origin.x() + from * charWidth_, top, width / ratio, lineHeight_),
                          rowImage_, QRectF(0, 0, width, cellHeight));
    }
    painter.setCompositionMode(mode);

    const QColor pens[2] = {colours.text, colours.selectedText};
    for (int selected = 0; selected < 2; ++selected) {
        if (glyphs[selected].isEmpty())
            continue;
        painter.setPen(pens[selected]);
        drawGlyphs(painter, rawFont_, glyphs[selected], positions[selected]);
    }
    drawFallbacks(painter, font_, pens, fallbacks);
}

void RowPainter::paintBlended(QPainter& painter, QStringView text, const ViewRows& rows,
                              int firstRow, int lastRow, int firstColumn, int endColumn,
                              QPoint origin, int selectionStart, int selectionEnd,
                              const Colours& colours) {
    const QColor pens[2] = {colours.text, colours.selectedText};
    // Everything of one colour goes out in one glyph run.
    QList<quint32> glyphs[2];
    QList<QPointF> positions[2];
    QList<QRectF> boxes[2];
    QList<Fallback> fallbacks;
    auto xOf = [&](int column) { return origin.x() + column * charWidth_; };

    for (int r = firstRow; r <= lastRow; ++r) {
        const ViewRows::Row row = rows.row(r);
        const int top = origin.y() + r * lineHeight_;
        const int baseline = top + ascent_;
        const int from = std::max(selectionStart, row.start);
        const int to = std::min(selectionEnd, row.end);
        if (from < to)
            painter.fillRect(
                QRect(xOf(from - row.start), top, (to - from) * charWidth_, lineHeight_),
                colours.highlight);
        if (row.lastOfLine && row.end < text.size() && selectionStart <= row.end &&
            selectionEnd > row.end)
            painter.fillRect(QRect(xOf(row.end - row.start), top, charWidth_, lineHeight_),
                             colours.highlight);

        const int stop = std::min(row.end, row.start + endColumn);
        for (int p = row.start + firstColumn; p < stop; ++p) {
            const char16_t c = text[p].unicode();
            if (c == u' ' || c == u'\t')
                continue;
            const bool selected = p >= selectionStart && p < selectionEnd;
            const int x = xOf(p - row.start);
            if (isControl(c)) {
                boxes[selected] << QRectF(x + 1.5, top + lineHeight_ / 4 + 0.5, charWidth_ - 3,
                                          lineHeight_ / 2);
                continue;
            }
            if (const quint32 glyph = glyphOf(c); glyph != 0) {
                glyphs[selected] << glyph;
                positions[selected] << QPointF(x, baseline);
                continue;
            }
            const bool pair =
                QChar::isHighSurrogate(c) && p + 1 < row.end && text[p + 1].isLowSurrogate();
            fallbacks << Fallback{QPointF(x, baseline), text.sliced(p, pair ? 2 : 1).toString(),
                                  selected};
            p += pair;
        }
    }

    for (int selected = 0; selected < 2; ++selected) {
        painter.setPen(pens[selected]);
        drawGlyphs(painter, rawFont_, glyphs[selected], positions[selected]);
        for (const QRectF& box : std::as_const(boxes[selected]))
            painter.drawRect(box);
    }
    drawFallbacks(painter, font_, pens, fallbacks);
}

} // namespace views
