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

QString processName(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll().trimmed());
}

namespace {

// Whether the open directory entry `name` (a number) is a process other than this one.
std::optional<qint64> otherProcess(const char* name) {
    char* end = nullptr;
    const long long pid = std::strtoll(name, &end, 10);
    if (end == name || *end != '\0' || pid <= 0 || pid == ::getpid())
        return std::nullopt;
    return pid;
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

} // namespace port
