#pragma once

#include <QList>
#include <QPointF>

class QPainter;
class QRawFont;

namespace views {

// Draws the glyphs of `font` at their positions (relative to `origin`) with the painter's pen:
// the fast path of text that is laid out by hand, glyph by glyph, rather than by Qt's text
// layout. Nothing when there are no glyphs.
void drawGlyphs(QPainter& painter, const QRawFont& font, const QList<quint32>& glyphs,
                const QList<QPointF>& positions, QPointF origin = {});

} // namespace views
