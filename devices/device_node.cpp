#include "devices/device_node.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>

namespace devices {

base::UniqueFd openNodeToRead(const QString& node, int& error) {
    base::UniqueFd fd(
        ::open(QFile::encodeName(node).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    error = fd.get() < 0 ? errno : 0;
    return fd;
}

void readWithoutWaiting(int fd) {
    if (const int flags = ::fcntl(fd, F_GETFL); flags >= 0 && (flags & O_NONBLOCK) == 0)
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

} // namespace devices
