#pragma once

#include "base/clock.h"
#include "base/unique_fd.h"

#include <QByteArray>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace port {

// Bytes as one read took them from the device, with the time of that read on the program's
// monotonic clock.
struct StampedBytes {
    QByteArray bytes;
    qint64 ms = 0;

    bool operator==(const StampedBytes&) const = default;
};

// What waits between the thread that reads the device and the window's thread: the reads in
// arrival order, each with its time, bounded in bytes. What does not fit is not kept, and push
// says how much that was.
class StampedQueue {
public:
    explicit StampedQueue(qsizetype bound) : bound_(bound) {}

    // Keeps as much of the read as fits within the bound; returns the bytes that did not fit.
    qsizetype push(QByteArrayView bytes, qint64 ms);
    // Takes reads from the front, `most` bytes at most; a read larger than what is left of that
    // is split, its rest staying at the front with the same time.
    std::vector<StampedBytes> take(qsizetype most);

    qsizetype size() const { return size_; }
    bool empty() const { return size_ == 0; }
    qsizetype bound() const { return bound_; }

private:
    std::deque<StampedBytes> reads_;
    qsizetype size_ = 0;
    qsizetype bound_;
};

// Reads an open device in a thread of its own: it waits in poll on the device and on a wake-up
// descriptor, reads as soon as bytes arrive, stamps each read with the clock and queues it for the
// window's thread, whose notifier on readyFd() fires while something waits. So the times of the
// bytes are those of their arrival, and the device's buffer is emptied however long the window's
// thread is busy.
//
// Small pieces that follow each other within PaceMs (a stream) are read at most every PaceMs:
// each then carries the time of the read that took it, at most PaceMs after its arrival, and a
// stream of 720 short lines a second costs a hundred wake-ups instead of 720. A piece after a
// quiet spell is read, and stamped, at once, and so is a small read that follows a large one (a
// flood catching up: a rest would leave the device's buffer full and, on a pseudo-terminal, hold
// the writer). After a large read the device is read again before poll is asked.
//
// Without handshaking the queue is bounded (QueueBound): what does not fit is dropped and counted,
// and take() reports it. With handshaking the thread stops reading once half the bound waits, or
// when the port says so (setHeld): the driver's buffer then fills and the driver holds the sender
// back instead.
//
// The thread is stopped and joined by the destructor, before the descriptor (owned by the port)
// is closed: no read after close.
class LineReader {
public:
    static constexpr qsizetype QueueBound = 16 << 20;
    static constexpr qsizetype ReadSize = 16 << 10;
    static constexpr int PaceMs = 10;
    // Once small reads have followed each other at that pace for SustainedAfterMs, they are read
    // at most every SustainedPaceMs: a long stream (nobody reads text that fast) then costs a
    // quarter of the wake-ups, and its times are at most SustainedPaceMs late.
    static constexpr int SustainedPaceMs = 50;
    // Later than the window's own second of a stream, so that its views have slowed their
    // refresh before the pieces come further apart.
    static constexpr int SustainedAfterMs = 1500;
    // Reads at least this large are never paced: a flood, or a fast line whose pace would fill
    // the driver's buffer (a pseudo-terminal hands over at most 4 KiB a read).
    static constexpr qsizetype PaceBelowBytes = 1024;

    struct Taken {
        std::vector<StampedBytes> reads;
        // Bytes dropped at the bound since the last take.
        quint64 dropped = 0;
        // Bytes still wait after these.
        bool more = false;
        // The device hung up or failed: nothing follows these reads.
        bool ended = false;
    };

    LineReader(int fd, base::MonotonicClock clock, qsizetype bound = QueueBound);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Readable while reads wait or the end has come; the port's notifier watches it.
    int readyFd() const { return readyFd_.get(); }
    // Reads from the front, `most` bytes at most.
    Taken take(qsizetype most);
    // Bytes read and not taken yet.
    qsizetype queued() const;
    // Whether the thread reads a long stream at its slower pace now.
    bool sustained() const { return sustained_.load(std::memory_order_relaxed); }

    // Handshaking: the thread holds rather than drops.
    void setHandshaking(bool on);
    // The port's own buffer is nearly full: stop reading until released.
    void setHeld(bool held);

private:
    void run(std::stop_token stop);
    // The thread waits at the wake-up descriptor too: a stop, a release or room in the queue.
    void wake() const;
    void signalReady();
    void clearReady();
    bool holdingLocked() const;

    int fd_;
    base::MonotonicClock clock_;
    base::UniqueFd readyFd_;
    base::UniqueFd wakeFd_;
    mutable std::mutex mutex_;
    StampedQueue queue_;
    quint64 dropped_ = 0;
    bool ended_ = false;
    bool handshaking_ = false;
    bool held_ = false;
    // The thread waits for a release rather than for the device.
    bool parked_ = false;
    std::atomic<bool> sustained_{false};
    // Last, so that it starts after everything it uses and is joined before any of it goes.
    std::jthread thread_;
};

} // namespace port
