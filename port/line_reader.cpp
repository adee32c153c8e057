#include "port/line_reader.h"

#include "port/port_error.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <system_error>
#include <utility>

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace port {

// --- the queue ---

qsizetype StampedQueue::push(QByteArrayView bytes, qint64 ms) {
    const qsizetype kept = std::min(bytes.size(), bound_ - size_);
    if (kept > 0) {
        // A read at the same moment as the one before it joins it: fewer pieces, the same times.
        if (!reads_.empty() && reads_.back().ms == ms)
            reads_.back().bytes.append(bytes.first(kept));
        else
            reads_.push_back({bytes.first(kept).toByteArray(), ms});
        size_ += kept;
    }
    return bytes.size() - std::max<qsizetype>(kept, 0);
}

std::vector<StampedBytes> StampedQueue::take(qsizetype most) {
    std::vector<StampedBytes> taken;
    while (most > 0 && !reads_.empty()) {
        StampedBytes& front = reads_.front();
        if (front.bytes.size() <= most) {
            most -= front.bytes.size();
            size_ -= front.bytes.size();
            taken.push_back(std::move(front));
            reads_.pop_front();
            continue;
        }
        taken.push_back({front.bytes.first(most), front.ms});
        front.bytes.remove(0, most);
        size_ -= most;
        most = 0;
    }
    return taken;
}

// --- the reading thread ---

namespace {

// With VMIN and VTIME 0 a read of an idle device returns 0 just as a hung-up one does; only poll
// tells them apart.
bool hungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0)
        return false;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void drainEventFd(int fd) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t ignored = ::read(fd, &count, sizeof count);
}

// A read error that is neither a hang-up nor a passing one: tried again after this pause, so
// that a device that keeps failing does not keep a processor busy.
constexpr int RetryAfterErrorMs = 20;

} // namespace

LineReader::LineReader(int fd, base::MonotonicClock clock, qsizetype bound)
    : fd_(fd), clock_(std::move(clock)), readyFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), queue_(bound) {
    if (!readyFd_ || !wakeFd_)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    // Named, so that a look at the program's threads (top -H, a profiler) tells it apart.
    ::pthread_setname_np(thread_.native_handle(), "line reader");
}

LineReader::~LineReader() {
    thread_.request_stop();
    wake();
    thread_.join();
}

void LineReader::wake() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_.get(), &one, sizeof one);
}

void LineReader::signalReady() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(readyFd_.get(), &one, sizeof one);
}

void LineReader::clearReady() {
    drainEventFd(readyFd_.get());
}

bool LineReader::holdingLocked() const {
    return held_ || (handshaking_ && queue_.size() >= queue_.bound() / 2);
}

void LineReader::run(std::stop_token stop) {
    std::array<char, ReadSize> chunk;
    std::optional<qint64> lastReadMs;
    bool resting = false;
    // The pace of the stream now, and when its rests began.
    int pace = PaceMs;
    qint64 streamSinceMs = 0;
    // After a large read the device is read again before waiting in poll: a poll of a terminal
    // waits for the kernel to finish passing on what it received, which in a flood would cost a
    // switch to the kernel's worker and back for every 4 KiB.
    bool readAgain = false;
    qsizetype lastCount = 0;
    while (!stop.stop_requested()) {
        // In a stream, the device is left alone until a pace after the last read.
        if (resting) {
            resting = false;
            const qint64 left = *lastReadMs + pace - clock_();
            if (left > 0) {
                pollfd pause{wakeFd_.get(), POLLIN, 0};
                ::poll(&pause, 1, static_cast<int>(left));
                continue;
            }
        }
        bool holding;
        {
            std::lock_guard lock(mutex_);
            holding = holdingLocked();
            parked_ = holding;
        }
        const bool again = !holding && std::exchange(readAgain, false);
        if (!again) {
            std::array<pollfd, 2> watched{pollfd{wakeFd_.get(), POLLIN, 0}, pollfd{fd_, POLLIN, 0}};
            if (::poll(watched.data(), holding ? 1 : 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                // Nothing more can be read: said as the end, as a hang-up is.
                std::lock_guard lock(mutex_);
                ended_ = true;
                signalReady();
                return;
            }
            if (watched[0].revents != 0)
                drainEventFd(wakeFd_.get());
            if (stop.stop_requested())
                break;
            if (holding || watched[1].revents == 0)
                continue;
        }

        const ssize_t count = ::read(fd_, chunk.data(), chunk.size());
        const qint64 ms = clock_();
        if (count > 0) {
            // Two small reads within two paces of each other: a stream goes on (a read after a
            // rest comes one pace after the one before it). A small read that ends a large one is
            // a flood catching up, and the device is watched at once.
            const bool wasResting = lastReadMs && ms - *lastReadMs <= 2 * pace;
            resting = count < PaceBelowBytes && lastCount < PaceBelowBytes && wasResting;
            // A stream that has gone on for a while is read at the slower pace.
            if (!resting || !wasResting)
                streamSinceMs = ms;
            pace = resting && ms - streamSinceMs >= SustainedAfterMs ? SustainedPaceMs : PaceMs;
            sustained_.store(pace == SustainedPaceMs, std::memory_order_relaxed);
            readAgain = count >= PaceBelowBytes;
            lastReadMs = ms;
            lastCount = count;
            std::lock_guard lock(mutex_);
            const bool wasEmpty = queue_.empty();
            // With handshaking the thread holds at half the bound, so every read fits.
            dropped_ += static_cast<quint64>(queue_.push({chunk.data(), count}, ms));
            if (wasEmpty && !queue_.empty())
                signalReady();
            continue;
        }
        // Nothing more for now after a large read: back to poll, which also tells a hang-up.
        if (again && count == 0)
            continue;
        const int error = count < 0 ? errno : 0;
        if (error == EINTR || error == EAGAIN)
            continue;
        const bool gone = count == 0 ? hungUp(fd_) : (isHangUpError(error) || hungUp(fd_));
        if (!gone) {
            // Readable yet nothing came, or a passing failure: look again shortly.
            pollfd pause{wakeFd_.get(), POLLIN, 0};
            ::poll(&pause, 1, count == 0 ? 1 : RetryAfterErrorMs);
            continue;
        }
        std::lock_guard lock(mutex_);
        ended_ = true;
        signalReady();
        return;
    }
}

LineReader::Taken LineReader::take(qsizetype most) {
    std::lock_guard lock(mutex_);
    Taken taken;
    const bool wasHolding = holdingLocked();
    taken.reads = queue_.take(most);
    taken.dropped = std::exchange(dropped_, 0);
    taken.more = !queue_.empty();
    taken.ended = ended_ && !taken.more;
    // Readable exactly while something waits: the thread signals when the queue stops being
    // empty, under the same lock.
    if (!taken.more && !ended_)
        clearReady();
    if (parked_ && wasHolding && !holdingLocked())
        wake();
    return taken;
}

qsizetype LineReader::queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void LineReader::setHandshaking(bool on) {
    std::lock_guard lock(mutex_);
    handshaking_ = on;
    wake();
}

void LineReader::setHeld(bool held) {
    std::lock_guard lock(mutex_);
    if (held_ == held)
        return;
    held_ = held;
    wake();
}

} // namespace port
