#pragma once

#include "ui/clock.h"

#include <functional>

// A clock that moves only when told to, or by a fixed step on every reading.
class FakeClock final : public ui::Clock {
public:
    mutable double now = 1000.0;
    double stepPerReading = 0.0;
    // Called with each reading before it is returned: how a test makes something happen at a
    // given moment of a wait.
    std::function<void(double)> atReading;
    double seconds() const override {
        const double value = now;
        if (atReading)
            atReading(value);
        now += stepPerReading;
        return value;
    }
};
