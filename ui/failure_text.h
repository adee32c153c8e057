#pragma once

#include <QString>

namespace ui {

class Prompts;

// The description of the exception being handled, for the user: a refused port operation gives
// its own text, any other failure its message. Call only inside a catch block.
QString currentFailureText();

// Shows the text of a failure that escaped a handler in a warning box. A failure of the box itself
// is swallowed: nothing is left to report it with.
void reportEscapedFailure(Prompts& prompts, const QString& text);

// Runs a handler; a failure that escapes it is shown in a warning box and the program goes on.
template <typename Handler> void guarded(Prompts& prompts, Handler&& handler) {
    try {
        handler();
    } catch (...) {
        reportEscapedFailure(prompts, currentFailureText());
    }
}

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

} // namespace ui
