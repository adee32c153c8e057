#pragma once

#include "ui/clock.h"

// A clock that moves only when told to, or by a fixed step on every reading.
class FakeClock final : public Clock {
public:
    mutable double now = 1000.0;
    double stepPerReading = 0.0;
    double seconds() const override {
        const double value = now;
        now += stepPerReading;
        return value;
    }
};
