#include "scan_log/window/scan_charts.h"
#include "scan_log/window/scan_log_model.h"
#include "scan_log/window/scan_pictures.h"

#include <QComboBox>

#include <QAccessible>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

using namespace scan_log;
using namespace Qt::Literals::StringLiterals;

namespace {

// The height of the strip of ticks and labels at the bottom of both pictures.
int axisHeight(const QWidget& widget) {
    return widget.fontMetrics().height() + 5;
}

// Whether any pixel of the band of columns [left, right) above the axis strip differs from the
// background, the row `line` (and its neighbours, antialiased) apart.
bool drawnIn(const QImage& image, int left, int right, QRgb background, int bottom,
             int line = -10) {
    for (int x = std::max(0, left); x < std::min(image.width(), right); ++x)
        for (int y = 0; y < bottom; ++y)
            if (std::abs(y - line) > 1 && image.pixel(x, y) != background)
                return true;
    return false;
}

bool timelineDrawnIn(const ScanTimeline& timeline, const QImage& image, int left, int right) {
    const int marks = timeline.height() - axisHeight(timeline);
    return drawnIn(image, left, right, image.pixel(image.width() / 2, 1), marks, marks / 2);
}

} // namespace

class TstScanCharts : public QObject {
    Q_OBJECT

private slots:
    // Marks where scans are, none where there are none (the axis line apart); the description
    // gives the figures.
    void timelineDrawsMarksWhereScansAre() {
        ScanTimeline timeline;
        timeline.resize(600, 40);
        // Scans in the first and the last tenth of 10 s, none between: a pause of the scanner.
        std::vector<std::int64_t> times{0, 200, 400, 9'600, 9'999};
        std::vector<Mark> marks{Mark::Good, Mark::Good, Mark::Problem, Mark::Unknown, Mark::Good};
        timeline.setScans(times, marks, 0, 9'999);
        QCOMPARE(timeline.accessibleDescription(), u"5 scans in 10.0 s"_s);
        // A chart to a screen reader, named and described.
        QAccessibleInterface* chart = QAccessible::queryAccessibleInterface(&timeline);
        QCOMPARE(chart->role(), QAccessible::Chart);
        QCOMPARE(chart->text(QAccessible::Description), u"5 scans in 10.0 s"_s);
        QCOMPARE(chart->text(QAccessible::Name), u"Scans along time"_s);
        const QImage image = timeline.grab().toImage();
        QVERIFY(timelineDrawnIn(timeline, image, 0, 60));
        QVERIFY(timelineDrawnIn(timeline, image, 540, 600));
        QVERIFY(!timelineDrawnIn(timeline, image, 90, 510));
        // Ticks and their labels below the marks.
        const int strip = timeline.height() - axisHeight(timeline);
        QVERIFY(drawnIn(image.copy(0, strip, 600, axisHeight(timeline)), 0, 600,
                        image.pixel(300, 1), axisHeight(timeline)));
    }

    // A click on a mark stands for its column's first problem, else its first scan; a click
    // where there is no mark for none.
    void timelineClickFindsTheScan() {
        ScanTimeline timeline;
        timeline.resize(600, 40);
        // 75 columns of 8 pixels over 0..7499 ms: 100 ms a column.
        std::vector<std::int64_t> times{0, 10, 20, 5'000, 7'499};
        std::vector<Mark> marks{Mark::Good, Mark::Problem, Mark::Problem, Mark::Good, Mark::Good};
        timeline.setScans(times, marks, 0, 7'499);
        QSignalSpy clicked(&timeline, &ScanTimeline::scanClicked);
        QTest::mouseClick(&timeline, Qt::LeftButton, {}, QPoint(3, 10));
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked[0][0].value<std::size_t>(), std::size_t(1));
        QCOMPARE(timeline.scanAt(50 * ScanTimeline::ColumnWidth + 2),
                 std::optional<std::size_t>(3));
        QCOMPARE(timeline.scanAt(74 * ScanTimeline::ColumnWidth), std::optional<std::size_t>(4));
        QCOMPARE(timeline.scanAt(20 * ScanTimeline::ColumnWidth), std::nullopt);
        QTest::mouseClick(&timeline, Qt::LeftButton, {}, QPoint(300, 10));
        QCOMPARE(clicked.size(), 1);
    }

    void timelineOf100000ScansDrawsInColumns() {
        ScanTimeline timeline;
        timeline.resize(600, 40);
        std::vector<std::int64_t> times(100'000);
        for (std::size_t i = 0; i < times.size(); ++i)
            times[i] = std::int64_t(i);
        timeline.setScans(times, std::vector<Mark>(times.size(), Mark::Good), 0, 99'999);
        QCOMPARE(timeline.accessibleDescription(), u"100000 scans in 100.0 s"_s);
        const QImage image = timeline.grab().toImage();
        // Every column holds scans: each has its mark.
        for (int x = 0; x < 600; x += ScanTimeline::ColumnWidth)
            QVERIFY2(timelineDrawnIn(timeline, image, x, x + ScanTimeline::ColumnWidth),
                     qPrintable(QString::number(x)));
    }

    void histogramBarsAndMedian() {
        GapHistogram histogram;
        histogram.resize(200, 80);
        QCOMPARE(histogram.accessibleDescription(), u"no gaps yet"_s);
        histogram.setValues({150, 300, 300, 450});
        QCOMPARE(histogram.accessibleDescription(), u"gaps 150 to 450 ms, median 300 ms"_s);
        QCOMPARE(histogram.histogram().binWidthMs, 50);
        const QImage image = histogram.grab().toImage();
        const QRgb background = image.pixel(5, 5);
        const int bars = histogram.height() - axisHeight(histogram);
        // Bins of 50 ms across 200 pixels, ten of them: 150 ms in the fourth, none in the second.
        QVERIFY(drawnIn(image, 61, 79, background, bars));
        QVERIFY(!drawnIn(image, 21, 39, background, bars));
        // A pause among twenty quick gaps: the hatched last bar holds it, and says so.
        std::vector<std::int64_t> paused(20, 300);
        paused.push_back(4000);
        histogram.setValues(paused);
        QCOMPARE(histogram.accessibleDescription(),
                 u"gaps 300 to 4000 ms, median 300 ms; 1 of 320 ms or more in the last bar"_s);
        histogram.setValues({40, 60}, true);
        QCOMPARE(histogram.accessibleDescription(), u"durations 40 to 60 ms, median 50 ms"_s);
    }

    // The pictures draw the last minute of the log (the whole log when shorter) from what the
    // rows kept, follow the log as rows come and go, and map a click to the row's number.
    void picturesFollowTheLastMinute() {
        ScanLogModel model;
        scan_log::ScanPictures pictures(model);
        pictures.resize(800, 100);
        pictures.show();
        QCOMPARE(pictures.timeline().accessibleDescription(), u"0 scans in 0.0 s"_s);
        qint64 at = 1'000'000;
        const auto scan = [&](std::string_view bytes, qint64 gap, scan_log::ScanVerdict verdict) {
            at += gap;
            scan_log::ScanTimes times;
            times.wallMs = at;
            times.gapMs = gap;
            times.durationMs = 20;
            times.verdict = verdict;
            model.stage(bytes, false, times);
        };
        // Ten scans 10 s apart (the first three leave the minute), then a pause, then a problem.
        for (int i = 0; i < 10; ++i)
            scan("4006381333931\r", 10'000, scan_log::ScanVerdict::Good);
        scan("garbage\r", 2'000, scan_log::ScanVerdict::Problem);
        model.publish();
        QTRY_COMPARE(pictures.timeline().accessibleDescription(), u"7 scans in 60.0 s"_s);
        QCOMPARE(pictures.histogram().accessibleDescription(),
                 u"gaps 2000 to 10000 ms, median 10000 ms"_s);
        // The verdict kept with the row, not decoded again: the last mark is a problem's.
        QSignalSpy clicked(&pictures, &scan_log::ScanPictures::rowClicked);
        const ScanTimeline& timeline = pictures.timeline();
        const int lastColumn = timeline.width() / ScanTimeline::ColumnWidth - 1;
        QTest::mouseClick(&pictures.timeline(), Qt::LeftButton, {},
                          QPoint(lastColumn * ScanTimeline::ColumnWidth + 1, 5));
        QCOMPARE(clicked.size(), 1);
        QCOMPARE(clicked[0][0].toInt(), 10);
        // The minute shown starts at 1,042,000: the scan at 1,050,000 is the first in it.
        const int column =
            *scan_log::timelineColumnOf(1'050'000, 1'042'000, 1'102'000, lastColumn + 1);
        QTest::mouseClick(&pictures.timeline(), Qt::LeftButton, {},
                          QPoint(column * ScanTimeline::ColumnWidth + 1, 5));
        QCOMPARE(clicked.size(), 2);
        QCOMPARE(clicked[1][0].toInt(), 4);
        QTest::mouseClick(&pictures.timeline(), Qt::LeftButton, {}, QPoint(1, 5));
        QCOMPARE(clicked.size(), 2);
        // Times out of order by a millisecond (the wall clock read anew for a batch): the span
        // is the times' own, every scan has its mark, and a click finds it.
        scan("4006381333931\r", 0, scan_log::ScanVerdict::Good);
        scan("4006381333931\r", -1, scan_log::ScanVerdict::Good);
        model.publish();
        QTRY_COMPARE(pictures.timeline().accessibleDescription(), u"9 scans in 60.0 s"_s);
        QVERIFY(pictures.timeline().scanAt(lastColumn * ScanTimeline::ColumnWidth));

        pictures.findChild<QComboBox*>(u"HistogramOf"_s)->setCurrentIndex(1);
        QCOMPARE(pictures.histogram().accessibleDescription(),
                 u"durations 20 to 20 ms, median 20 ms"_s);
        model.clear();
        QTRY_COMPARE(pictures.timeline().accessibleDescription(), u"0 scans in 0.0 s"_s);
    }
};

QTEST_MAIN(TstScanCharts)
#include "tst_scan_charts.moc"
