#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace scan_log {

// The figures the Scan Log's pictures draw, apart from the drawing: ticks of an axis, the bins of
// a histogram of gaps or durations, and the columns of a timeline of scans. Plain functions on
// plain data, so that 100,000 scans cost one pass and no drawing of each.

// Ticks for an axis from `low` to `high`: multiples of 1, 2 or 5 times a power of ten, at most
// `most` of them (at least two when the range is not empty), covering the range.
struct Ticks {
    double step = 0;
    std::vector<double> values;
};
Ticks niceTicks(double low, double high, int most);

// The median of `values` (the mean of the two middle ones for an even count); none when empty.
std::optional<double> median(std::span<const std::int64_t> values);

// A histogram of milliseconds: bins of one width from zero, as many as the largest value needs but
// at most `most` (the last one then takes everything above), with the median. When the largest
// values (of 10 or more) are more than twice the 95th percentile (a pause among quick scans), the
// bins reach that percentile and the last one, from overflowFromMs, holds everything above it.
struct Histogram {
    std::int64_t binWidthMs = 1;
    std::vector<std::uint32_t> counts;
    std::optional<double> medianMs;
    std::int64_t lowestMs = 0, highestMs = 0;
    std::optional<std::int64_t> overflowFromMs;
};
Histogram histogram(std::span<const std::int64_t> valuesMs, int most);

// How a scan was judged, for the timeline's marks.
enum class Mark : std::uint8_t { Good, Problem, Unknown };

// The scans between `fromMs` and `toMs` in `columns` columns of equal time: how many of each
// mark fell in each. A scan outside the span counts in none.
struct TimelineColumn {
    std::uint32_t good = 0, problem = 0, unknown = 0;
    std::uint32_t total() const { return good + problem + unknown; }
};
// The column of `columns` between `fromMs` and `toMs` that a scan at `atMs` falls in; none
// outside the span.
std::optional<int> timelineColumnOf(std::int64_t atMs, std::int64_t fromMs, std::int64_t toMs,
                                    int columns);
std::vector<TimelineColumn> timelineColumns(std::span<const std::int64_t> timesMs,
                                            std::span<const Mark> marks, std::int64_t fromMs,
                                            std::int64_t toMs, int columns);

} // namespace scan_log
