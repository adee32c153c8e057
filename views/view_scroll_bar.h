#pragma once

#include "base/clock.h"

#include <QBasicTimer>
#include <QImage>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

#include <optional>

namespace views {

// A scroll bar that is repainted only when it looks different. Data arriving changes a view's
// scroll range at every frame, and a slider repaints itself at every change, yet the handle of a
// long text rarely moves by a whole pixel. A repaint costs more than the bar: a bar that is not
// opaque has the scroll area, the window's client area and their other children repainted
// beneath it. So the bar is opaque, keeps what the style drew in an image, and a repaint copies
// that, in bands a few rows high (the style's tall fills would wake the raster engine's helper
// threads). A change from arriving data asks for no repaint while the bar looks the same, and a
// handle it moves is shown at most every PaceMs (the user reads the text, not the handle, and the
// bar is up to date a quarter of a second later); what the user does (a hover, a press, a new
// size) shows at once.
class ViewScrollBar : public QScrollBar {
public:
    static constexpr int PaceMs = 250;

    ViewScrollBar(Qt::Orientation orientation, QWidget* parent,
                  base::MonotonicClock clock = base::monotonicMs);

    // Changes made while this is set come from arriving data; they are shown when it is cleared,
    // if the bar then looks different, and at the bar's own pace.
    void setPaced(bool paced);

protected:
    void sliderChange(SliderChange change) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    struct Look {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        QStyle::State state;
        QStyle::SubControls active;
        bool operator==(const Look&) const = default;
    };

    void showChange();
    // A view that follows the end of rows of different lengths moves its horizontal handle at
    // almost every refresh, which nobody watches; the style paints that bar in full.
    qint64 pace() const { return orientation() == Qt::Horizontal ? 4 * PaceMs : PaceMs; }
    QStyleOptionSlider option() const;
    Look look() const;
    void draw(const Look& now, qreal ratio);

    base::MonotonicClock clock_;
    QImage drawn_;
    Look shown_;
    bool paced_ = false;
    bool changed_ = false;
    std::optional<qint64> lastDrawnMs_;
    QBasicTimer pending_;
};

} // namespace views
