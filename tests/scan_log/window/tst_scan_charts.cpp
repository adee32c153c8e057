#include "scan_log/window/scan_charts.h"

#include <QImage>
#include <QTest>

using namespace scan_log;
using namespace Qt::Literals::StringLiterals;

namespace {

// Whether any pixel of the band of columns [left, right) differs from the background, the row of
// the timeline's axis line (and its neighbours, antialiased) apart.
bool drawnIn(const QImage& image, int left, int right, QRgb background) {
    const int axis = image.height() / 2;
    for (int x = std::max(0, left); x < std::min(image.width(), right); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (std::abs(y - axis) > 1 && image.pixel(x, y) != background)
                return true;
    return false;
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
        const QImage image = timeline.grab().toImage();
        const QRgb background = image.pixel(image.width() / 2, 2);
        QVERIFY(drawnIn(image, 0, 60, background));
        QVERIFY(drawnIn(image, 540, 600, background));
        QVERIFY(!drawnIn(image, 90, 510, background));
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
        const QRgb background = image.pixel(0, 2);
        QVERIFY(drawnIn(image, 0, 600, background));
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
        // Bins of 50 ms across 200 pixels, ten of them: 150 ms in the fourth, none in the second.
        QVERIFY(drawnIn(image, 61, 79, background));
        QVERIFY(!drawnIn(image, 21, 39, background));
        histogram.setValues({40, 60}, true);
        QCOMPARE(histogram.accessibleDescription(), u"durations 40 to 60 ms, median 50 ms"_s);
    }
};

QTEST_MAIN(TstScanCharts)
#include "tst_scan_charts.moc"
