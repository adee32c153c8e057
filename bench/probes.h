#pragma once

#include <QObject>
#include <QTimer>

#include <vector>

namespace bench {

// Nanoseconds on the monotonic clock; every timestamp of the bench, on every thread, uses it.
qint64 nowNs();

// Processor time (user + system) of the whole process, and of the calling thread only.
qint64 processCpuNs();
qint64 threadCpuNs();

// Times the threads of this process went to sleep and were woken again (voluntary context
// switches), and how often they were taken off a core while they still had work (involuntary
// ones, which other work on the machine causes). A thread with nothing to do sleeps, so each
// wake-up is one voluntary switch. These are the counters /proc/self/task/*/status shows, summed
// over every thread of the process, those that have ended included (getrusage).
struct ContextSwitches {
    qint64 voluntary = 0;
    qint64 involuntary = 0;
};
ContextSwitches readContextSwitches();
// The same for the calling thread only.
ContextSwitches threadContextSwitches();

struct Memory {
    double rssMiB = 0;  // resident now (VmRSS)
    double peakMiB = 0; // highest resident since start or since resetPeakMemory (VmHWM)
};
Memory readMemory();
// Starts a new peak from the current resident size; false when the kernel refuses.
bool resetPeakMemory();

double median(std::vector<double> values);
// The value below which the given fraction of the values lie (nearest rank).
double percentile(std::vector<double> values, double fraction);

// A 10 ms timer on the user-interface thread; how late it fires shows how long that thread was
// kept from its event loop.
class Heartbeat : public QObject {
public:
    static constexpr int IntervalMs = 10;

    Heartbeat();
    void start();
    void stop();
    // Longest delay beyond the interval between two beats, in milliseconds.
    double maxLatenessMs() const { return maxLatenessMs_; }

private:
    void beat();

    QTimer timer_;
    qint64 lastNs_ = 0;
    double maxLatenessMs_ = 0;
};

} // namespace bench
