#include "port/lock_file.h"

#include "base/unique_fd.h"
#include "port/device_map.h"

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace port {

namespace {

bool running(qint64 pid) {
    // EPERM: the process exists but belongs to another user.
    return pid > 0 && pid <= INT_MAX && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// Reads the process id from a lock file: ASCII digits with blanks around them. Old programs
// wrote a binary int instead; that is read too.
std::optional<qint64> lockOwner(const QByteArray& content) {
    const QByteArray text = content.trimmed();
    bool ok = false;
    const qint64 pid = text.toLongLong(&ok);
    if (ok && pid > 0)
        return pid;
    if (content.size() == int(sizeof(int))) {
        int binary = 0;
        std::memcpy(&binary, content.constData(), sizeof binary);
        if (binary > 0)
            return binary;
    }
    return std::nullopt;
}

// Reads a lock file without following a link and only when it is a regular file. Sets
// `regular` to false when something else is there.
std::optional<QByteArray> readLockFile(const QByteArray& path, bool& regular) {
    regular = true;
    const base::UniqueFd fd(
        ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        regular = errno != ELOOP;
        return std::nullopt;
    }
    struct stat status {};
    QByteArray content;
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        regular = false;
    } else {
        std::array<char, 64> buffer;
        const ssize_t count = ::read(fd.get(), buffer.data(), buffer.size());
        if (count > 0)
            content = QByteArray(buffer.data(), count);
    }
    if (!regular)
        return std::nullopt;
    return content;
}

// Whether the file at `path` was last changed less than `seconds` ago.
bool youngerThan(const QByteArray& path, int seconds) {
    struct stat status {};
    timespec now{};
    if (::lstat(path.constData(), &status) != 0 || ::clock_gettime(CLOCK_REALTIME, &now) != 0)
        return false;
    return now.tv_sec - status.st_mtim.tv_sec < seconds;
}

} // namespace

QByteArray DeviceLockFile::directory() {
    if (qEnvironmentVariableIsSet("LINNET_LOCK_DIR"))
        return qgetenv("LINNET_LOCK_DIR");
    return "/var/lock";
}

QByteArray DeviceLockFile::pathFor(const QByteArray& directory, const QByteArray& device) {
    // Other programs name the lock after the device itself, not after a link to it. Only the
    // last name counts, so the links are followed one by one with readlink: realpath under
    // umockdev's preload library (the device testbeds of the tests) writes past its result when
    // a testbed's node leads to a pseudo-terminal outside the testbed.
    QByteArray real = device;
    for (int hop = 0; hop < 40; ++hop) {
        std::array<char, PATH_MAX> target;
        const ssize_t size = ::readlink(real.constData(), target.data(), target.size());
        if (size <= 0 || size == ssize_t(target.size()))
            break;
        const QByteArray next(target.data(), size);
        real = next.startsWith('/') ? next : real.left(real.lastIndexOf('/') + 1) + next;
    }
    return directory + "/LCK.." + real.mid(real.lastIndexOf('/') + 1);
}

DeviceLockFile::Outcome DeviceLockFile::take(const QByteArray& directory,
                                             const QByteArray& device) {
    release();
    path_ = pathFor(directory, device);
    holder_ = {};
    if (::access(directory.constData(), W_OK | X_OK) != 0)
        return Outcome::Skipped;
    const QByteArray content =
        QByteArray::number(::getpid()).rightJustified(10, ' ') + QByteArray("\n");
    // Two tries: the second after removing a stale lock.
    for (int attempt = 0; attempt < 2; ++attempt) {
        base::UniqueFd fd(
            ::open(path_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
        if (fd) {
            const bool written =
                ::write(fd.get(), content.constData(), content.size()) == content.size();
            fd.reset();
            if (!written) {
                ::unlink(path_.constData());
                return Outcome::Skipped;
            }
            owned_ = true;
            return Outcome::Taken;
        }
        if (errno != EEXIST)
            return Outcome::Skipped; // the folder refuses us: no lock to take
        bool regular = true;
        const std::optional<QByteArray> existing = readLockFile(path_, regular);
        if (!regular)
            return Outcome::Unsafe;
        if (!existing)
            continue; // removed meanwhile: try again
        const std::optional<qint64> owner = lockOwner(*existing);
        if (owner && running(*owner)) {
            holder_ = {*owner, processName(*owner)};
            return Outcome::Held;
        }
        // Another program may be between creating its lock and writing its process id into it:
        // a lock without one is stale only once it is older than that could take.
        if (!owner && youngerThan(path_, StaleEmptySeconds))
            return Outcome::Held;
        // Stale: its owner has ended. Checked again just before, so that only a regular file is
        // removed.
        struct stat status {};
        if (::lstat(path_.constData(), &status) != 0 || !S_ISREG(status.st_mode))
            return Outcome::Unsafe;
        if (::unlink(path_.constData()) != 0 && errno != ENOENT)
            return Outcome::Skipped;
    }
    return Outcome::Held;
}

void DeviceLockFile::release() {
    if (!owned_)
        return;
    owned_ = false;
    // Removed only while it still holds our id: a lock someone else put in its place stays.
    bool regular = true;
    const std::optional<QByteArray> content = readLockFile(path_, regular);
    if (regular && content && lockOwner(*content) == ::getpid())
        ::unlink(path_.constData());
}

} // namespace port
