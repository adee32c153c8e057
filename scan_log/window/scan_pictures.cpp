#include "scan_log/window/scan_pictures.h"

#include "scan_log/window/scan_charts.h"
#include "scan_log/window/scan_log_model.h"
#include "scan_log/window/scan_log_texts.h"

#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>

#include <algorithm>

namespace scan_log {

namespace {

Mark markOf(ScanVerdict verdict) {
    switch (verdict) {
    case ScanVerdict::Good:
        return Mark::Good;
    case ScanVerdict::Problem:
        return Mark::Problem;
    case ScanVerdict::Unknown:
        break;
    }
    return Mark::Unknown;
}

} // namespace

ScanPictures::ScanPictures(const ScanLogModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setObjectName(QStringLiteral("ScanPictures"));
    setAccessibleName(picturesName());
    // Made in the order a screen reader should meet them: what the span is, then the pictures.
    span_ = new QLabel(this);
    span_->setObjectName(QStringLiteral("ScanPicturesSpan"));
    span_->setTextFormat(Qt::PlainText);
    of_ = new QComboBox(this);
    of_->setObjectName(QStringLiteral("HistogramOf"));
    of_->addItems({QStringLiteral("Gaps between scans"), QStringLiteral("Durations of scans")});
    of_->setAccessibleName(QStringLiteral("Histogram of"));
    of_->setToolTip(histogramOfTip());
    timeline_ = new ScanTimeline(this);
    histogram_ = new GapHistogram(this);
    timeline_->setToolTip(timelineTip());

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(span_, 0, 0);
    layout->addWidget(of_, 0, 1, Qt::AlignLeft);
    layout->addWidget(timeline_, 1, 0);
    layout->addWidget(histogram_, 1, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 1);

    pending_.setSingleShot(true);
    pending_.setInterval(0);
    connect(&pending_, &QTimer::timeout, this, &ScanPictures::refresh);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, &ScanPictures::changed);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, &ScanPictures::changed);
    connect(&model_, &QAbstractItemModel::modelReset, this, &ScanPictures::changed);
    connect(of_, &QComboBox::currentIndexChanged, this, &ScanPictures::refresh);
    connect(timeline_, &ScanTimeline::scanClicked, this,
            [this](std::size_t scan) { emit rowClicked(firstRow_ + int(scan)); });
    refresh();
}

void ScanPictures::showEvent(QShowEvent* event) {
    refresh();
    QWidget::showEvent(event);
}

void ScanPictures::changed() {
    // Hidden (the window closed or the pictures folded away), it catches up when shown.
    if (isVisible() && !pending_.isActive())
        pending_.start();
}

void ScanPictures::refresh() {
    pending_.stop();
    const int rows = model_.rowCount();
    std::vector<std::int64_t> times, values;
    std::vector<Mark> marks;
    qint64 from = 0, to = 0;
    firstRow_ = rows;
    if (rows > 0) {
        // The rows' wall times follow the clock's readings, which may differ by a millisecond
        // from one batch to the next (or step when the clock is set): the span is taken from the
        // times themselves, not from their order.
        firstRow_ = std::min(model_.firstRowFrom(model_.wallMs(rows - 1) - SpanMs), rows - 1);
        const auto count = std::size_t(rows - firstRow_);
        times.reserve(count);
        marks.reserve(count);
        values.reserve(count);
        const bool durations = of_->currentIndex() == 1;
        from = to = model_.wallMs(firstRow_);
        for (int row = firstRow_; row < rows; ++row) {
            const qint64 at = model_.wallMs(row);
            from = std::min(from, at);
            to = std::max(to, at);
            times.push_back(at);
            marks.push_back(markOf(model_.verdict(row)));
            if (durations)
                values.push_back(model_.durationMs(row));
            else if (const std::optional<qint64> gap = model_.gapMs(row); gap && row > firstRow_)
                values.push_back(*gap);
        }
        // A log longer than the span shows the whole span, up to its latest scan.
        if (firstRow_ > 0)
            from = to - SpanMs;
    }
    span_->setText(rows == 0 ? QStringLiteral("No scans yet")
                             : picturesSpanText(QDateTime::fromMSecsSinceEpoch(from),
                                                QDateTime::fromMSecsSinceEpoch(to), firstRow_ > 0));
    histogram_->setValues(std::move(values), of_->currentIndex() == 1);
    timeline_->setScans(std::move(times), std::move(marks), from, to);
}

} // namespace scan_log
