#pragma once

#include <QString>

#include <optional>

namespace bench {

struct StartupSample {
    // From just before exec to the program's "first-paint" line on its standard error.
    double toFirstPaintMs = 0;
    // What the program itself reported: since the kernel started the process.
    double reportedMs = 0;
};

// Starts the real program once with LINNET_REPORT_FIRST_PAINT and LINNET_QUIT_AFTER_MS set, on
// the X display in DISPLAY, and times it until its window has painted for the first time.
// Throws std::runtime_error when the program did not report a first paint.
StartupSample measureStartupOnce(const QString& program);

} // namespace bench
