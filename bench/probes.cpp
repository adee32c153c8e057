#include "probes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <sys/resource.h>

namespace bench {

qint64 nowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

namespace {

qint64 cpuNs(int who) {
    rusage usage{};
    if (getrusage(who, &usage) != 0)
        return 0;
    const auto ns = [](const timeval& t) {
        return qint64(t.tv_sec) * 1'000'000'000 + qint64(t.tv_usec) * 1000;
    };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

} // namespace

qint64 processCpuNs() {
    return cpuNs(RUSAGE_SELF);
}

qint64 threadCpuNs() {
    return cpuNs(RUSAGE_THREAD);
}

namespace {

ContextSwitches switches(int who) {
    rusage usage{};
    if (getrusage(who, &usage) != 0)
        return {};
    return {usage.ru_nvcsw, usage.ru_nivcsw};
}

} // namespace

ContextSwitches readContextSwitches() {
    return switches(RUSAGE_SELF);
}

ContextSwitches threadContextSwitches() {
    return switches(RUSAGE_THREAD);
}

Memory readMemory() {
    Memory memory;
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr)
        return memory;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        long kib = 0;
        if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1)
            memory.rssMiB = double(kib) / 1024;
        else if (std::sscanf(line, "VmHWM: %ld kB", &kib) == 1)
            memory.peakMiB = double(kib) / 1024;
    }
    std::fclose(status);
    return memory;
}

bool resetPeakMemory() {
    std::FILE* refs = std::fopen("/proc/self/clear_refs", "we");
    if (refs == nullptr)
        return false;
    // "5" resets the peak resident size to the current one.
    const bool written = std::fputs("5", refs) >= 0;
    return std::fclose(refs) == 0 && written;
}

double median(std::vector<double> values) {
    if (values.empty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const auto rank = size_t(std::ceil(fraction * double(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

Heartbeat::Heartbeat() {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(IntervalMs);
    connect(&timer_, &QTimer::timeout, this, &Heartbeat::beat);
}

void Heartbeat::start() {
    maxLatenessMs_ = 0;
    lastNs_ = nowNs();
    timer_.start();
}

void Heartbeat::stop() {
    timer_.stop();
}

void Heartbeat::beat() {
    const qint64 now = nowNs();
    const double lateMs = double(now - lastNs_) / 1e6 - IntervalMs;
    maxLatenessMs_ = std::max(maxLatenessMs_, lateMs);
    lastNs_ = now;
}

} // namespace bench
