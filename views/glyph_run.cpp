#include "views/glyph_run.h"

#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>

namespace views {

void drawGlyphs(QPainter& painter, const QRawFont& font, const QList<quint32>& glyphs,
                const QList<QPointF>& positions, QPointF origin) {
    if (glyphs.isEmpty())
        return;
    QGlyphRun run;
    run.setRawFont(font);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter.drawGlyphRun(origin, run);
}

} // namespace views
