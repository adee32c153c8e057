#include "pty_device.h"

#include "probes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include <poll.h>
#include <unistd.h>

namespace bench {

namespace {

// A small fast generator: the writer must not be the slow side of a flood.
class XorShift {
public:
    explicit XorShift(quint64 seed) : state_(seed | 1) {}
    quint64 next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }

private:
    quint64 state_;
};

void fillRandom(XorShift& random, char* out, size_t size) {
    for (size_t i = 0; i < size; i += 8) {
        const quint64 word = random.next();
        std::memcpy(out + i, &word, std::min<size_t>(8, size - i));
    }
}

// size - 2 digits and CR LF; a barcode as a scanner sends it.
void fillLine(XorShift& random, char* out, int size) {
    for (int i = 0; i < size - 2; ++i)
        out[i] = char('0' + random.next() % 10);
    out[size - 2] = '\r';
    out[size - 1] = '\n';
}

constexpr int FloodLineSize = 16;
constexpr size_t FloodChunk = 1 << 16; // a whole number of flood lines

void sleepUntilNs(qint64 deadline) {
    timespec at{};
    at.tv_sec = time_t(deadline / 1'000'000'000);
    at.tv_nsec = long(deadline % 1'000'000'000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

} // namespace

// The window opens the device itself and sets its attributes; nothing else holds it open.
PtyDevice::PtyDevice()
    : pty_(PseudoTerminalOptions{.keepDeviceSide = false, .raw = false}),
      devicePath_(QString::fromLocal8Bit(pty_.devicePath())) {}

PtyDevice::~PtyDevice() {
    stop();
}

void PtyDevice::resetJob() {
    join();
    stop_ = false;
    firstWriteNs_ = 0;
    bytesWritten_ = 0;
    itemsStarted_ = 0;
    writerCpuNs_ = 0;
    writerWakeUps_ = 0;
    failure_.clear();
}

void PtyDevice::startFlood(qint64 totalBytes, Payload payload, qint64 bytesPerSecond) {
    resetJob();
    items_.clear();
    thread_ = std::thread([this, totalBytes, payload, bytesPerSecond] {
        runFlood(totalBytes, payload, bytesPerSecond);
    });
}

void PtyDevice::startSchedule(std::vector<Item> items) {
    resetJob();
    items_ = std::move(items);
    itemWriteNs_.assign(items_.size(), 0);
    itemEnd_.assign(items_.size(), 0);
    qint64 end = 0;
    for (size_t i = 0; i < items_.size(); ++i)
        itemEnd_[i] = end += items_[i].size;
    thread_ = std::thread([this] { runSchedule(); });
}

void PtyDevice::stop() {
    stop_ = true;
    join();
}

void PtyDevice::join() {
    if (thread_.joinable())
        thread_.join();
}

bool PtyDevice::writeAll(const char* data, size_t size) {
    while (size > 0) {
        if (stop_.load(std::memory_order_relaxed))
            return false;
        const ssize_t count = ::write(pty_.master(), data, size);
        if (count > 0) {
            data += count;
            size -= size_t(count);
            bytesWritten_.fetch_add(count, std::memory_order_release);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN) {
            failure_ = QStringLiteral("write to the master side: %1")
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        pollfd p{pty_.master(), POLLOUT, 0};
        ::poll(&p, 1, 20);
    }
    return true;
}

void PtyDevice::runFlood(qint64 totalBytes, Payload payload, qint64 bytesPerSecond) {
    const qint64 cpuStart = threadCpuNs();
    XorShift random(0x9E3779B97F4A7C15ull);
    std::vector<char> chunk(FloodChunk);
    qint64 sent = 0;
    firstWriteNs_.store(nowNs(), std::memory_order_release);
    while (sent < totalBytes) {
        const size_t size = size_t(std::min<qint64>(qint64(chunk.size()), totalBytes - sent));
        if (payload == Payload::RandomBytes) {
            fillRandom(random, chunk.data(), size);
        } else if (payload == Payload::ShortScans) {
            for (size_t at = 0; at < size; ++at)
                chunk[at] = "12\r\n"[(sent + qint64(at)) % 4];
        } else if (payload == Payload::Unterminated) {
            for (size_t at = 0; at < size; ++at)
                chunk[at] = "ABCDEFGHJKLMNPQRSTUVWXYZ0123456789"[(sent + qint64(at)) % 34];
        } else {
            for (size_t at = 0; at < size; at += FloodLineSize)
                fillLine(random, chunk.data() + at,
                         int(std::min<size_t>(FloodLineSize, size - at)));
        }
        if (bytesPerSecond > 0)
            sleepUntilNs(firstWriteNs_.load(std::memory_order_relaxed) +
                         sent * 1'000'000'000 / bytesPerSecond);
        if (!writeAll(chunk.data(), size))
            break;
        sent += qint64(size);
    }
    writerCpuNs_ = threadCpuNs() - cpuStart;
}

void PtyDevice::runSchedule() {
    const qint64 cpuStart = threadCpuNs();
    const qint64 wakeUpsStart = threadContextSwitches().voluntary;
    XorShift random(0xD1B54A32D192ED03ull);
    std::vector<char> line;
    const qint64 start = nowNs();
    for (size_t i = 0; i < items_.size(); ++i) {
        sleepUntilNs(start + items_[i].atNs);
        line.resize(size_t(items_[i].size));
        fillLine(random, line.data(), items_[i].size);
        const qint64 at = nowNs();
        if (i == 0)
            firstWriteNs_.store(at, std::memory_order_release);
        itemWriteNs_[i] = at;
        // Published before the write: the program may show the line before write() returns.
        itemsStarted_.store(i + 1, std::memory_order_release);
        if (!writeAll(line.data(), line.size()))
            break;
    }
    writerCpuNs_ = threadCpuNs() - cpuStart;
    writerWakeUps_ = threadContextSwitches().voluntary - wakeUpsStart;
}

} // namespace bench
