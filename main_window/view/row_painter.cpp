#include "main_window/view/row_painter.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QList>
#include <QPainter>

#include <algorithm>

namespace {

// Control characters other than line breaks (which never reach a row) show as a box.
bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
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
    const QColor pens[2] = {colours.text, colours.selectedText};
    // Everything of one colour goes out in one glyph run.
    QList<quint32> glyphs[2];
    QList<QPointF> positions[2];
    QList<QRectF> boxes[2];
    struct Fallback {
        QPointF at;
        QString text;
        bool selected;
    };
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
        if (!glyphs[selected].isEmpty()) {
            QGlyphRun run;
            run.setRawFont(rawFont_);
            run.setGlyphIndexes(glyphs[selected]);
            run.setPositions(positions[selected]);
            painter.drawGlyphRun(QPointF(0, 0), run);
        }
        for (const QRectF& box : std::as_const(boxes[selected]))
            painter.drawRect(box);
    }
    painter.setFont(font_);
    for (const Fallback& fallback : std::as_const(fallbacks)) {
        painter.setPen(pens[fallback.selected]);
        painter.drawText(fallback.at, fallback.text);
    }
}
