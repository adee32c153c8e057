#include "port/device_map.h"

#include "base/com_ports.h"
#include "base/outside_text.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace port {

QByteArray deviceFileForPort(qint16 port) {
    if (QByteArray value = base::com_ports::variable(port); !value.isEmpty())
        return value;
    return base::com_ports::onBoardPath(port);
}

bool deviceExists(const QString& path) {
    return QFileInfo::exists(path);
}

namespace {

QString processName(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll().trimmed());
}

bool running(qint64 pid) {
    // EPERM: the process exists but belongs to another user.
    return pid > 0 && pid <= INT_MAX && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// Whether the open directory entry `name` (a number) is a process other than this one.
std::optional<qint64> otherProcess(const char* name) {
    char* end = nullptr;
    const long long pid = std::strtoll(name, &end, 10);
    if (end == name || *end != '\0' || pid <= 0 || pid == ::getpid())
        return std::nullopt;
    return pid;
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
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        regular = errno != ELOOP;
        return std::nullopt;
    }
    struct stat status {};
    QByteArray content;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        regular = false;
    } else {
        std::array<char, 64> buffer;
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count > 0)
            content = QByteArray(buffer.data(), count);
    }
    ::close(fd);
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

// The number of the pseudo-terminal whose master side descriptor `fd` of process `pid` is
// (/dev/ptmx, whose fdinfo tells).
std::optional<unsigned> masterIndex(qint64 pid, const char* fd) {
    QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(QString::number(pid), QLatin1String(fd)));
    if (!info.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : info.readAll().split('\n')) {
        if (!line.startsWith("tty-index:"))
            continue;
        bool ok = false;
        const unsigned index = line.mid(10).trimmed().toUInt(&ok);
        if (ok)
            return index;
    }
    return std::nullopt;
}

} // namespace

bool isPseudoTerminal(dev_t device) {
    const unsigned kind = major(device);
    // Unix98 slaves (136-143) and masters (128-135, or the multiplexer /dev/ptmx 5:2), and the
    // old BSD-style masters (2) and slaves (3).
    return (kind >= 128 && kind <= 143) || kind == 2 || kind == 3 || device == makedev(5, 2);
}

QList<DeviceHolder> otherHolders(dev_t device) {
    std::map<dev_t, QList<DeviceHolder>> all = otherHolders(QList<dev_t>{device});
    const auto found = all.find(device);
    return found == all.end() ? QList<DeviceHolder>{} : std::move(found->second);
}

std::map<dev_t, QList<DeviceHolder>> otherHolders(const QList<dev_t>& devices) {
    std::map<dev_t, QList<DeviceHolder>> holders;
    if (devices.isEmpty())
        return holders;
    const std::set<dev_t> wanted(devices.begin(), devices.end());
    // The device sides of pseudo-terminals (majors 136 to 143) among them, by their number.
    std::map<unsigned, dev_t> ptys;
    for (const dev_t device : devices)
        if (major(device) >= 136 && major(device) <= 143)
            ptys.emplace((major(device) - 136) * 256 + minor(device), device);
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr)
        return holders;
    while (const dirent* entry = ::readdir(processes)) {
        const std::optional<qint64> pid = otherProcess(entry->d_name);
        if (!pid)
            continue;
        const QByteArray fdDir = "/proc/" + QByteArray::number(*pid) + "/fd";
        // Processes of other users cannot be looked into (EACCES): they are left out.
        DIR* descriptors = ::opendir(fdDir.constData());
        if (descriptors == nullptr)
            continue;
        std::set<dev_t> held;
        std::set<dev_t> played;
        while (const dirent* fd = ::readdir(descriptors)) {
            if (fd->d_name[0] == '.')
                continue;
            struct stat status {};
            // stat follows the descriptor's link to the file it has open.
            const QByteArray link = fdDir + '/' + fd->d_name;
            if (::stat(link.constData(), &status) != 0 || !S_ISCHR(status.st_mode))
                continue;
            if (wanted.contains(status.st_rdev)) {
                held.insert(status.st_rdev);
            } else if (!ptys.empty() && status.st_rdev == makedev(5, 2)) {
                if (const std::optional<unsigned> index = masterIndex(*pid, fd->d_name))
                    if (const auto pty = ptys.find(*index); pty != ptys.end())
                        played.insert(pty->second);
            }
        }
        ::closedir(descriptors);
        // The program at the master side of a pseudo-terminal is the device's far end (a
        // simulator keeps the device side open too), not another user of the port.
        for (const dev_t device : held)
            if (!played.contains(device))
                holders[device].append({*pid, processName(*pid)});
    }
    ::closedir(processes);
    return holders;
}

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
        const int fd =
            ::open(path_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const bool written = ::write(fd, content.constData(), content.size()) == content.size();
            ::close(fd);
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
