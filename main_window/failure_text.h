#pragma once

#include <QString>

// The description of the exception being handled, for the user: a refused port operation gives
// its own text, any other failure its message. Call only inside a catch block.
QString currentFailureText();

// Runs one step of a handler that records failures and goes on: a failure replaces the recorded
// text and the next step runs. Returns whether the step succeeded.
template <typename Step> bool trapStep(QString& failure, Step&& step) {
    try {
        step();
        return true;
    } catch (...) {
        failure = currentFailureText();
        return false;
    }
}
