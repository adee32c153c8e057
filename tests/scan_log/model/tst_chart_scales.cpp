#include "scan_log/model/chart_scales.h"

#include <QTest>

using namespace scan_log;

class TstChartScales : public QObject {
    Q_OBJECT

private slots:
    void ticksAreRoundAndCover() {
        struct Case {
            double low, high;
            int most;
            double step;
            std::vector<double> values;
        };
        const std::vector<Case> cases{
            {0, 450, 6, 100, {0, 100, 200, 300, 400, 500}},
            {150, 450, 5, 100, {100, 200, 300, 400, 500}},
            {0, 6, 8, 1, {0, 1, 2, 3, 4, 5, 6}},
            {0, 60'000, 7, 10'000, {0, 10'000, 20'000, 30'000, 40'000, 50'000, 60'000}},
            {0.3, 0.7, 6, 0.1, {0.3, 0.4, 0.5, 0.6, 0.7}},
            {5, 5, 6, 0, {}},  // an empty range: no axis
            {0, 10, 1, 0, {}}, // no room for two ticks
        };
        for (const Case& c : cases) {
            const Ticks ticks = niceTicks(c.low, c.high, c.most);
            QCOMPARE(ticks.step, c.step);
            QCOMPARE(ticks.values.size(), c.values.size());
            for (std::size_t i = 0; i < c.values.size(); ++i)
                QVERIFY(std::abs(ticks.values[i] - c.values[i]) < 1e-9);
            QVERIFY(int(ticks.values.size()) <= std::max(c.most, 0));
        }
    }

    void medianOfOddEvenAndNone() {
        const std::vector<std::int64_t> odd{300, 150, 450};
        const std::vector<std::int64_t> even{100, 400, 200, 300};
        QCOMPARE(*median(odd), 300.0);
        QCOMPARE(*median(even), 250.0);
        QVERIFY(!median({}));
    }

    void histogramBinsFromZero() {
        struct Case {
            std::vector<std::int64_t> values;
            int most;
            std::int64_t width;
            std::vector<std::uint32_t> counts;
            std::optional<std::int64_t> overflowFrom = std::nullopt;
        };
        const std::vector<Case> cases{
            // Gaps 150 to 450 ms in bins of 50 ms.
            {{150, 300, 300, 450}, 10, 50, {0, 0, 0, 1, 0, 0, 2, 0, 0, 1}},
            // The largest within twice the 95th percentile: the width grows to keep within the
            // bins asked for.
            {{10,  20,  30,  40,  50,  60,  70,  80,  90,  100, 110,
              120, 130, 140, 150, 160, 170, 180, 190, 200, 390},
             10,
             50,
             {4, 5, 5, 5, 1, 0, 0, 1}},
            // A pause among quick scans: bins up to the 95th percentile, the pause above them.
            {{300, 310, 290, 305, 295, 300, 320, 280, 300, 310, 300,
              290, 300, 305, 300, 295, 300, 310, 300, 300, 3815},
             10,
             50,
             {0, 0, 0, 0, 0, 5, 15, 1},
             350},
            // Ten values, one a pause: it goes to the last bar.
            {{300, 300, 300, 300, 300, 300, 300, 300, 300, 3817},
             10,
             50,
             {0, 0, 0, 0, 0, 0, 9, 1},
             350},
            // Too few values for a percentile: one outlier widens the bins.
            {{10, 20, 5000}, 10, 1000, {2, 0, 0, 0, 0, 1}},
            {{0}, 4, 1, {1}},
            // A negative value (clocks that stepped) counts as zero.
            {{-5, 3}, 4, 1, {1, 0, 0, 1}},
            {{}, 10, 1, {}},
        };
        for (const Case& c : cases) {
            const Histogram h = histogram(c.values, c.most);
            QCOMPARE(h.binWidthMs, c.width);
            QCOMPARE(h.counts, c.counts);
            QCOMPARE(h.overflowFromMs, c.overflowFrom);
            QVERIFY(int(h.counts.size()) <= c.most);
        }
        const std::vector<std::int64_t> gaps{150, 300, 450};
        QCOMPARE(*histogram(gaps, 10).medianMs, 300.0);
    }

    // 100,000 scans in 200 columns: every scan in the span counts once, in its column by time.
    void timelineCountsEveryScanOnce() {
        std::vector<std::int64_t> times;
        std::vector<Mark> marks;
        for (int i = 0; i < 100'000; ++i) {
            times.push_back(1'000 + i);
            marks.push_back(i % 10 == 0 ? Mark::Problem : Mark::Good);
        }
        times.push_back(500'000); // outside the span
        marks.push_back(Mark::Unknown);
        const auto columns = timelineColumns(times, marks, 1'000, 100'999, 200);
        QCOMPARE(columns.size(), std::size_t(200));
        std::uint64_t total = 0, problems = 0, unknown = 0;
        for (const TimelineColumn& column : columns) {
            QCOMPARE(column.total(), 500u);
            total += column.total();
            problems += column.problem;
            unknown += column.unknown;
        }
        QCOMPARE(total, 100'000u);
        QCOMPARE(problems, 10'000u);
        QCOMPARE(unknown, 0u);
        // A gap the scanner left is a run of empty columns.
        const std::vector<std::int64_t> apart{0, 10, 990, 1000};
        const std::vector<Mark> four(4, Mark::Good);
        const auto gap = timelineColumns(apart, four, 0, 1000, 10);
        QCOMPARE(gap.front().total(), 2u);
        QCOMPARE(gap.back().total(), 2u);
        for (std::size_t i = 1; i + 1 < gap.size(); ++i)
            QCOMPARE(gap[i].total(), 0u);
    }
};

QTEST_APPLESS_MAIN(TstChartScales)
#include "tst_chart_scales.moc"
