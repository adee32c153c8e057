#include "main_window/form1.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <unistd.h>

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

// For start-up measurements: LINNET_REPORT_FIRST_PAINT prints "first-paint <ms since the process
// started>" on stderr once the main window has painted its first frame, and then quits when
// LINNET_QUIT_AFTER_MS is set too.
class FirstPaintReporter : public QObject {
public:
    explicit FirstPaintReporter(QWidget& window) : window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window() == &window_) {
            qApp->removeEventFilter(this);
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

private:
    QWidget& window_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Linnet-Test"));
    QApplication::setApplicationVersion(QStringLiteral(LINNET_VERSION));
    Form1 form;
    FirstPaintReporter firstPaint(form);
    if (qEnvironmentVariableIsSet("LINNET_REPORT_FIRST_PAINT"))
        app.installEventFilter(&firstPaint);
    form.show();
    // For packaging checks: LINNET_QUIT_AFTER_MS=<n> quits n milliseconds after the window shows.
    bool quitAfterSet = false;
    const int quitAfterMs = qEnvironmentVariableIntValue("LINNET_QUIT_AFTER_MS", &quitAfterSet);
    if (quitAfterSet)
        QTimer::singleShot(std::max(0, quitAfterMs), &app, &QCoreApplication::quit);
    return QApplication::exec();
}
