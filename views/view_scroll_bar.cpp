#include "views/view_scroll_bar.h"

#include <QCursor>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

namespace views {

namespace {

// The height of the bands the bar is drawn and copied in.
constexpr int Band = 64;

} // namespace

ViewScrollBar::ViewScrollBar(Qt::Orientation orientation, QWidget* parent,
                             base::MonotonicClock clock)
    : QScrollBar(orientation, parent), clock_(std::move(clock)) {
    // paintEvent covers every pixel from the image, which starts as a solid fill.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ViewScrollBar::setPaced(bool paced) {
    if (paced_ && !paced && changed_) {
        changed_ = false;
        showChange();
    }
    paced_ = paced;
}

void ViewScrollBar::sliderChange(SliderChange change) {
    if (paced_ && change != SliderOrientationChange && !drawn_.isNull())
        changed_ = true;
    else
        QScrollBar::sliderChange(change);
}

void ViewScrollBar::paintEvent(QPaintEvent*) {
    const Look now = look();
    const qreal ratio = devicePixelRatioF();
    if (drawn_.size() != size() * ratio || now != shown_)
        draw(now, ratio);
    QPainter painter(this);
    for (int top = 0; top < height(); top += Band) {
        const QRect band(0, top, width(), std::min(Band, height() - top));
        painter.drawImage(band, drawn_,
                          QRectF(band.left() * ratio, band.top() * ratio, band.width() * ratio,
                                 band.height() * ratio));
    }
}

void ViewScrollBar::timerEvent(QTimerEvent* event) {
    if (event->timerId() != pending_.timerId()) {
        QScrollBar::timerEvent(event);
        return;
    }
    pending_.stop();
    if (look() != shown_)
        update();
}

void ViewScrollBar::showChange() {
    if (look() == shown_)
        return;
    const qint64 since = lastDrawnMs_ ? clock_() - *lastDrawnMs_ : pace();
    if (since < pace()) {
        if (!pending_.isActive())
            pending_.start(int(pace() - since), this);
        return;
    }
    update();
}

QStyleOptionSlider ViewScrollBar::option() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    option.subControls = QStyle::SC_All;
    if (isSliderDown()) {
        option.activeSubControls = QStyle::SC_ScrollBarSlider;
        option.state |= QStyle::State_Sunken;
    } else if (underMouse()) {
        option.activeSubControls = style()->hitTestComplexControl(
            QStyle::CC_ScrollBar, &option, mapFromGlobal(QCursor::pos()), this);
    }
    return option;
}

ViewScrollBar::Look ViewScrollBar::look() const {
    const QStyleOptionSlider now = option();
    return {style()->subControlRect(QStyle::CC_ScrollBar, &now, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum(), now.state, now.activeSubControls};
}

// The style draws the bar into the image, in bands: its fills and lines along a tall bar would
// otherwise each wake the raster engine's helper threads.
void ViewScrollBar::draw(const Look& now, qreal ratio) {
    drawn_ = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    drawn_.setDevicePixelRatio(ratio);
    drawn_.fill(palette().color(QPalette::Window));
    QPainter painter(&drawn_);
    const QStyleOptionSlider bar = option();
    for (int top = 0; top < height(); top += Band) {
        painter.setClipRect(QRect(0, top, width(), Band));
        style()->drawComplexControl(QStyle::CC_ScrollBar, &bar, &painter, this);
    }
    shown_ = now;
    lastDrawnMs_ = clock_();
    pending_.stop();
}

} // namespace views
