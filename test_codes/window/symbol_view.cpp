#include "test_codes/window/symbol_view.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace test_codes {

SymbolView::SymbolView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
}

void SymbolView::setSymbol(std::optional<Symbol> symbol) {
    symbol_ = std::move(symbol);
    updateGeometry();
    update();
}

// The most whole device pixels a module that fit `area` (logical pixels), at least the minimum.
int SymbolView::pixelsFor(QSize area) const {
    if (!symbol_)
        return 0;
    // A white margin around every code, also for those without a quiet zone of their own.
    const double ratio = devicePixelRatioF();
    const double across = (area.width() - 2 * Margin) * ratio / symbol_->size().width();
    const double down = (area.height() - 2 * Margin) * ratio / symbol_->size().height();
    return std::max(MinimumPixels, int(std::floor(std::min(across, down))));
}

QSize SymbolView::minimumSizeHint() const {
    if (!symbol_)
        return {120, 120};
    const double logical = MinimumPixels / devicePixelRatioF();
    return (symbol_->size() * logical).toSize() + QSize(2 * Margin + 2, 2 * Margin + 2);
}

QSize SymbolView::sizeHint() const {
    return minimumSizeHint().expandedTo(QSize(420, 300));
}

void SymbolView::paintEvent(QPaintEvent*) {
    pixelsPerModule_ = 0;
    if (!symbol_)
        return;
    QPainter painter(this);
    pixelsPerModule_ = pixelsFor(size());
    const double module = pixelsPerModule_ / devicePixelRatioF();
    const QSizeF drawn = symbol_->size() * module;
    // Centred, on whole device pixels, so that every bar edge falls on a pixel edge.
    const double ratio = devicePixelRatioF();
    const QPointF origin(std::floor((width() - drawn.width()) / 2 * ratio) / ratio,
                         std::floor((height() - drawn.height()) / 2 * ratio) / ratio);
    symbol_->paint(painter, QPointF(std::max(0.0, origin.x()), std::max(0.0, origin.y())), module);
}

} // namespace test_codes
