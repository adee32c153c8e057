#pragma once

#include <QTimer>
#include <QWidget>

class QComboBox;
class QLabel;

namespace scan_log {

class GapHistogram;
class ScanLogModel;
class ScanTimeline;

// The Scan Log's pictures above its table: the timeline of the last minute's scans (the whole log
// when it is shorter) and the histogram of their gaps or durations. They follow the log's rows as
// they are published, from what each row kept when it came (no scan is decoded again), and the
// work is the scans of the span shown, never the whole log.
class ScanPictures final : public QWidget {
    Q_OBJECT

public:
    // The span the pictures show at most.
    static constexpr qint64 SpanMs = 60'000;

    explicit ScanPictures(const ScanLogModel& model, QWidget* parent = nullptr);

    ScanTimeline& timeline() const { return *timeline_; }
    GapHistogram& histogram() const { return *histogram_; }
    // Draws the rows as they are now (also done by itself after each change while shown).
    void refresh();

signals:
    // A timeline mark was clicked: the row of its scan.
    void rowClicked(int row);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void changed();

    const ScanLogModel& model_;
    ScanTimeline* timeline_ = nullptr;
    GapHistogram* histogram_ = nullptr;
    QLabel* span_ = nullptr;
    QComboBox* of_ = nullptr;
    // Changes that come together (the oldest rows leaving, the new ones arriving) are drawn once.
    QTimer pending_;
    int firstRow_ = 0;
};

} // namespace scan_log
