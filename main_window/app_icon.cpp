#include "main_window/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace main_window {

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const double u = size / 16.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255));
    painter.drawRoundedRect(QRectF(0.5 * u, 2 * u, 15 * u, 12 * u), 1.5 * u, 1.5 * u);
    // Bars of a barcode: widths in sixteenths of the icon.
    painter.setBrush(QColor(0, 0, 0));
    const double bars[][2] = {{2, 1},   {3.5, 0.5}, {4.5, 1.5}, {6.5, 0.5}, {7.5, 1},
                              {9, 0.5}, {10, 1.5},  {12, 0.5},  {13, 1}};
    for (const auto& bar : bars)
        painter.fillRect(QRectF(bar[0] * u, 4 * u, bar[1] * u, 8 * u), Qt::black);
    // The red scan line of the reader.
    painter.setPen(QPen(QColor(255, 0, 0), std::max(1.0, u)));
    painter.drawLine(QPointF(1 * u, 8 * u), QPointF(15 * u, 8 * u));
    return pixmap;
}

} // namespace

QIcon appIcon() {
    QIcon icon;
    icon.addPixmap(drawIcon(16));
    icon.addPixmap(drawIcon(32));
    return icon;
}

} // namespace main_window
