#include "scan_log/window/scan_charts.h"

#include "scan_log/window/scan_log_texts.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace scan_log {

namespace {

const QColor GoodColour(0x2e, 0x7d, 0x32);
const QColor ProblemColour(0xc6, 0x28, 0x28);
const QColor UnknownColour(0x61, 0x61, 0x61);

} // namespace

ScanTimeline::ScanTimeline(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ScanTimeline"));
    setAccessibleName(timelineName());
    setAccessibleDescription(timelineDescription(0, 0));
}

QSize ScanTimeline::sizeHint() const {
    return {480, 40};
}

QSize ScanTimeline::minimumSizeHint() const {
    return {120, 28};
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
    columns_ = timelineColumns(times_, marks_, fromMs_, toMs_, std::max(1, width() / ColumnWidth));
}

void ScanTimeline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());
    const int middle = height() / 2;
    painter.setPen(palette().mid().color());
    painter.drawLine(0, middle, width(), middle);
    const int size = std::min(ColumnWidth - 1, height() / 3);
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
    setObjectName(QStringLiteral("GapHistogram"));
    setAccessibleName(histogramName());
    setAccessibleDescription(histogramDescription(histogram_, 0, false));
}

QSize GapHistogram::sizeHint() const {
    return {240, 80};
}

QSize GapHistogram::minimumSizeHint() const {
    return {MostBins * 3, 40};
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
    const double binWidth = double(width()) / double(histogram_.counts.size());
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().highlight());
    for (std::size_t i = 0; i < histogram_.counts.size(); ++i) {
        if (histogram_.counts[i] == 0)
            continue;
        const double barHeight = double(height() - 4) * histogram_.counts[i] / highest;
        painter.drawRect(QRectF(double(i) * binWidth + 1, height() - barHeight,
                                std::max(1.0, binWidth - 2), barHeight));
    }
    if (histogram_.medianMs) {
        const double x = *histogram_.medianMs / double(histogram_.binWidthMs) * binWidth;
        painter.setPen(QPen(palette().text().color(), 1, Qt::DashLine));
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
}

} // namespace scan_log
