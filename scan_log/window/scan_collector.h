#pragma once

#include "base/clock.h"
#include "scan_log/model/keyboard_scans.h"
#include "scan_log/model/scan_splitter.h"
#include "scan_log/window/scan_log_model.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <deque>
#include <map>

#include <functional>
#include <optional>

namespace scan_log {

// Figures about the scans since the log was last cleared.
struct ScanStats {
    quint64 count = 0;
    quint64 problems = 0; // scans whose verdict is "problem"
    std::optional<qint64> shortestGapMs;
    std::optional<qint64> longestGapMs;
    qint64 firstMs = 0; // first byte of the first scan, monotonic
    qint64 lastMs = 0;  // first byte of the latest scan, monotonic

    // Average scans a minute from the first scan to the latest; none before two scans.
    std::optional<double> perMinute() const;
};

// Splits every received byte into scans from program start, whether or not the window is open,
// keeps them in the model as they complete, and shows them (publishes them to the model's views)
// at most a few times a second.
class ScanCollector final : public QObject {
    Q_OBJECT

public:
    // New rows reach the model this long after the first of them, when rows come seldom (a
    // person scanning): soon enough to feel immediate.
    static constexpr int PublishMs = 100;
    // While rows keep coming (a stream), they reach the model at most this often: every update
    // of a shown table repaints all its rows, and a few updates a second still read as live.
    static constexpr int SteadyPublishMs = 500;

    explicit ScanCollector(base::MonotonicClock clock = base::monotonicMs,
                           QObject* parent = nullptr);

    // Bytes as they arrived, with their arrival time on the monotonic clock.
    void receive(const QByteArray& bytes, qint64 msecs);
    // The port marked a line error (a break, a framing or parity error) before the next byte.
    void lineError();
    // The COM number the bytes come from from now on, for each scan's source.
    void setPortNumber(int number) { port_ = number; }
    // One key typed into the keyboard field: "\r" for Enter, "\t" for Tab, else its text, with
    // the window system's time of it (0: none, then now). A scan ends at Enter or Tab, after the
    // silence, or at the length limit.
    void receiveKeys(const QString& text, qint64 eventMs = 0);

    // A whole scan from a scanner that is no serial port (a point-of-sale scanner read through
    // its HID node), with the monotonic times of its first and last report and the name its
    // Source column gives.
    void receiveDeviceScan(const QByteArray& bytes, qint64 firstMs, qint64 lastMs,
                           const QString& device, bool cut = false);

    // One key from a scanner in keyboard mode read directly (not through the keyboard field), by
    // the name its Source column gives, with the kernel's time of it on the monotonic clock. Its
    // scans end as the keyboard field's do: at Enter or Tab, after the silence, at the limit.
    void receiveDeviceKey(const QString& device, const QString& text, qint64 monotonicMs);

    // Answers whether the device holds bytes not read yet. A silence ends a scan only when it
    // answers false: a program late in reading (a busy machine) is no pause of the line.
    void setBytesWaiting(std::function<bool()> waiting) { bytesWaiting_ = std::move(waiting); }

    // Called with every scan as it completes (its bytes with the terminator) and its times, for
    // a window that judges scans as they come; empty: none.
    using ScanListener = std::function<void(const ScanView&, const ScanTimes&)>;
    void setScanListener(ScanListener listener) { listener_ = std::move(listener); }

    // Called as each scan ends, once the log has it; answers whether a reply went out to it,
    // which the log then marks. Empty: none.
    using ReplyHook = std::function<bool(const ScanTimes&)>;
    void setReplyHook(ReplyHook hook) { replyHook_ = std::move(hook); }

    // The silence after which a scan without terminator ends, 5 to 2000 ms.
    void setSilenceMs(int ms);
    int silenceMs() const;

    // Empties the log and its figures; a scan still arriving goes on into the emptied log.
    void clear();

    ScanLogModel& model() { return model_; }
    const ScanStats& stats() const { return stats_; }

signals:
    // New rows reached the model (or the log was cleared); the figures changed with them.
    void changed();
    // A scan typed into the keyboard field ended.
    void keyboardScanEnded();

private:
    // Reads the monotonic clock and the wall clock, once for all scans of one read.
    void readClocks();
    void take(const ScanView& scan);
    void takeTyped(const TypedScan& typed);
    void takeWith(const ScanView& scan, ScanTimes times);
    void armKeySilence();
    void armDeviceKeySilence();
    void takeDeviceTyped(const QString& device, const TypedScan& typed);
    void armSilence();
    void silenceElapsed();
    void publish();

    base::MonotonicClock clock_;
    std::function<bool()> bytesWaiting_;
    ScanListener listener_;
    ReplyHook replyHook_;
    ScanSplitter splitter_;
    ScanLogModel model_;
    ScanStats stats_;
    std::optional<qint64> previousLastMs_;
    // When rows last reached the model, on the monotonic clock.
    std::optional<qint64> publishedMs_;
    // The clock's reading, and the wall-clock time less it, for the scans of one read.
    qint64 nowMs_ = 0;
    qint64 wallMinusMonotonicMs_ = 0;
    static constexpr qint64 ClockReadingSlackMs = 2;
    ScanSink take_;
    // Bytes fed to the splitter, and those of the scans it has completed: the errors at
    // offsets below the second belong to completed scans.
    quint64 fedBytes_ = 0;
    quint64 scannedBytes_ = 0;
    std::deque<quint64> errorOffsets_;
    KeyboardScans::Sink takeTyped_;
    KeyboardScans keys_;
    base::EventTimes keyTimes_;
    int port_ = 0;
    QTimer keySilence_;
    // Scanners in keyboard mode read directly, each its own scans, and the one timer that ends
    // their scans by silence.
    std::map<QString, KeyboardScans> deviceKeys_;
    QTimer deviceKeySilence_;
    // The last scans of scanners read directly: the keyboard field's copy of one is not logged.
    struct RecentScan {
        std::string bytes;
        qint64 lastMs = 0;
    };
    std::deque<RecentScan> recentDeviceScans_;
    static constexpr qint64 SameScanWithinMs = 1000;
    // One single-shot timer at the splitter's deadline: no polling while the line is quiet.
    QTimer silence_;
    QTimer frame_;
};

} // namespace scan_log
