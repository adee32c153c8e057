#pragma once

#include <QDateTime>
#include <QtGlobal>

#include <chrono>
#include <functional>

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
