#include "scan_log/window/scan_charts.h"

#include "scan_log/window/scan_log_texts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>

namespace scan_log {

namespace {

const QColor GoodColour(0x2e, 0x7d, 0x32);
const QColor ProblemColour(0xc6, 0x28, 0x28);
const QColor UnknownColour(0x61, 0x61, 0x61);

// A tick's label: whole numbers as they are, others with as many decimals as the step needs.
QString tickText(double value, double step, const QString& unit) {
    const int decimals = step >= 1 ? 0 : step >= 0.1 ? 1 : 2;
    return QString::number(value, 'f', decimals) + unit;
}

// Ticks along the bottom `strip` for values from `low` to `high` across the strip's width, those
// inside the range only, each labelled with its value; the unit follows the last label only, and
// a label that would touch the one before it is left out.
void drawAxis(QPainter& painter, const QRect& strip, double low, double high, const QString& unit,
              const QPalette& palette) {
    const QFontMetrics metrics = painter.fontMetrics();
    const int gap = metrics.averageCharWidth() * 2;
    const int most =
        std::max(2, strip.width() / (metrics.horizontalAdvance(QStringLiteral("0000")) + gap));
    const Ticks ticks = niceTicks(low, high, most);
    struct Label {
        double x;
        QString text;
    };
    std::vector<Label> labels;
    for (const double value : ticks.values)
        if (value >= low - ticks.step * 1e-9 && value <= high + ticks.step * 1e-9)
            labels.push_back({strip.left() + (value - low) / (high - low) * strip.width(),
                              tickText(value, ticks.step, QString())});
    if (labels.empty())
        return;
    labels.back().text += unit;
    // Flat ends: a tick stays within the strip.
    painter.setPen(QPen(palette.text().color(), 1, Qt::SolidLine, Qt::FlatCap));
    const auto leftOf = [&](const Label& label) {
        const int labelWidth = metrics.horizontalAdvance(label.text);
        return std::clamp(int(label.x) - labelWidth / 2, strip.left(), strip.right() - labelWidth);
    };
    // The last label (with the unit) always; the others where they touch neither their left
    // neighbour nor it.
    const int lastLeft = leftOf(labels.back());
    int freeFrom = strip.left();
    for (const Label& label : labels) {
        painter.drawLine(QPointF(label.x, strip.top() + 1), QPointF(label.x, strip.top() + 4));
        const int labelWidth = metrics.horizontalAdvance(label.text);
        const int left = leftOf(label);
        const bool last = &label == &labels.back();
        if (left < freeFrom || (!last && left + labelWidth + gap > lastLeft))
            continue;
        painter.drawText(QRect(left, strip.top() + 4, labelWidth, metrics.height()),
                         Qt::AlignLeft | Qt::AlignTop, label.text);
        freeFrom = left + labelWidth + gap;
    }
}

// Both pictures are charts to a screen reader (a plain widget would be a "filler"), named and
// described with their figures.
QAccessibleInterface* chartFactory(const QString& className, QObject* object) {
    if ((className == QLatin1String("scan_log::ScanTimeline") ||
         className == QLatin1String("scan_log::GapHistogram")) &&
        object != nullptr && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Chart);
    return nullptr;
}

void announceAsChart() {
    static const bool installed = [] {
        QAccessible::installFactory(chartFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

int axisHeight(const QWidget& widget) {
    return widget.fontMetrics().height() + 5;
}

} // namespace

ScanTimeline::ScanTimeline(QWidget* parent) : QWidget(parent) {
    announceAsChart();
    setObjectName(QStringLiteral("ScanTimeline"));
    setAccessibleName(timelineName());
    setAccessibleDescription(timelineDescription(0, 0));
}

QSize ScanTimeline::sizeHint() const {
    return {480, 24 + axisHeight(*this)};
}

QSize ScanTimeline::minimumSizeHint() const {
    return {120, 16 + axisHeight(*this)};
}

int ScanTimeline::columnCount() const {
    return std::max(1, width() / ColumnWidth);
}

int ScanTimeline::marksHeight() const {
    return std::max(8, height() - axisHeight(*this));
}

std::optional<std::size_t> ScanTimeline::scanAt(int x) const {
    const int column = x / ColumnWidth;
    if (x < 0 || std::size_t(column) >= columns_.size() ||
        columns_[std::size_t(column)].total() == 0)
        return std::nullopt;
    // A look at every scan: a click is rare, and the times need not be in order (the wall
    // clock's readings may differ by a millisecond from one batch to the next).
    const int columns = columnCount();
    const std::size_t count = std::min(times_.size(), marks_.size());
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < count; ++i) {
        if (timelineColumnOf(times_[i], fromMs_, toMs_, columns) != column)
            continue;
        if (marks_[i] == Mark::Problem)
            return i;
        if (!found)
            found = i;
    }
    return found;
}

void ScanTimeline::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        if (const std::optional<std::size_t> scan = scanAt(int(event->position().x())))
            emit scanClicked(*scan);
    QWidget::mousePressEvent(event);
}

bool ScanTimeline::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // What a column's mark stands for, in words.
        const auto* help = static_cast<QHelpEvent*>(event);
        const int column = help->pos().x() / ColumnWidth;
        if (column >= 0 && std::size_t(column) < columns_.size() &&
            columns_[std::size_t(column)].total() > 0) {
            const TimelineColumn& c = columns_[std::size_t(column)];
            QToolTip::showText(help->globalPos(), timelineColumnText(c.good, c.problem, c.unknown),
                               this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void ScanTimeline::setScans(std::vector<std::int64_t> timesMs, std::vector<Mark> marks,
                            std::int64_t fromMs, std::int64_t toMs) {
    times_ = std::move(timesMs);
    marks_ = std::move(marks);
    fromMs_ = fromMs;
    toMs_ = toMs;
    recount();
    setAccessibleDescription(timelineDescription(std::min(times_.size(), marks_.size()),
                                                 std::max<std::int64_t>(0, toMs_ - fromMs_)));
    update();
}

void ScanTimeline::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    recount();
}

void ScanTimeline::recount() {
    columns_ = timelineColumns(times_, marks_, fromMs_, toMs_, columnCount());
}

void ScanTimeline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());
    const int middle = marksHeight() / 2;
    painter.setPen(palette().mid().color());
    painter.drawLine(0, middle, width(), middle);
    if (toMs_ > fromMs_)
        drawAxis(painter, QRect(0, marksHeight(), width(), axisHeight(*this)), 0,
                 double(toMs_ - fromMs_) / 1000.0, QStringLiteral(" s"), palette());
    const int size = std::min(ColumnWidth - 1, marksHeight() / 2);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const TimelineColumn& column = columns_[i];
        if (column.total() == 0)
            continue;
        const QRectF mark(double(i) * ColumnWidth, middle - size / 2.0, size, size);
        // The worst verdict of the column is its mark: a problem is never hidden by good scans.
        if (column.problem > 0) {
            painter.setPen(QPen(ProblemColour, 1.5));
            painter.drawLine(mark.topLeft(), mark.bottomRight());
            painter.drawLine(mark.topRight(), mark.bottomLeft());
        } else if (column.unknown > 0) {
            painter.setPen(QPen(UnknownColour, 1.2));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(mark);
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(GoodColour);
            painter.drawEllipse(mark);
        }
    }
}

