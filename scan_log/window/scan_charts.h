#pragma once

#include "scan_log/model/chart_scales.h"

#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

namespace scan_log {

// The scans along time: one column of the widget for each stretch of time, a mark in it for the
// scans that fell there, shaped and coloured by verdict (a filled circle for good, a cross for a
// problem, a hollow square for unknown: colour is never the only sign). A stretch without scans
// stays empty, so a pause of the scanner shows as a gap. The marks are counted per column
// (timelineColumns), so 100,000 scans cost one pass and a few hundred marks.
class ScanTimeline final : public QWidget {
    Q_OBJECT

public:
    explicit ScanTimeline(QWidget* parent = nullptr);

    // The scans' times (monotonic ms) and verdicts, and the span shown.
    void setScans(std::vector<std::int64_t> timesMs, std::vector<Mark> marks, std::int64_t fromMs,
                  std::int64_t toMs);
    // Pixels a column takes.
    static constexpr int ColumnWidth = 8;

    // The scan a click at `x` stands for: the first problem of the column there, else its first
    // scan; none for an empty column.
    std::optional<std::size_t> scanAt(int x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // A mark was clicked: the index of its scan in the times given to setScans().
    void scanClicked(std::size_t scan);

protected:
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void recount();
    int columnCount() const;
    int marksHeight() const;

    std::vector<std::int64_t> times_;
    std::vector<Mark> marks_;
    std::int64_t fromMs_ = 0, toMs_ = 0;
    std::vector<TimelineColumn> columns_;
};

// The gaps between scans (or their durations) as a histogram from zero, the median marked with a
// line.
class GapHistogram final : public QWidget {
    Q_OBJECT

public:
    static constexpr int MostBins = 20;

    explicit GapHistogram(QWidget* parent = nullptr);

    // `durations`: the values are durations, not gaps (said in the description).
    void setValues(std::vector<std::int64_t> valuesMs, bool durations = false);
    const Histogram& histogram() const { return histogram_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Histogram histogram_;
    bool durations_ = false;
};

} // namespace scan_log
