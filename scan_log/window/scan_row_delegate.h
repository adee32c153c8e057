#pragma once

#include <QFont>
#include <QRawFont>
#include <QStyledItemDelegate>

#include <array>

namespace scan_log {

// Paints the Scan Log's cells plainly: the row's background and one line of text, cut at the
// cell's edge with "...". Every cell of the log is printable ASCII (the data in its visible
// form), so the text needs no shaping: each character is its glyph, placed at the sum of the
// advances before it, from a table made once per font. The style's own painting shapes and lays
// out every cell's text two or three times on each repaint, which with a stream of scans cost
// more than the rest of the program. Text with other characters is drawn the ordinary way.
class ScanRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    void useFont(const QFont& font) const;
    void drawAscii(QPainter* painter, const QString& text, const QRect& space, bool right) const;

    mutable QFont font_;
    mutable QRawFont raw_;
    // Glyph and advance of each printable ASCII character, 20h to 7Eh.
    mutable std::array<quint32, 128> glyph_{};
    mutable std::array<qreal, 128> advance_{};
};

} // namespace scan_log
