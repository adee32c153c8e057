#include "scan_log/window/scan_collector.h"

#include "scan_log/model/scan_info.h"

#include <algorithm>
#include <cstdlib>

namespace scan_log {

std::optional<double> ScanStats::perMinute() const {
    if (count < 2 || lastMs <= firstMs)
        return std::nullopt;
    return static_cast<double>(count - 1) * 60000.0 / static_cast<double>(lastMs - firstMs);
}

ScanCollector::ScanCollector(base::MonotonicClock clock, QObject* parent)
    : QObject(parent), clock_(std::move(clock)), model_(this),
      take_([this](const ScanView& scan) { take(scan); }),
      takeTyped_([this](const TypedScan& typed) { takeTyped(typed); }) {
    silence_.setSingleShot(true);
    silence_.setTimerType(Qt::PreciseTimer);
    connect(&silence_, &QTimer::timeout, this, &ScanCollector::silenceElapsed);
    frame_.setSingleShot(true);
    connect(&frame_, &QTimer::timeout, this, &ScanCollector::publish);
    keySilence_.setSingleShot(true);
    keySilence_.setTimerType(Qt::PreciseTimer);
    connect(&keySilence_, &QTimer::timeout, this, [this] {
        readClocks();
        keys_.tick(std::chrono::milliseconds(nowMs_), takeTyped_);
        armKeySilence();
    });
    deviceKeySilence_.setSingleShot(true);
    deviceKeySilence_.setTimerType(Qt::PreciseTimer);
    connect(&deviceKeySilence_, &QTimer::timeout, this, [this] {
        readClocks();
        for (auto& entry : deviceKeys_) {
            const QString& device = entry.first;
            entry.second.tick(
                std::chrono::milliseconds(nowMs_),
                [this, &device](const TypedScan& typed) { takeDeviceTyped(device, typed); });
        }
        armDeviceKeySilence();
    });
}

void ScanCollector::receive(const QByteArray& bytes, qint64 msecs) {
    readClocks();
    // Read after the silence ran out but before its timer could look: the bytes waited in the
    // device while the program was busy, so the line was not quiet.
    if (const auto deadline = splitter_.deadline();
        silence_.isActive() && deadline && msecs >= deadline->count())
        splitter_.extend(std::chrono::milliseconds(msecs));
    fedBytes_ += static_cast<quint64>(bytes.size());
    splitter_.feed(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                   std::chrono::milliseconds(msecs), take_);
    // The timer moves to the new deadline, so that it never fires while a stream goes on: moving
    // it costs less than the wake-up it saves.
    armSilence();
}

void ScanCollector::armSilence() {
    const std::optional<std::chrono::milliseconds> deadline = splitter_.deadline();
    if (!deadline)
        return;
    silence_.start(static_cast<int>(std::clamp<qint64>(deadline->count() - clock_(), 0, 60000)));
}

void ScanCollector::readClocks() {
    nowMs_ = clock_();
    // The two clocks, read one after the other, differ by a millisecond more or less from one
    // reading to the next: the distance is kept unless it moved further (the wall clock was set,
    // or has drifted), so that scans that follow each other never go back in time.
    const qint64 distance = base::wallMsFor(nowMs_, nowMs_) - nowMs_;
    if (std::abs(distance - wallMinusMonotonicMs_) > ClockReadingSlackMs)
        wallMinusMonotonicMs_ = distance;
}

void ScanCollector::silenceElapsed() {
    readClocks();
    if (bytesWaiting_ && splitter_.pending() && bytesWaiting_())
        splitter_.extend(std::chrono::milliseconds(nowMs_));
    else
        splitter_.tick(std::chrono::milliseconds(nowMs_), take_);
    armSilence();
}

int ScanCollector::silenceMs() const {
    return static_cast<int>(splitter_.silence().count());
}

void ScanCollector::setSilenceMs(int ms) {
    splitter_.setSilence(std::chrono::milliseconds(ms));
    keys_.setSilence(splitter_.silence());
    silence_.stop();
    armSilence();
}

void ScanCollector::lineError() {
    // A scan keeps at most a few hundred marks' worth (the count is capped); a line that marks
    // every byte of a long scan must not grow this without bound.
    if (errorOffsets_.size() >= ScanSplitter::MaxScanBytes)
        errorOffsets_.pop_front();
    errorOffsets_.push_back(fedBytes_);
}

void ScanCollector::take(const ScanView& scan) {
    ScanTimes times;
    times.port = port_;
    // The bytes before the end of this scan: fed already, less what the splitter still holds.
    scannedBytes_ += scan.bytes.size();
    while (!errorOffsets_.empty() && errorOffsets_.front() < scannedBytes_) {
        errorOffsets_.pop_front();
        ++times.lineErrors;
    }
    takeWith(scan, times);
}

void ScanCollector::receiveKeys(const QString& text, qint64 eventMs) {
    readClocks();
    keys_.key(text.toStdString(), std::chrono::milliseconds(keyTimes_.toMonotonic(eventMs, nowMs_)),
              takeTyped_);
    armKeySilence();
}

void ScanCollector::receiveDeviceScan(const QByteArray& bytes, qint64 firstMs, qint64 lastMs,
                                      const QString& device, bool cut) {
    if (bytes.isEmpty())
        return;
    readClocks();
    ScanTimes times;
    times.device = device;
    takeWith(ScanView{std::string_view(bytes.constData(), std::size_t(bytes.size())),
                      std::chrono::milliseconds(firstMs), std::chrono::milliseconds(lastMs),
                      Terminator::None, cut},
             times);
}

void ScanCollector::receiveDeviceKey(const QString& device, const QString& text,
                                     qint64 monotonicMs) {
    readClocks();
    KeyboardScans& keys = deviceKeys_[device];
    keys.setSilence(splitter_.silence());
    // A key time from the future (another clock) is taken as now.
    keys.key(text.toStdString(), std::chrono::milliseconds(std::min(monotonicMs, nowMs_)),
             [this, &device](const TypedScan& typed) { takeDeviceTyped(device, typed); });
    armDeviceKeySilence();
}

void ScanCollector::armDeviceKeySilence() {
    std::optional<qint64> earliest;
    for (const auto& [device, keys] : deviceKeys_)
        if (const auto deadline = keys.deadline())
            earliest = std::min<qint64>(earliest.value_or(deadline->count()), deadline->count());
    if (!earliest) {
        deviceKeySilence_.stop();
        return;
    }
    const int due = static_cast<int>(std::clamp<qint64>(*earliest - clock_(), 0, 60000));
    if (!deviceKeySilence_.isActive() || deviceKeySilence_.remainingTime() > due)
        deviceKeySilence_.start(due);
}

void ScanCollector::takeDeviceTyped(const QString& device, const TypedScan& typed) {
    recentDeviceScans_.push_back({typed.bytes, typed.last.count()});
    if (recentDeviceScans_.size() > 8)
        recentDeviceScans_.pop_front();
    ScanTimes times;
    times.device = device;
    if (typed.medianKeyGap)
        times.keyGapMs = typed.medianKeyGap->count();
    takeWith(ScanView{typed.bytes, typed.first, typed.last, typed.terminator, typed.cut}, times);
}

void ScanCollector::armKeySilence() {
    // A timer that is running already fires no later than the deadline moved by a new key: it
    // looks again then (tick ends nothing early). A scanner's burst of keys so costs no timer
    // work a key.
    const auto deadline = keys_.deadline();
    if (!deadline) {
        keySilence_.stop();
        return;
    }
    const int due = static_cast<int>(std::clamp<qint64>(deadline->count() - clock_(), 0, 60000));
    if (!keySilence_.isActive() || keySilence_.remainingTime() > due)
        keySilence_.start(due);
}

void ScanCollector::takeTyped(const TypedScan& typed) {
    // The same keys of a scanner read directly reach the field too when it has the focus: the
    // scan is in the log already, under the scanner's name.
    const bool twice = std::any_of(
        recentDeviceScans_.begin(), recentDeviceScans_.end(), [&typed](const RecentScan& seen) {
            return seen.bytes == typed.bytes &&
                   std::abs(seen.lastMs - typed.last.count()) <= SameScanWithinMs;
        });
    if (twice) {
        emit keyboardScanEnded();
        return;
    }
    ScanTimes times;
    times.keyboard = true;
    if (typed.medianKeyGap)
        times.keyGapMs = typed.medianKeyGap->count();
    takeWith(ScanView{typed.bytes, typed.first, typed.last, typed.terminator, typed.cut}, times);
    emit keyboardScanEnded();
}

void ScanCollector::takeWith(const ScanView& scan, ScanTimes times) {
    const qint64 first = scan.firstArrival.count();
    ++stats_.count;
    times.wallMs = first + wallMinusMonotonicMs_;
    times.durationMs = (scan.lastArrival - scan.firstArrival).count();
    if (previousLastMs_ && stats_.count > 1) {
        const qint64 gap = std::max<qint64>(0, first - *previousLastMs_);
        times.gapMs = gap;
        stats_.shortestGapMs = std::min(stats_.shortestGapMs.value_or(gap), gap);
        stats_.longestGapMs = std::max(stats_.longestGapMs.value_or(gap), gap);
    }
    if (stats_.count == 1)
        stats_.firstMs = first;
    stats_.lastMs = first;
    previousLastMs_ = scan.lastArrival.count();
    // Decoded once here for the count and the row's verdict (a tenth of a microsecond for a plain
    // scan, a few for GS1 data); the table decodes again only the rows it shows.
    times.verdict = decodeScan(scan.bytes, LineFacts{times.lineErrors}).verdict;
    if (times.verdict == ScanVerdict::Problem)
        ++stats_.problems;
    if (listener_)
        listener_(scan, times);
    model_.stage(scan.bytes, scan.cut, times);
    if (replyHook_ && replyHook_(times))
        model_.markLatestReplied();
    // A flood: the oldest rows leave with the next publication, so it comes now, before what
    // waits for it outgrows a quarter of the log, in rows or in bytes.
    if ((model_.staged() >= ScanLogModel::MaxRows / 4 &&
         static_cast<std::size_t>(model_.rowCount()) + model_.staged() > ScanLogModel::MaxRows) ||
        model_.stagedBytes() >= ScanLogModel::MaxBytes / 4) {
        frame_.stop();
        publish();
        return;
    }
    if (!frame_.isActive()) {
        const qint64 steady = publishedMs_ ? *publishedMs_ + SteadyPublishMs - nowMs_ : 0;
        frame_.start(static_cast<int>(std::clamp<qint64>(steady, PublishMs, SteadyPublishMs)));
    }
}

void ScanCollector::publish() {
    publishedMs_ = clock_();
    model_.publish();
    emit changed();
}

void ScanCollector::clear() {
    frame_.stop();
    stats_ = {};
    model_.clear();
    emit changed();
}

} // namespace scan_log
