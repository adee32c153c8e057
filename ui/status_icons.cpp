#include "ui/status_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>

namespace ui {

namespace {

// Drawn on a square of `size` pixels, in a box of 16 units.
QPixmap drawn(StatusIcon status, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    const QPen white(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (status) {
    case StatusIcon::Good:
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x2e, 0x7d, 0x32));
        painter.drawEllipse(QRectF(1, 1, 14, 14));
        painter.setPen(white);
        painter.drawPolyline(
            std::array{QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5.5)}.data(), 3);
        break;
    case StatusIcon::Attention: {
        QPainterPath triangle;
        triangle.moveTo(8, 1);
        triangle.lineTo(15, 14.5);
        triangle.lineTo(1, 14.5);
        triangle.closeSubpath();
        painter.setPen(QPen(QColor(0x8a, 0x5a, 0x00), 1.0));
        painter.setBrush(QColor(0xf9, 0xa8, 0x25));
        painter.drawPath(triangle);
        painter.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(8, 5.5), QPointF(8, 9.5));
        painter.drawPoint(QPointF(8, 12.2));
        break;
    }
    case StatusIcon::Problem:
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xc6, 0x28, 0x28));
        painter.drawEllipse(QRectF(1, 1, 14, 14));
        painter.setPen(white);
        painter.drawLine(QPointF(5, 5), QPointF(11, 11));
        painter.drawLine(QPointF(11, 5), QPointF(5, 11));
        break;
    case StatusIcon::Neutral:
        painter.setPen(QPen(QColor(0x61, 0x61, 0x61), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(1.75, 1.75, 12.5, 12.5));
        painter.setPen(QPen(QColor(0x61, 0x61, 0x61), 2.0, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(5, 8), QPointF(11, 8));
        break;
    }
    return pixmap;
}

} // namespace

QIcon statusIcon(StatusIcon status) {
    QIcon icon;
    for (const int size : {16, 24, 32, 48})
        icon.addPixmap(drawn(status, size));
    return icon;
}

} // namespace ui
