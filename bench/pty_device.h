#pragma once

#include "pty/pseudo_terminal.h"

#include <QString>

#include <atomic>
#include <thread>
#include <vector>

namespace bench {

// The far end of a serial device: a pseudo-terminal whose device side the program opens, and a
// writer thread that plays the device on the master side. Only one writing job runs at a time.
//
// The master is non-blocking; the writer waits in poll() while the device side is full, so a job
// can be stopped at any moment.
class PtyDevice {
public:
    enum class Payload {
        BarcodeLines, // digits ended by CR LF, one line per item or 16 bytes per line in a flood
        RandomBytes,  // every byte value, CR, LF and backspace included
        Unterminated, // letters and digits, never CR, LF or TAB: scans end only at their length
        ShortScans,   // "12" and CR LF again and again: a scan every four bytes
    };

    // One write: when (relative to the start of the job) and how many bytes.
    struct Item {
        qint64 atNs = 0;
        int size = 0;
    };

    PtyDevice();
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    QString devicePath() const { return devicePath_; }

    // Writes totalBytes as fast as the device side takes them, or at most `bytesPerSecond`
    // (0: no limit).
    void startFlood(qint64 totalBytes, Payload payload, qint64 bytesPerSecond = 0);
    // Writes each item at its time as one barcode line: size - 2 digits and CR LF.
    void startSchedule(std::vector<Item> items);
    // Asks a running job to stop and waits for the thread.
    void stop();
    // Waits for the job to end.
    void join();

    // While or after a job runs (any thread).
    qint64 firstWriteNs() const { return firstWriteNs_.load(std::memory_order_acquire); }
    qint64 bytesWritten() const { return bytesWritten_.load(std::memory_order_acquire); }
    // Items whose write has begun; the times and ends of those may be read.
    size_t itemsStarted() const { return itemsStarted_.load(std::memory_order_acquire); }
    qint64 itemWriteNs(size_t index) const { return itemWriteNs_[index]; }
    // Offset just past the item's last byte, counted from the start of the job.
    qint64 itemEnd(size_t index) const { return itemEnd_[index]; }
    // After join: processor time of the writer thread, and what went wrong (empty when nothing).
    qint64 writerCpuNs() const { return writerCpuNs_; }
    // After join: how often the writer thread slept and was woken (voluntary context switches).
    qint64 writerWakeUps() const { return writerWakeUps_; }
    QString failure() const { return failure_; }

private:
    void resetJob();
    void runFlood(qint64 totalBytes, Payload payload, qint64 bytesPerSecond);
    void runSchedule();
    // Writes every byte; false when stopped or when the master failed.
    bool writeAll(const char* data, size_t size);

    PseudoTerminal pty_;
    QString devicePath_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<qint64> firstWriteNs_{0};
    std::atomic<qint64> bytesWritten_{0};
    std::atomic<size_t> itemsStarted_{0};
    std::vector<Item> items_;
    std::vector<qint64> itemWriteNs_;
    std::vector<qint64> itemEnd_;
    qint64 writerCpuNs_ = 0;
    qint64 writerWakeUps_ = 0;
    QString failure_;
};

} // namespace bench
