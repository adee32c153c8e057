#include "main_window/shape.h"

#include <QPainter>

namespace main_window {

Shape::Shape(QWidget* parent) : QWidget(parent), back_(192, 192, 192) {
    setAttribute(Qt::WA_TranslucentBackground);
}

int Shape::packRgb(const QColor& colour) {
    return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

QColor Shape::unpackRgb(int packedRgb) {
    return {packedRgb & 0xFF, (packedRgb >> 8) & 0xFF, (packedRgb >> 16) & 0xFF};
}

void Shape::setStateText(const QString& text) {
    // Refreshed on every port notification; most of the time nothing changed.
    if (text == toolTip())
        return;
    setToolTip(text);
    setAccessibleName(text);
    setAccessibleDescription(text);
}

int Shape::BackColor() const {
    return packRgb(back_);
}

void Shape::setBackColor(int packedRgb) {
    const QColor colour = unpackRgb(packedRgb);
    if (colour == back_)
        return;
    back_ = colour;
    update();
}

void Shape::setBackStyle(int style) {
    backStyle_ = style;
    update();
}

void Shape::setBorderStyle(int style) {
    borderStyle_ = style;
    update();
}

void Shape::setBorderColor(int packedRgb) {
    border_ = unpackRgb(packedRgb);
    update();
}

void Shape::paintEvent(QPaintEvent*) {
    if (backStyle_ == 0 && borderStyle_ == 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(borderStyle_ == 0 ? QPen(Qt::NoPen) : QPen(border_, 1));
    painter.setBrush(backStyle_ == 0 ? QBrush(Qt::NoBrush) : QBrush(back_));
    const int side = std::min(width(), height()) - 1;
    painter.drawEllipse(QRectF((width() - side) / 2.0, (height() - side) / 2.0, side, side)
                            .adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace main_window
