#pragma once

#include "port/port_control.h"

#include <QString>

#include <functional>
#include <optional>

// The failure of a refused port operation, or nothing when it was not refused.
inline std::optional<port::PortFailure> failureOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const port::PortFailure& failure) {
        return failure;
    }
    return std::nullopt;
}

// The description a refused operation gives, or an empty text when it was not refused.
inline QString refusal(const std::function<void()>& operation) {
    const std::optional<port::PortFailure> failure = failureOf(operation);
    return failure ? failure->description() : QString();
}
