#include "scan_log/window/scan_collector.h"

#include <algorithm>

namespace scan_log {

std::optional<double> ScanStats::perMinute() const {
    if (count < 2 || lastMs <= firstMs)
        return std::nullopt;
    return static_cast<double>(count - 1) * 60000.0 / static_cast<double>(lastMs - firstMs);
}

ScanCollector::ScanCollector(MonotonicClock clock, QObject* parent)
    : QObject(parent), clock_(std::move(clock)), model_(this) {
    silence_.setSingleShot(true);
    silence_.setTimerType(Qt::PreciseTimer);
    connect(&silence_, &QTimer::timeout, this, &ScanCollector::silenceElapsed);
    frame_.setSingleShot(true);
    connect(&frame_, &QTimer::timeout, this, &ScanCollector::publish);
}

void ScanCollector::receive(const QByteArray& bytes, qint64 msecs) {
    take(splitter_.feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                        std::chrono::milliseconds(msecs)));
    // An armed timer stays as it is: when it fires early (more bytes came since), it is armed
    // again for the later deadline, so a steady stream restarts no timer per read.
    if (!silence_.isActive())
        armSilence();
}

void ScanCollector::armSilence() {
    const std::optional<std::chrono::milliseconds> deadline = splitter_.deadline();
    if (!deadline)
        return;
    silence_.start(static_cast<int>(std::clamp<qint64>(deadline->count() - clock_(), 0, 60000)));
}

void ScanCollector::silenceElapsed() {
    take(splitter_.tick(std::chrono::milliseconds(clock_())));
    armSilence();
}

int ScanCollector::silenceMs() const {
    return static_cast<int>(splitter_.silence().count());
}

void ScanCollector::setSilenceMs(int ms) {
    splitter_.setSilence(std::chrono::milliseconds(ms));
    silence_.stop();
    armSilence();
}

void ScanCollector::take(std::vector<Scan>&& scans) {
    if (scans.empty())
        return;
    const qint64 now = clock_();
    for (Scan& scan : scans) {
        ScanRow row;
        const qint64 first = scan.firstArrival.count();
        row.number = ++stats_.count;
        row.wallMs = wallMsFor(first, now);
        if (previousLastMs_ && stats_.count > 1) {
            row.gapMs = std::max<qint64>(0, first - *previousLastMs_);
            stats_.shortestGapMs = std::min(stats_.shortestGapMs.value_or(*row.gapMs), *row.gapMs);
            stats_.longestGapMs = std::max(stats_.longestGapMs.value_or(*row.gapMs), *row.gapMs);
        }
        if (stats_.count == 1)
            stats_.firstMs = first;
        stats_.lastMs = first;
        previousLastMs_ = scan.lastArrival.count();
        row.scan = std::move(scan);
        pending_.push_back(std::move(row));
    }
    // More than the log keeps, between two frames: the oldest would only be dropped again.
    while (pending_.size() > ScanLogModel::MaxRows)
        pending_.pop_front();
    if (!frame_.isActive()) {
        const qint64 steady = publishedMs_ ? *publishedMs_ + SteadyPublishMs - now : 0;
        frame_.start(static_cast<int>(std::clamp<qint64>(steady, PublishMs, SteadyPublishMs)));
    }
}

void ScanCollector::publish() {
    publishedMs_ = clock_();
    model_.append(pending_);
    emit changed();
}

void ScanCollector::clear() {
    pending_.clear();
    frame_.stop();
    stats_ = {};
    model_.clear();
    emit changed();
}

} // namespace scan_log
