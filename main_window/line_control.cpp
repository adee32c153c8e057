#include "main_window/line_control.h"

#include "main_window/shape.h"
#include "ui/twips.h"

#include <QPainter>

namespace main_window {

LineControl::LineControl(double x1, double y1, double x2, double y2, QWidget* parent)
    : QWidget(parent), x1_(x1), y1_(y1), x2_(x2), y2_(y2) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    const QPoint a(ui::twipsToPixels(x1), ui::twipsToPixels(y1));
    const QPoint b(ui::twipsToPixels(x2), ui::twipsToPixels(y2));
    const int half = Thickness / 2;
    setGeometry(QRect(a, b).normalized().adjusted(-half, -half, half + 1, half + 1));
}

void LineControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(QPen(colour_, Thickness, Qt::SolidLine, Qt::FlatCap));
    const QPoint origin = geometry().topLeft();
    painter.drawLine(QPoint(ui::twipsToPixels(x1_), ui::twipsToPixels(y1_)) - origin,
                     QPoint(ui::twipsToPixels(x2_), ui::twipsToPixels(y2_)) - origin);
}

} // namespace main_window
