#pragma once

#include <QString>

namespace bench {

// Workload sizes; a quick run shortens them all.
struct Workload {
    qint64 floodBytes = 16 << 20;
    int floodTimeoutMs = 90'000;
    int cpuSeconds = 30;
    int idleSeconds = 30;
    int idleScans = 100;
    int latencyStreamSeconds = 10;
    int inputLenSeconds = 10;
    qint64 unterminatedBytes = qint64(192) << 20;
    int searchNoiseSeconds = 40;
    int shortScans = 20'000;
    int floodKeys = 100'000;

    static Workload quick();
};

// One run's results, written on standard output one per line (fields separated by tabs) for the
// bench process that started the run.
class RunReport {
public:
    // A figure for a row of the table.
    void value(const char* row, double value);
    // The row's figure of this run is only a bound: the run stopped at its time-out.
    void partial(const char* row);
    // The port dropped received bytes in this run.
    void lossy(const char* row);
    // A figure that has no row of its own, shown under the table.
    void figure(const QString& name, double value);
    void note(const QString& text);
};

// Each runs one measurement in this process, on a fresh window and pseudo-terminal. A run is one
// process, so that memory figures start from a fresh start-up.
void runFloods(const Workload& workload, bool lines, bool random, RunReport& report);
void runLatency(const Workload& workload, bool underStream, unsigned seed, RunReport& report);
void runProcessor(const Workload& workload, bool stream, RunReport& report);
// Port open, nothing arriving, window shown (focused: the active window): processor time and
// wake-ups.
void runIdle(const Workload& workload, bool focused, RunReport& report);
void runInputLenOne(const Workload& workload, RunReport& report);
// Memory of the whole program under data that never ends a scan: resident size after start-up,
// after `unterminatedBytes` and after the Scan Log is cleared.
void runUnterminated(const Workload& workload, RunReport& report);
// Find Settings searching while random bytes arrive at 1 MB/s: memory and the longest time the
// window's thread was kept from its event loop.
void runSearchNoise(const Workload& workload, RunReport& report);
// Floods that the Tools windows take: 20,000 short scans with Test Codes open, and 100,000 keys
// into the Scan Log's keyboard field at once (Test Codes open too). The longest time the
// window's thread was kept from its event loop, and the memory they leave.
void runToolFloods(const Workload& workload, RunReport& report);
// The window's thread held: six scans 500 ms apart during 3 s of it (the gaps the Scan Log
// shows), and a 115,200-baud stream during 5 s of it (how long the far end was kept from
// writing, and whether every byte arrived).
void runHeld(const Workload& workload, RunReport& report);
// The Scan Log's pictures with 100,000 scans in their minute: a new scan published, the pictures
// refreshed and repainted, and the timeline's repaint alone.
void runPictures(const Workload& workload, RunReport& report);

} // namespace bench
