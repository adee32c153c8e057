#pragma once

#include "base/clock.h"

#include <functional>
#include <optional>

// The program's clock as a test drives it: the monotonic clock (so that it agrees with the times
// a port stamps on bytes), moved on by a fixed step at every reading; or, once a test has set a
// time, standing at that time until the test or a step moves it.
class FakeClock {
public:
    qint64 stepPerReadingMs = 0;
    // Called with each reading before it is returned: how a test makes something happen at a
    // given moment of a wait.
    std::function<void(qint64)> atReading;

    // Stops the clock at `ms`; the returned time is the clock's to move.
    qint64& standAt(qint64 ms) {
        still_ = ms;
        return *still_;
    }

    qint64 read() {
        const qint64 value = still_ ? *still_ : base::monotonicMs() + aheadMs_;
        if (atReading)
            atReading(value);
        (still_ ? *still_ : aheadMs_) += stepPerReadingMs;
        return value;
    }

    // The clock to hand to the program; it reads this one, which must outlive it.
    base::MonotonicClock clock() {
        return [this] { return read(); };
    }

private:
    std::optional<qint64> still_;
    qint64 aheadMs_ = 0;
};