GapHistogram::GapHistogram(QWidget* parent) : QWidget(parent) {
    announceAsChart();
    setObjectName(QStringLiteral("GapHistogram"));
    setAccessibleName(histogramName());
    setAccessibleDescription(histogramDescription(histogram_, 0, false));
}

QSize GapHistogram::sizeHint() const {
    return {240, 60 + axisHeight(*this)};
}

QSize GapHistogram::minimumSizeHint() const {
    return {MostBins * 3, 30 + axisHeight(*this)};
}

void GapHistogram::setValues(std::vector<std::int64_t> valuesMs, bool durations) {
    durations_ = durations;
    histogram_ = scan_log::histogram(valuesMs, MostBins);
    setAccessibleDescription(histogramDescription(histogram_, valuesMs.size(), durations));
    update();
}

void GapHistogram::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    if (histogram_.counts.empty())
        return;
    const std::uint32_t highest =
        *std::max_element(histogram_.counts.begin(), histogram_.counts.end());
    const int barsHeight = std::max(8, height() - axisHeight(*this));
    const double binWidth = double(width()) / double(histogram_.counts.size());
    // The axis reaches the bins of one width; the overflow bin beyond it is hatched instead.
    const std::size_t even = histogram_.counts.size() - (histogram_.overflowFromMs ? 1 : 0);
    drawAxis(painter, QRect(0, barsHeight, int(binWidth * double(even)), axisHeight(*this)), 0,
             double(histogram_.binWidthMs) * double(even), QStringLiteral(" ms"), palette());
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().highlight());
    for (std::size_t i = 0; i < histogram_.counts.size(); ++i) {
        if (histogram_.counts[i] == 0)
            continue;
        const double barHeight = double(barsHeight - 4) * histogram_.counts[i] / highest;
        if (i == even)
            painter.setBrush(QBrush(palette().highlight().color(), Qt::BDiagPattern));
        painter.drawRect(QRectF(double(i) * binWidth + 1, barsHeight - barHeight,
                                std::max(1.0, binWidth - 2), barHeight));
    }
    if (histogram_.medianMs) {
        const double x = *histogram_.medianMs / double(histogram_.binWidthMs) * binWidth;
        painter.setPen(QPen(palette().text().color(), 1, Qt::DashLine));
        painter.drawLine(QPointF(x, 0), QPointF(x, barsHeight));
    }
}

} // namespace scan_log
