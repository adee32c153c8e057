#pragma once

#include <QDateTime>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>

namespace base {

// The program's one monotonic clock: milliseconds that never jump. The port stamps received and
// sent bytes with it, the Scan Log and the recorder time scans with it, and the close wait's
// clock counts on it.
inline qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// A source of monotonicMs readings; tests hand in their own.
using MonotonicClock = std::function<qint64()>;

// The wall-clock time (milliseconds since the epoch) of a moment on the monotonic clock, given
// that clock's reading now.
inline qint64 wallMsFor(qint64 monotonic, qint64 monotonicNow) {
    return QDateTime::currentMSecsSinceEpoch() - (monotonicNow - monotonic);
}

// Puts the times that come with events (a window system's key times: milliseconds on a clock of
// its own) on the monotonic clock, so that what the events measure does not depend on when the
// program got to them: keys that waited while the window was busy keep the gaps they were typed
// with. The distance between the two clocks is the least delay seen, that of the event handled
// soonest after it happened. An event without a time (0) is timed when it is handled; an event
// clock that runs backwards (a new window system) is measured afresh.
class EventTimes {
public:
    static constexpr qint64 BackwardsMs = 1000;

    qint64 toMonotonic(qint64 eventMs, qint64 nowMs) {
        if (eventMs <= 0)
            return nowMs;
        const qint64 delay = nowMs - eventMs;
        if (!offset_ || delay < *offset_ || eventMs < lastEventMs_ - BackwardsMs)
            offset_ = delay;
        lastEventMs_ = eventMs;
        return std::min(nowMs, eventMs + *offset_);
    }

private:
    std::optional<qint64> offset_;
    qint64 lastEventMs_ = 0;
};

} // namespace base
