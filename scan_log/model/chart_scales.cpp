#include "scan_log/model/chart_scales.h"

#include <algorithm>
#include <cmath>

namespace scan_log {

namespace {

// The tick at or below `low` and the one at or above `high`, in steps; a value a rounding error
// away from a tick is on it (0.3 / 0.1 is 2.9999999999999996).
constexpr double Slack = 1e-9;
double firstOf(double low, double step) {
    return std::floor(low / step + Slack);
}
double lastOf(double high, double step) {
    return std::ceil(high / step - Slack);
}

} // namespace

Ticks niceTicks(double low, double high, int most) {
    Ticks ticks;
    if (!(high > low) || most < 2 || !std::isfinite(low) || !std::isfinite(high))
        return ticks;
    const double rough = (high - low) / (most - 1);
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        ticks.step = factor * power;
        if (std::llround(lastOf(high, ticks.step) - firstOf(low, ticks.step)) + 1 <= most)
            break;
    }
    const double first = firstOf(low, ticks.step) * ticks.step;
    const double last = lastOf(high, ticks.step) * ticks.step;
    const long long count = std::llround((last - first) / ticks.step) + 1;
    for (long long i = 0; i < count; ++i)
        ticks.values.push_back(first + double(i) * ticks.step);
    return ticks;
}

std::optional<double> median(std::span<const std::int64_t> values) {
    if (values.empty())
        return std::nullopt;
    std::vector<std::int64_t> sorted(values.begin(), values.end());
    const std::size_t middle = sorted.size() / 2;
    std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(middle), sorted.end());
    const double upper = double(sorted[middle]);
    if (sorted.size() % 2 == 1)
        return upper;
    const double lower =
        double(*std::max_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(middle)));
    return (lower + upper) / 2;
}

namespace {

// The smallest 1-2-5 width that covers 0 to `value` in `bins` bins.
std::int64_t widthFor(std::int64_t value, int bins) {
    for (std::int64_t power = 1; power <= (std::int64_t(1) << 50); power *= 10)
        for (const std::int64_t factor : {1, 2, 5})
            if (value / (factor * power) < bins)
                return factor * power;
    return std::int64_t(1) << 50;
}

} // namespace

Histogram histogram(std::span<const std::int64_t> valuesMs, int most) {
    Histogram result;
    most = std::max(most, 1);
    if (valuesMs.empty())
        return result;
    // Partly ordered, never sorted: 100,000 values cost a few passes.
    std::vector<std::int64_t> values(valuesMs.begin(), valuesMs.end());
    for (std::int64_t& value : values)
        value = std::max<std::int64_t>(0, value);
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    result.lowestMs = *low;
    result.highestMs = *high;
    const auto nth = [&values](std::size_t n) {
        std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(n), values.end());
        return values[n];
    };
    // A few far longer values (a pause of the scanner among quick scans) would squeeze the rest
    // into the first bins: the bins then reach the 95th percentile, and the last one holds
    // everything above. Among fewer than 10 values every one is shown where it is.
    const std::int64_t reach = nth((values.size() - 1) * 95 / 100);
    const bool overflow = most >= 2 && values.size() >= 10 && result.highestMs > 2 * reach;
    const int bins = overflow ? most - 1 : most;
    const std::int64_t width = widthFor(overflow ? reach : result.highestMs, bins);
    result.binWidthMs = width;
    const std::int64_t covered =
        std::min<std::int64_t>((overflow ? reach : result.highestMs) / width + 1, bins);
    if (overflow)
        result.overflowFromMs = covered * width;
    result.counts.assign(std::size_t(covered + (overflow ? 1 : 0)), 0);
    for (const std::int64_t value : values)
        ++result.counts[std::size_t(
            std::min<std::int64_t>(value / width, std::int64_t(result.counts.size()) - 1))];
    result.medianMs = median(values);
    return result;
}

std::optional<int> timelineColumnOf(std::int64_t atMs, std::int64_t fromMs, std::int64_t toMs,
                                    int columns) {
    // Spans beyond a few decades of milliseconds are no log's (and would overflow below).
    if (columns <= 0 || toMs < fromMs || toMs - fromMs > (std::int64_t(1) << 40) || atMs < fromMs ||
        atMs > toMs)
        return std::nullopt;
    // In whole numbers: a scan on a column's first millisecond is in that column.
    return int((atMs - fromMs) * columns / (toMs - fromMs + 1));
}

std::vector<TimelineColumn> timelineColumns(std::span<const std::int64_t> timesMs,
                                            std::span<const Mark> marks, std::int64_t fromMs,
                                            std::int64_t toMs, int columns) {
    std::vector<TimelineColumn> result(std::size_t(std::max(columns, 0)));
    const std::size_t count = std::min(timesMs.size(), marks.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::optional<int> column = timelineColumnOf(timesMs[i], fromMs, toMs, columns);
        if (!column)
            continue;
        TimelineColumn& c = result[std::size_t(*column)];
        switch (marks[i]) {
        case Mark::Good:
            ++c.good;
            break;
        case Mark::Problem:
            ++c.problem;
            break;
        case Mark::Unknown:
            ++c.unknown;
            break;
        }
    }
    return result;
}

} // namespace scan_log
