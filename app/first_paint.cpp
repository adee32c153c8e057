#include "app/first_paint.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <ctime>

#include <unistd.h>

namespace app {

namespace {

// Milliseconds since the kernel started this process. The kernel keeps the start in clock ticks,
// so the figure can read up to one tick (usually 10 ms) high.
double msSinceProcessStart() {
    std::FILE* stat = std::fopen("/proc/self/stat", "re");
    if (stat == nullptr)
        return -1;
    char text[1024] = {};
    const size_t length = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    text[length] = '\0';
    // Field 22, the start time; the fields after the command name, which may hold anything, are
    // counted from the ") " that ends it.
    const char* field = std::strrchr(text, ')');
    unsigned long long startTicks = 0;
    if (field == nullptr || std::sscanf(field + 2,
                                        "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u "
                                        "%*u %*u %*d %*d %*d %*d %*d %*d %llu",
                                        &startTicks) != 1)
        return -1;
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double startSeconds = double(startTicks) / double(sysconf(_SC_CLK_TCK));
    return (double(now.tv_sec) + double(now.tv_nsec) / 1e9 - startSeconds) * 1000;
}

} // namespace

bool FirstPaintReporter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == &window_) {
        QCoreApplication::instance()->removeEventFilter(this);
        // The frame reaches the screen when this paint pass ends; report from the next pass.
        QTimer::singleShot(0, this, [] {
            std::fprintf(stderr, "first-paint %.1f\n", msSinceProcessStart());
            std::fflush(stderr);
            if (qEnvironmentVariableIsSet("LINNET_QUIT_AFTER_MS"))
                QCoreApplication::quit();
        });
    }
    return false;
}

} // namespace app
