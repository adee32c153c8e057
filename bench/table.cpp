#include "table.h"

#include "probes.h"

#include <algorithm>

namespace bench {

namespace {

QString number(double value, const Table::Row& row) {
    QString text = QString::number(value, 'f', row.decimals);
    if (row.partial)
        text += QLatin1Char('*');
    if (row.lossy)
        text += QLatin1Char('!');
    return text;
}

bool met(const Table::Row& row, double value) {
    if (row.partial || row.lossy)
        return false;
    switch (row.need) {
    case Table::Need::AtLeast:
        return value >= row.limit;
    case Table::Need::AtMost:
        return value <= row.limit;
    case Table::Need::Below:
        return value < row.limit;
    }
    return false;
}

} // namespace

Table::Table() {
    add("flood-lines", "Flood of barcode lines (MB/s)", ">= 20", Need::AtLeast, 20, 1);
    add("flood-random", "Flood of random bytes (MB/s)", ">= 20", Need::AtLeast, 20, 1);
    add("cpu-stream", "CPU, 115,200-baud stream (% of a core)", "<= 2", Need::AtMost, 2, 2);
    add("cpu-scans", "CPU, a 20-byte scan every 100 ms (%)", "<= 0.5", Need::AtMost, 0.5, 2);
    add("idle-cpu", "CPU, port open, nothing arriving (%)", "<= 0.05", Need::AtMost, 0.05, 3);
    add("idle-wakeups", "Wake-ups a second, idle", "<= 5", Need::AtMost, 5, 2);
    add("idle-focused-cpu", "CPU, idle, window focused (%)", "<= 0.05", Need::AtMost, 0.05, 3);
    add("idle-focused-wakeups", "Wake-ups a second, idle, focused", "<= 5", Need::AtMost, 5, 2);
    add("latency-idle", "Latency p99, single scans (ms)", "<= 20", Need::AtMost, 20, 1);
    add("latency-stream", "Latency p99, 115,200-baud stream (ms)", "<= 150", Need::AtMost, 150, 1);
    add("blocked", "UI thread blocked, floods (ms)", "<= 20", Need::AtMost, 20, 1);
    add("inputlen1", "InputLen 1 at 115,200 baud, max buffer (B)", "< 1024", Need::Below, 1024, 0);
    add("peak-rss", "Peak resident memory (MiB)", "<= 80", Need::AtMost, 80, 1);
    add("rss-growth", "Resident memory after floods - start (MiB)", "<= 30", Need::AtMost, 30, 1);
    add("unterminated-growth", "Resident memory growth, 192 MiB unterminated (MiB)", "< 128",
        Need::Below, 128, 1);
    add("search-noise-growth", "Resident memory growth, search under 1 MB/s noise (MiB)", "< 128",
        Need::Below, 128, 1);
    add("testcodes-flood-blocked", "UI thread blocked, 20,000 scans into Test Codes (ms)", "<= 50",
        Need::AtMost, 50, 1);
    add("keys-flood-blocked", "UI thread blocked, 100,000 keys at once (ms)", "<= 50", Need::AtMost,
        50, 1);
    add("held-gaps", "Window held 3 s, six scans 500 ms apart: gap error (ms)", "<= 20",
        Need::AtMost, 20, 0);
    add("held-writer", "Window held 5 s in a stream: writer held up (ms)", "<= 20", Need::AtMost,
        20, 1);
    add("held-lost", "Window held 5 s in a stream: bytes not shown", "= 0", Need::AtMost, 0, 0);
    add("pictures-repaint", "Timeline of 100,000 scans: repaint p95 (ms)", "< 10", Need::Below, 10,
        2);
    add("pictures-update", "Pictures of 100,000 scans: update p95 (ms)", "< 10", Need::Below, 10,
        2);
    add("startup", "Start-up to first painted window (ms)", "<= 250", Need::AtMost, 250, 0);
}

void Table::add(const char* id, const char* target, const char* goal, Need need, double limit,
                int decimals) {
    Row row;
    row.target = QString::fromUtf8(target);
    row.goal = QString::fromUtf8(goal);
    row.need = need;
    row.limit = limit;
    row.decimals = decimals;
    rows_.emplace(id, row);
    order_.emplace_back(id);
}

Table::Row* Table::row(const std::string& id) {
    const auto found = rows_.find(id);
    return found == rows_.end() ? nullptr : &found->second;
}

bool Table::anyPartial() const {
    return std::any_of(rows_.begin(), rows_.end(),
                       [](const auto& entry) { return entry.second.partial; });
}

bool Table::anyLossy() const {
    return std::any_of(rows_.begin(), rows_.end(),
                       [](const auto& entry) { return entry.second.lossy; });
}

void Table::print(std::FILE* out) const {
    std::fprintf(out, "%-46s %-7s %9s %9s %9s  %s\n", "Target", "Goal", "Median", "Min", "Max",
                 "Result");
    std::fprintf(out, "%s\n", std::string(92, '-').c_str());
    for (const std::string& id : order_) {
        const Row& row = rows_.at(id);
        if (!row.skipped.isEmpty()) {
            std::fprintf(out, "%-46s %-7s %s\n", qPrintable(row.target), qPrintable(row.goal),
                         qPrintable(row.skipped));
            continue;
        }
        if (row.values.empty())
            continue;
        const auto [low, high] = std::minmax_element(row.values.begin(), row.values.end());
        const double middle = median(row.values);
        std::fprintf(out, "%-46s %-7s %9s %9s %9s  %s\n", qPrintable(row.target),
                     qPrintable(row.goal), qPrintable(number(middle, row)),
                     qPrintable(number(*low, row)), qPrintable(number(*high, row)),
                     met(row, middle) ? "met" : "MISSED");
    }
}

} // namespace bench
