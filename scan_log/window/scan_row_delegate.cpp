#include "scan_log/window/scan_row_delegate.h"

#include "views/glyph_run.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace scan_log {

namespace {

// Space between a cell's edges and its text, as the styles leave it.
constexpr int Margin = 3;

constexpr char16_t FirstPrintable = 0x20;
constexpr char16_t LastPrintable = 0x7E;

bool printableAscii(const QString& text) {
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() >= FirstPrintable && c.unicode() <= LastPrintable;
    });
}

} // namespace

void ScanRowDelegate::useFont(const QFont& font) const {
    if (raw_.isValid() && font == font_)
        return;
    font_ = font;
    raw_ = QRawFont::fromFont(font);
    QString ascii;
    for (char16_t c = FirstPrintable; c <= LastPrintable; ++c)
        ascii += QChar(c);
    const QList<quint32> glyphs = raw_.glyphIndexesForString(ascii);
    const QList<QPointF> advances = raw_.advancesForGlyphIndexes(glyphs);
    for (qsizetype i = 0; i < glyphs.size() && i < advances.size(); ++i) {
        glyph_[FirstPrintable + i] = glyphs[i];
        advance_[FirstPrintable + i] = advances[i].x();
    }
}

void ScanRowDelegate::drawAscii(QPainter* painter, const QString& text, const QRect& space,
                                bool right) const {
    const qreal room = space.width();
    qreal width = 0;
    for (const QChar c : text) {
        width += advance_[c.unicode()];
        if (width > room)
            break;
    }
    const bool cut = width > room;
    const qreal dots = 3 * advance_['.'];
    QList<quint32> glyphs;
    QList<QPointF> positions;
    qreal x = 0;
    for (const QChar c : text) {
        const qreal advance = advance_[c.unicode()];
        if (cut && x + advance > room - dots)
            break;
        glyphs.append(glyph_[c.unicode()]);
        positions.append(QPointF(x, 0));
        x += advance;
    }
    if (cut) {
        for (int i = 0; i < 3; ++i) {
            glyphs.append(glyph_['.']);
            positions.append(QPointF(x, 0));
            x += advance_['.'];
        }
    }
    const qreal left = right && !cut ? space.left() + room - width : space.left();
    const qreal baseline =
        space.top() + (space.height() - (raw_.ascent() + raw_.descent())) / 2 + raw_.ascent();
    views::drawGlyphs(*painter, raw_, glyphs, positions, QPointF(left, baseline));
}

void ScanRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = !(option.state & QStyle::State_Enabled) ? QPalette::Disabled
                                       : (option.state & QStyle::State_Active) ? QPalette::Active
                                                                               : QPalette::Inactive;
    // A cell with a colour of its own (the verdict) keeps it, with dark text on it.
    const QVariant own = selected ? QVariant() : index.data(Qt::BackgroundRole);
    if (selected)
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
    else if (own.isValid())
        painter->fillRect(option.rect, own.value<QColor>());
    else if (option.features & QStyleOptionViewItem::Alternate)
        painter->fillRect(option.rect, option.palette.brush(group, QPalette::AlternateBase));

    const QString text = index.data(Qt::DisplayRole).toString();
    const QRect space = option.rect.adjusted(Margin, 0, -Margin, 0);
    const bool right =
        index.data(Qt::TextAlignmentRole).value<Qt::Alignment>().testFlag(Qt::AlignRight);
    painter->setPen(own.isValid() ? QColor(Qt::black)
                                  : option.palette.color(group, selected ? QPalette::HighlightedText
                                                                         : QPalette::Text));
    useFont(option.font);
    if (printableAscii(text) && raw_.isValid()) {
        drawAscii(painter, text, space, right);
    } else {
        painter->setFont(option.font);
        painter->drawText(
            space, Qt::TextSingleLine | Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft),
            option.fontMetrics.elidedText(text, Qt::ElideRight, space.width()));
    }

    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor =
            option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, widget);
    }
}

} // namespace scan_log
