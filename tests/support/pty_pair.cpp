#include "pty_pair.h"

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include <poll.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

using Clock = std::chrono::steady_clock;

int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

} // namespace

PtyPair::PtyPair() : slavePath_(QString::fromLocal8Bit(pty_.devicePath())) {}

void PtyPair::writeMaster(const QByteArray& bytes) {
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(pty_.master(), bytes.constData() + done, bytes.size() - done);
        if (count > 0) {
            done += count;
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR)
            fail("write to the master");
        pollfd p{pty_.master(), POLLOUT, 0};
        if (::poll(&p, 1, millisecondsLeft(deadline)) == 0)
            throw std::runtime_error("the master side stayed full");
    }
}

qsizetype PtyPair::tryWriteMaster(QByteArrayView bytes) {
    for (;;) {
        const ssize_t count = ::write(pty_.master(), bytes.data(), bytes.size());
        if (count >= 0)
            return count;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            return 0;
        fail("write to the master");
    }
}

QByteArray PtyPair::readMaster(qsizetype atLeast, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    QByteArray received;
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::read(pty_.master(), chunk, sizeof chunk);
        if (count > 0) {
            received.append(chunk, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        // EAGAIN: nothing more now. EIO: no slave is open.
        if (received.size() >= atLeast)
            return received;
        const int left = millisecondsLeft(deadline);
        if (left == 0)
            return received;
        pollfd p{pty_.master(), POLLIN, 0};
        if (::poll(&p, 1, left) <= 0 || (p.revents & POLLIN) == 0)
            return received;
    }
}

termios PtyPair::slaveAttributes() const {
    termios t{};
    if (::tcgetattr(slaveFd(), &t) != 0)
        qFatal("tcgetattr on the slave failed");
    return t;
}
