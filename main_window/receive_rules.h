#pragma once

#include <QString>

namespace main_window {

// What one port notification has to say: a line event for the status label, or an error for the
// error prompt. At most one of the two is set; both are empty for a send notification and for
// received characters, which the caller handles itself.
struct EventTexts {
    QString eventMessage;
    QString errorMessage;
};

EventTexts eventTextsFor(qint16 code);

} // namespace main_window
