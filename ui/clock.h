#pragma once

#include "base/clock.h"

namespace ui {

// Seconds on a clock that never jumps; the close wait measures its deadline on it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double seconds() const = 0;
};

class SteadyClock final : public Clock {
public:
    double seconds() const override { return static_cast<double>(base::monotonicMs()) / 1000.0; }
};

} // namespace ui
