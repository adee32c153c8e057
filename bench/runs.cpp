#include "runs.h"

#include "display_tracker.h"
#include "open_window.h"
#include "probes.h"
#include "pty_device.h"

#include "main_window/form1.h"
#include "port/port_control.h"
#include "scan_log/window/scan_charts.h"
#include "scan_log/window/scan_collector.h"
#include "scan_log/window/scan_log_model.h"
#include "scan_log/window/scan_log_window.h"
#include "scan_log/window/scan_pictures.h"
#include "test_codes/window/test_codes_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <thread>
#include <vector>

using namespace main_window;
using namespace port;

namespace bench {

namespace {

// 115,200 baud with 8N1 framing carries 11,520 bytes a second: 720 lines of 16 bytes.
constexpr int StreamLineSize = 16;
constexpr int StreamLinesPerSecond = 720;
constexpr int ScanSize = 20;

void progress(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

std::vector<PtyDevice::Item> streamItems(int seconds) {
    std::vector<PtyDevice::Item> items;
    const qint64 periodNs = 1'000'000'000 / StreamLinesPerSecond;
    for (qint64 i = 0; i < qint64(seconds) * StreamLinesPerSecond; ++i)
        items.push_back({i * periodNs, StreamLineSize});
    return items;
}

qint64 totalSize(const std::vector<PtyDevice::Item>& items) {
    qint64 total = 0;
    for (const PtyDevice::Item& item : items)
        total += item.size;
    return total;
}

void notePrompts(const QString& where, const OpenWindow& window, RunReport& report) {
    const QStringList prompts = window.prompts();
    if (prompts.isEmpty())
        return;
    report.note(QStringLiteral("%1: the window showed prompts, the first: \"%2\"")
                    .arg(where, prompts.front()));
    report.figure(QStringLiteral("%1: prompts shown").arg(where), double(prompts.size()));
}

// Makes the window the active one. Without a window manager (Xvfb) the window system may ignore
// the request; xdotool then gives the window the input focus as a person's click would.
bool activate(QWidget& window) {
    window.activateWindow();
    window.raise();
    if (pollUntil([&] { return window.isActiveWindow(); }, 1000, 10))
        return true;
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    QProcess::execute(
        QStringLiteral("xdotool"),
        {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::number(window.winId())});
    return pollUntil([&] { return window.isActiveWindow(); }, 2000, 10);
}

} // namespace

Workload Workload::quick() {
    Workload workload;
    workload.floodBytes = 2 << 20;
    workload.floodTimeoutMs = 30'000;
    workload.cpuSeconds = 5;
    workload.idleSeconds = 5;
    workload.idleScans = 30;
    workload.latencyStreamSeconds = 3;
    workload.inputLenSeconds = 3;
    workload.unterminatedBytes = qint64(32) << 20;
    workload.searchNoiseSeconds = 5;
    workload.shortScans = 5'000;
    workload.floodKeys = 20'000;
    return workload;
}

void RunReport::value(const char* row, double value) {
    std::printf("value\t%s\t%.17g\n", row, value);
    std::fflush(stdout);
}

void RunReport::partial(const char* row) {
    std::printf("partial\t%s\n", row);
    std::fflush(stdout);
}

void RunReport::lossy(const char* row) {
    std::printf("lossy\t%s\n", row);
    std::fflush(stdout);
}

void RunReport::figure(const QString& name, double value) {
    std::printf("figure\t%s\t%.17g\n", qPrintable(name), value);
    std::fflush(stdout);
}

void RunReport::note(const QString& text) {
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    std::printf("note\t%s\n", qPrintable(line));
    std::fflush(stdout);
}

void runFloods(const Workload& workload, bool lines, bool random, RunReport& report) {
    struct Kind {
        const char* id;
        PtyDevice::Payload payload;
    };
    std::vector<Kind> kinds;
    if (lines)
        kinds.push_back({"flood-lines", PtyDevice::Payload::BarcodeLines});
    if (random)
        kinds.push_back({"flood-random", PtyDevice::Payload::RandomBytes});
    const qint64 total = workload.floodBytes;

    OpenWindow window;
    const Memory before = readMemory();
    double blockedMs = 0;
    for (const Kind& kind : kinds) {
        DisplayTracker tracker(window.form(), true);
        Heartbeat heartbeat;
        heartbeat.start();
        window.device().startFlood(total, kind.payload);
        bool unpainted = false;
        // Bytes the port dropped never reach the screen; the flood ends when the rest has.
        const auto done = [&] {
            const qint64 expected = total - tracker.dropped();
            if (tracker.shown() >= expected)
                return true;
            // A view that refreshed with the last byte but painted nothing for a while: its
            // refresh is taken as the frame.
            if (tracker.refreshed() >= expected &&
                nowNs() - tracker.refreshedAtNs() > 500'000'000) {
                tracker.acceptRefreshedAsShown();
                unpainted = true;
                return true;
            }
            return false;
        };
        const bool finished = runUntil(done, tracker, workload.floodTimeoutMs, 100);
        heartbeat.stop();
        const qint64 first = window.device().firstWriteNs();
        // Over the bytes that passed through Input; dropped bytes mark the row instead.
        double rate = 0;
        if (finished) {
            rate = double(tracker.counted()) / 1e6 / (double(tracker.shownAtNs() - first) / 1e9);
        } else {
            const qint64 now = nowNs();
            window.device().stop();
            rate = double(tracker.counted()) / 1e6 / (double(now - first) / 1e9);
            report.partial(kind.id);
            report.note(QStringLiteral("%1: stopped after %2 s with %3 of %4 bytes taken through "
                                       "Input; the figure is the rate until then")
                            .arg(QLatin1String(kind.id))
                            .arg(workload.floodTimeoutMs / 1000)
                            .arg(tracker.counted())
                            .arg(total));
        }
        window.device().join();
        report.value(kind.id, rate);
        if (tracker.dropped() > 0) {
            report.lossy(kind.id);
            report.note(QStringLiteral("%1: the port dropped received bytes (its input buffer was "
                                       "full)")
                            .arg(QLatin1String(kind.id)));
        }
        report.figure(QStringLiteral("%1: bytes dropped by the port").arg(QLatin1String(kind.id)),
                      double(tracker.dropped()));
        if (!window.device().failure().isEmpty())
            report.note(
                QStringLiteral("%1: %2").arg(QLatin1String(kind.id), window.device().failure()));
        if (unpainted)
            report.note(QStringLiteral("%1: ended on a refresh that was never painted")
                            .arg(QLatin1String(kind.id)));
        report.note(tracker.bounded()
                        ? QStringLiteral("%1: both views stayed within 16,383 characters plus "
                                         "the block just added")
                              .arg(QLatin1String(kind.id))
                        : QStringLiteral("%1: a view grew past 16,383 characters plus the block "
                                         "just added")
                              .arg(QLatin1String(kind.id)));
        report.figure(QStringLiteral("%1: UI thread blocked (ms)").arg(QLatin1String(kind.id)),
                      heartbeat.maxLatenessMs());
        report.figure(QStringLiteral("%1: Receive notifications").arg(QLatin1String(kind.id)),
                      tracker.receiveNotifications());
        report.figure(
            QStringLiteral("%1: longest text view (characters)").arg(QLatin1String(kind.id)),
            tracker.maxTermLength());
        report.figure(
            QStringLiteral("%1: longest hexadecimal view (characters)").arg(QLatin1String(kind.id)),
            tracker.maxHexLength());
        blockedMs = std::max(blockedMs, heartbeat.maxLatenessMs());
        progress(QStringLiteral("%1: %2 MB/s, UI blocked up to %3 ms, %4 Receive notifications")
                     .arg(QLatin1String(kind.id))
                     .arg(rate, 0, 'f', 2)
                     .arg(heartbeat.maxLatenessMs(), 0, 'f', 1)
                     .arg(tracker.receiveNotifications()));
    }
    const Memory after = readMemory();
    report.value("blocked", blockedMs);
    report.value("peak-rss", after.peakMiB);
    report.value("rss-growth", after.rssMiB - before.rssMiB);
    report.figure(QStringLiteral("resident memory after start-up (MiB)"), before.rssMiB);
    progress(QStringLiteral("memory: %1 MiB after start-up, %2 MiB after the floods, peak %3 MiB")
                 .arg(before.rssMiB, 0, 'f', 1)
                 .arg(after.rssMiB, 0, 'f', 1)
                 .arg(after.peakMiB, 0, 'f', 1));
    notePrompts(QStringLiteral("floods"), window, report);
}

void runLatency(const Workload& workload, bool underStream, unsigned seed, RunReport& report) {
    const char* id = underStream ? "latency-stream" : "latency-idle";
    std::vector<PtyDevice::Item> items;
    if (underStream) {
        items = streamItems(workload.latencyStreamSeconds);
    } else {
        // Scans 60 to 100 ms apart, at times unrelated to the window's frames.
        std::mt19937 random(seed);
        std::uniform_int_distribution<qint64> gapNs(60'000'000, 100'000'000);
        qint64 at = 0;
        for (int i = 0; i < workload.idleScans; ++i) {
            at += gapNs(random);
            items.push_back({at, ScanSize});
        }
    }
    const size_t count = items.size();
    const qint64 durationMs = items.back().atNs / 1'000'000;

    OpenWindow window;
    DisplayTracker tracker(window.form(), true);
    tracker.followItems(window.device());
    runFor(300);
    window.device().startSchedule(std::move(items));
    int fallbacks = 0;
    const auto done = [&] {
        if (tracker.latenciesMs().size() >= count)
            return true;
        // A refresh that no paint followed: taken as the frame, and counted.
        if (tracker.refreshed() > tracker.shown() &&
            nowNs() - tracker.refreshedAtNs() > 200'000'000) {
            tracker.acceptRefreshedAsShown();
            ++fallbacks;
        }
        return tracker.latenciesMs().size() >= count;
    };
    runUntil(done, tracker, int(durationMs) + 30'000, 100);
    window.device().join();
    const std::vector<double>& latencies = tracker.latenciesMs();
    if (latencies.size() < count) {
        report.partial(id);
        report.note(QStringLiteral("%1: only %2 of %3 writes were shown")
                        .arg(QLatin1String(id))
                        .arg(latencies.size())
                        .arg(count));
    }
    if (fallbacks > 0)
        report.note(QStringLiteral("%1: a refresh was never painted and was taken as the frame")
                        .arg(QLatin1String(id)));
    const double p99 = percentile(latencies, 0.99);
    report.value(id, p99);
    report.figure(QStringLiteral("%1: median (ms)").arg(QLatin1String(id)), median(latencies));
    report.figure(QStringLiteral("%1: max (ms)").arg(QLatin1String(id)),
                  percentile(latencies, 1.0));
    progress(QStringLiteral("%1: p50 %2 ms, p99 %3 ms, max %4 ms over %5 writes")
                 .arg(QLatin1String(id))
                 .arg(median(latencies), 0, 'f', 2)
                 .arg(p99, 0, 'f', 2)
                 .arg(percentile(latencies, 1.0), 0, 'f', 2)
                 .arg(latencies.size()));
    notePrompts(QLatin1String(id), window, report);
}

void runProcessor(const Workload& workload, bool stream, RunReport& report) {
    const char* id = stream ? "cpu-stream" : "cpu-scans";
    const int seconds = workload.cpuSeconds;
    std::vector<PtyDevice::Item> items;
    if (stream) {
        items = streamItems(seconds);
    } else {
        for (int i = 0; i < seconds * 10; ++i)
            items.push_back({qint64(i) * 100'000'000, ScanSize});
    }
    const qint64 total = totalSize(items);

    OpenWindow window;
    // Frames are not watched here: that would add its own cost to what is measured.
    DisplayTracker tracker(window.form(), false);
    runFor(500);
    const qint64 cpuStart = processCpuNs();
    const qint64 wakeUpsStart = readContextSwitches().voluntary;
    const qint64 start = nowNs();
    window.device().startSchedule(std::move(items));
    const bool finished =
        runUntil([&] { return tracker.counted() >= total; }, tracker, (seconds + 30) * 1000);
    const qint64 end = nowNs();
    const qint64 cpuEnd = processCpuNs();
    const qint64 wakeUpsEnd = readContextSwitches().voluntary;
    window.device().stop();
    // The writer thread plays the device; its time is not the program's.
    const double percent =
        double(cpuEnd - cpuStart - window.device().writerCpuNs()) / double(end - start) * 100;
    report.value(id, percent);
    if (!finished) {
        report.partial(id);
        report.note(QStringLiteral("%1: the program did not take every byte in time (%2 of %3)")
                        .arg(QLatin1String(id))
                        .arg(tracker.counted())
                        .arg(total));
    }
    const double wallSeconds = double(end - start) / 1e9;
    report.figure(QStringLiteral("%1: Receive notifications a second").arg(QLatin1String(id)),
                  tracker.receiveNotifications() / wallSeconds);
    report.figure(QStringLiteral("%1: view refreshes a second").arg(QLatin1String(id)),
                  (tracker.refreshes(0) + tracker.refreshes(1)) / 2 / wallSeconds);
    const double wakeUps =
        double(wakeUpsEnd - wakeUpsStart - window.device().writerWakeUps()) / wallSeconds;
    report.figure(QStringLiteral("%1: wake-ups a second").arg(QLatin1String(id)), wakeUps);
    progress(QStringLiteral("%1: %2 % of a core over %3 s, %4 Receive notifications, %5 / %6 "
                            "view refreshes, %7 wake-ups a second")
                 .arg(QLatin1String(id))
                 .arg(percent, 0, 'f', 3)
                 .arg(wallSeconds, 0, 'f', 1)
                 .arg(tracker.receiveNotifications())
                 .arg(tracker.refreshes(0))
                 .arg(tracker.refreshes(1))
                 .arg(wakeUps, 0, 'f', 1));
    notePrompts(QLatin1String(id), window, report);
}

void runIdle(const Workload& workload, bool focused, RunReport& report) {
    const char* cpuId = focused ? "idle-focused-cpu" : "idle-cpu";
    const char* wakeUpsId = focused ? "idle-focused-wakeups" : "idle-wakeups";
    const QString where = focused ? QStringLiteral("idle, focused") : QStringLiteral("idle");
    OpenWindow window;
    QWidget& form = window.form();
    if (focused && !activate(form)) {
        report.note(QStringLiteral("%1: the window could not be made active").arg(where));
        return;
    }
    // Let what opening the port and focusing started (the first frames, a tool tip timer) end.
    runFor(1000);
    const QWidget* focus = QApplication::focusWidget();
    const qint64 cpuStart = processCpuNs();
    const ContextSwitches switchesStart = readContextSwitches();
    const qint64 start = nowNs();
    runFor(workload.idleSeconds * 1000);
    const qint64 end = nowNs();
    const qint64 cpuEnd = processCpuNs();
    const ContextSwitches switchesEnd = readContextSwitches();
    const double seconds = double(end - start) / 1e9;
    const double percent = double(cpuEnd - cpuStart) / double(end - start) * 100;
    // The timer that ends the wait wakes the program once; that one is the bench's.
    const double wakeUps = double(switchesEnd.voluntary - switchesStart.voluntary - 1) / seconds;
    report.value(cpuId, percent);
    report.value(wakeUpsId, wakeUps);
    report.figure(QStringLiteral("%1: involuntary context switches a second").arg(where),
                  double(switchesEnd.involuntary - switchesStart.involuntary) / seconds);
    if (focused)
        report.note(QStringLiteral("%1: the window was active, the focus on %2")
                        .arg(where, focus ? QString::fromUtf8(focus->metaObject()->className()) +
                                                QLatin1Char(' ') + focus->objectName()
                                          : QStringLiteral("nothing")));
    progress(QStringLiteral("%1: %2 % of a core, %3 wake-ups a second over %4 s")
                 .arg(where)
                 .arg(percent, 0, 'f', 4)
                 .arg(wakeUps, 0, 'f', 2)
                 .arg(seconds, 0, 'f', 1));
    notePrompts(where, window, report);
}

void runInputLenOne(const Workload& workload, RunReport& report) {
    const int seconds = workload.inputLenSeconds;
    std::vector<PtyDevice::Item> items = streamItems(seconds);
    const qint64 total = totalSize(items);
    OpenWindow window;
    window.form().MSComm1().setInputLen(1);
    DisplayTracker tracker(window.form(), false);
    runFor(300);
    window.device().startSchedule(std::move(items));
    const bool finished =
        runUntil([&] { return tracker.counted() >= total; }, tracker, (seconds + 60) * 1000);
    window.device().stop();
    report.value("inputlen1", tracker.maxWaiting());
    if (!finished) {
        report.partial("inputlen1");
        report.note(QStringLiteral("inputlen1: the program had taken %1 of %2 bytes a minute "
                                   "after the stream ended")
                        .arg(tracker.counted())
                        .arg(total));
    }
    progress(QStringLiteral("inputlen1: at most %1 characters waiting, %2 Receive notifications")
                 .arg(tracker.maxWaiting())
                 .arg(tracker.receiveNotifications()));
    notePrompts(QStringLiteral("inputlen1"), window, report);
}

} // namespace bench

namespace bench {

void runUnterminated(const Workload& workload, RunReport& report) {
    OpenWindow window;
    // The whole program: every window that keeps something of the scans is open.
    window.form().MScanLog_Click();
    window.form().MTestCodes_Click();
    runFor(300);
    const Memory before = readMemory();
    const qint64 total = workload.unterminatedBytes;
    DisplayTracker tracker(window.form(), true);
    window.device().startFlood(total, PtyDevice::Payload::Unterminated);
    const bool finished = runUntil([&] { return tracker.counted() + tracker.dropped() >= total; },
                                   tracker, 600'000, 100);
    window.device().join();
    runFor(1000); // the log publishes what it staged
    const Memory after = readMemory();
    window.form().scanLog().clear();
    window.form().cmdClear_Click();
    runFor(500);
    const Memory cleared = readMemory();
    if (!finished)
        report.note(QStringLiteral("unterminated: stopped before every byte was taken"));
    report.value("unterminated-growth", after.rssMiB - before.rssMiB);
    report.figure(QStringLiteral("unterminated: resident after start-up (MiB)"), before.rssMiB);
    report.figure(QStringLiteral("unterminated: resident after the data (MiB)"), after.rssMiB);
    report.figure(QStringLiteral("unterminated: resident after Clear (MiB)"), cleared.rssMiB);
    report.figure(QStringLiteral("unterminated: peak resident (MiB)"), after.peakMiB);
    progress(QStringLiteral("unterminated: %1 MiB after start-up, %2 MiB after %3 MiB of data, "
                            "%4 MiB after Clear, peak %5 MiB")
                 .arg(before.rssMiB, 0, 'f', 1)
                 .arg(after.rssMiB, 0, 'f', 1)
                 .arg(double(total) / (1 << 20), 0, 'f', 0)
                 .arg(cleared.rssMiB, 0, 'f', 1)
                 .arg(after.peakMiB, 0, 'f', 1));
}

void runSearchNoise(const Workload& workload, RunReport& report) {
    OpenWindow window;
    window.form().MFindSettings_Click();
    auto* search = window.form().findChild<QWidget*>(QStringLiteral("FindSettings"));
    auto* start = search->findChild<QPushButton*>(QStringLiteral("FindStart"));
    runFor(300);
    const Memory before = readMemory();
    Heartbeat heartbeat;
    heartbeat.start();
    start->click();
    constexpr qint64 Rate = 1'000'000;
    const qint64 total = Rate * workload.searchNoiseSeconds;
    DisplayTracker tracker(window.form(), true);
    window.device().startFlood(total, PtyDevice::Payload::RandomBytes, Rate);
    runUntil([&] { return window.device().bytesWritten() >= total; }, tracker,
             (workload.searchNoiseSeconds + 30) * 1000, 100);
    window.device().join();
    runFor(1000);
    heartbeat.stop();
    const Memory after = readMemory();
    const auto* status = search->findChild<QLabel*>(QStringLiteral("FindStatus"));
    report.value("search-noise-growth", after.rssMiB - before.rssMiB);
    report.figure(QStringLiteral("search noise: resident before (MiB)"), before.rssMiB);
    report.figure(QStringLiteral("search noise: resident after (MiB)"), after.rssMiB);
    report.figure(QStringLiteral("search noise: UI thread blocked (ms)"),
                  heartbeat.maxLatenessMs());
    report.note(QStringLiteral("search noise: the search ended \"%1\"").arg(status->text()));
    progress(QStringLiteral("search noise: %1 MiB before, %2 MiB after %3 s at 1 MB/s, UI blocked "
                            "up to %4 ms; %5")
                 .arg(before.rssMiB, 0, 'f', 1)
                 .arg(after.rssMiB, 0, 'f', 1)
                 .arg(workload.searchNoiseSeconds)
                 .arg(heartbeat.maxLatenessMs(), 0, 'f', 1)
                 .arg(status->text()));
}

void runToolFloods(const Workload& workload, RunReport& report) {
    OpenWindow window;
    window.form().MScanLog_Click();
    window.form().MTestCodes_Click();
    test_codes::TestCodesWindow& codes = *window.form().testCodesWindow();
    runFor(300);
    const Memory before = readMemory();

    Heartbeat scansBeat;
    scansBeat.start();
    const qint64 total = qint64(workload.shortScans) * 4;
    DisplayTracker tracker(window.form(), true);
    window.device().startFlood(total, PtyDevice::Payload::ShortScans);
    const qint64 scansStart = nowNs();
    runUntil([&] { return tracker.counted() >= total && codes.waiting() == 0; }, tracker, 120'000,
             50);
    const double scansSeconds = double(nowNs() - scansStart) / 1e9;
    window.device().join();
    runFor(200);
    scansBeat.stop();
    report.value("testcodes-flood-blocked", scansBeat.maxLatenessMs());
    report.figure(QStringLiteral("%1 short scans with Test Codes open: seconds until all were "
                                 "judged")
                      .arg(workload.shortScans),
                  scansSeconds);

    // Keys as a window system hands over a burst: all queued before the loop gets to them.
    auto* field =
        window.form().scanLogWindow()->findChild<QWidget*>(QStringLiteral("KeyboardScan"));
    field->setFocus();
    Heartbeat keysBeat;
    keysBeat.start();
    const qint64 keysStart = nowNs();
    for (int i = 0; i < workload.floodKeys; ++i)
        QCoreApplication::postEvent(
            field, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
    runFor(1500);
    keysBeat.stop();
    const double keysSeconds = double(nowNs() - keysStart) / 1e9;
    const Memory after = readMemory();
    report.value("keys-flood-blocked", keysBeat.maxLatenessMs());
    report.figure(QStringLiteral("tool floods: resident growth (MiB)"),
                  after.rssMiB - before.rssMiB);
    progress(QStringLiteral("tool floods: %1 short scans judged in %2 s, UI blocked up to %3 ms; "
                            "%4 keys, UI blocked up to %5 ms (%6 s in all); resident %7 -> %8 MiB")
                 .arg(workload.shortScans)
                 .arg(scansSeconds, 0, 'f', 2)
                 .arg(scansBeat.maxLatenessMs(), 0, 'f', 1)
                 .arg(workload.floodKeys)
                 .arg(keysBeat.maxLatenessMs(), 0, 'f', 1)
                 .arg(keysSeconds, 0, 'f', 2)
                 .arg(before.rssMiB, 0, 'f', 1)
                 .arg(after.rssMiB, 0, 'f', 1));
}

} // namespace bench

namespace bench {

void runHeld(const Workload& workload, RunReport& report) {
    (void)workload;
    // Six scans 500 ms apart while the window's thread is held for 3 s: the gaps the Scan Log
    // shows are those of the line.
    {
        OpenWindow window;
        scan_log::ScanCollector& log = window.form().scanLog();
        runFor(300);
        std::vector<PtyDevice::Item> items;
        for (int i = 0; i < 6; ++i)
            items.push_back({qint64(i) * 500'000'000, ScanSize});
        window.device().startSchedule(std::move(items));
        std::this_thread::sleep_for(std::chrono::seconds(3));
        pollUntil([&] { return log.stats().count >= 6; }, 10'000, 20);
        window.device().join();
        const scan_log::ScanStats& stats = log.stats();
        const double shortest = double(stats.shortestGapMs.value_or(0));
        const double longest = double(stats.longestGapMs.value_or(0));
        report.value("held-gaps", std::max(std::abs(500 - shortest), std::abs(longest - 500)));
        report.figure(QStringLiteral("held: scans logged"), double(stats.count));
        report.figure(QStringLiteral("held: shortest gap (ms)"), shortest);
        report.figure(QStringLiteral("held: longest gap (ms)"), longest);
        progress(QStringLiteral("held: %1 scans, gaps %2 to %3 ms")
                     .arg(stats.count)
                     .arg(shortest)
                     .arg(longest));
    }
    // A 115,200-baud stream for 8 s with the window's thread held for 5 s in the middle: how
    // long the far end was kept from writing, and whether every byte arrived.
    {
        OpenWindow window;
        scan_log::ScanCollector& log = window.form().scanLog();
        DisplayTracker tracker(window.form(), false);
        runFor(300);
        std::vector<PtyDevice::Item> items = streamItems(8);
        const qint64 total = totalSize(items);
        const size_t count = items.size();
        std::vector<qint64> due;
        for (const PtyDevice::Item& item : items)
            due.push_back(item.atNs);
        window.device().startSchedule(std::move(items));
        runFor(1500);
        std::this_thread::sleep_for(std::chrono::seconds(5));
        pollUntil([&] { return tracker.counted() >= total && log.stats().count >= count; }, 30'000,
                  20);
        window.device().join();
        qint64 heldNs = 0;
        const qint64 start = window.device().itemWriteNs(0) - due[0];
        for (size_t i = 0; i < window.device().itemsStarted(); ++i)
            heldNs = std::max(heldNs, window.device().itemWriteNs(i) - (start + due[i]));
        report.value("held-writer", double(heldNs) / 1e6);
        report.value("held-lost", double(total - tracker.counted()));
        report.figure(QStringLiteral("held stream: scans logged of %1").arg(count),
                      double(log.stats().count));
        progress(QStringLiteral("held stream: writer held %1 ms at most, %2 of %3 bytes shown, "
                                "%4 of %5 scans logged")
                     .arg(double(heldNs) / 1e6, 0, 'f', 1)
                     .arg(tracker.counted())
                     .arg(total)
                     .arg(log.stats().count)
                     .arg(count));
        notePrompts(QStringLiteral("held"), window, report);
    }
}

} // namespace bench

namespace bench {

void runPictures(const Workload& workload, RunReport& report) {
    (void)workload;
    // 100,000 scans 0.5 ms apart, so that all of them fall in the minute the pictures show; one
    // in ten a problem, one in ten unknown.
    scan_log::ScanLogModel model;
    qint64 at = 1'000'000'000;
    int made = 0;
    const auto stageOne = [&] {
        scan_log::ScanTimes times;
        times.wallMs = at + made / 2;
        times.gapMs = 100 + (made * 7919) % 900; // spread, as a histogram meets them
        times.durationMs = 2 + made % 30;
        times.verdict = made % 10 == 0   ? scan_log::ScanVerdict::Problem
                        : made % 10 == 1 ? scan_log::ScanVerdict::Unknown
                                         : scan_log::ScanVerdict::Good;
        model.stage("4006381333931\r", false, times);
        ++made;
    };
    for (std::size_t i = 0; i < scan_log::ScanLogModel::MaxRows; ++i)
        stageOne();
    model.publish();
    scan_log::ScanPictures pictures(model);
    pictures.resize(1400, 120);
    pictures.show();
    runFor(300);
    std::vector<double> updates, repaints;
    for (int i = 0; i < 40; ++i) {
        stageOne();
        const qint64 start = nowNs();
        model.publish();
        pictures.refresh();
        pictures.timeline().repaint();
        pictures.histogram().repaint();
        updates.push_back(double(nowNs() - start) / 1e6);
        const qint64 paintStart = nowNs();
        pictures.timeline().repaint();
        repaints.push_back(double(nowNs() - paintStart) / 1e6);
    }
    report.value("pictures-repaint", percentile(repaints, 0.95));
    report.value("pictures-update", percentile(updates, 0.95));
    progress(QStringLiteral("pictures: %1 scans in the minute; timeline repaint median %2 ms, "
                            "p95 %3 ms; new scan to repainted pictures median %4 ms, p95 %5 ms")
                 .arg(model.rowCount())
                 .arg(median(repaints), 0, 'f', 2)
                 .arg(percentile(repaints, 0.95), 0, 'f', 2)
                 .arg(median(updates), 0, 'f', 2)
                 .arg(percentile(updates, 0.95), 0, 'f', 2));
}

} // namespace bench
