#pragma once

#include <chrono>

// Seconds on a clock that never jumps; the close wait measures its deadline on it.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double seconds() const = 0;
};

class SteadyClock final : public Clock {
public:
    double seconds() const override {
        using namespace std::chrono;
        return duration<double>(steady_clock::now().time_since_epoch()).count();
    }
};
