#pragma once

#include <QDateTime>
#include <QtGlobal>

#include <chrono>
#include <functional>

namespace scan_log {

// Milliseconds on a clock that never jumps: the clock the port stamps received and sent bytes
// with (steady_clock, as PortControl::monotonicMs).
inline qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

using MonotonicClock = std::function<qint64()>;

// The wall-clock time (milliseconds since the epoch) of a moment on the monotonic clock, given
// that clock's reading now.
inline qint64 wallMsFor(qint64 monotonic, qint64 monotonicNow) {
    return QDateTime::currentMSecsSinceEpoch() - (monotonicNow - monotonic);
}

} // namespace scan_log
