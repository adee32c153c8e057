#include "port/device_open.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

namespace port {

namespace {

base::Failed<ClaimRefusal> refused(int systemError) {
    return base::Failed{ClaimRefusal{.kind = ClaimRefusal::Kind::System,
                                     .systemError = systemError,
                                     .holders = {},
                                     .lockFile = {}}};
}

} // namespace

base::Result<ClaimedDevice, ClaimRefusal> claimDevice(const PortDevice& target) {
    if (!target.connected)
        return refused(ENODEV);
    // The name goes to open() as the bytes the environment gave: a name that is not valid text
    // must open all the same.
    ClaimedDevice device;
    device.fd =
        base::UniqueFd(::open(target.file.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    // errno is taken at once, before anything else can overwrite it.
    if (!device.fd)
        return refused(errno);
    if (::tcgetattr(device.fd.get(), &device.original) != 0)
        return refused(errno);
    // flock, unlike TIOCEXCL, also keeps out a second program running as root.
    if (::flock(device.fd.get(), LOCK_EX | LOCK_NB) != 0)
        return refused(errno);

    // Other serial programs (minicom, picocom, ...) take the traditional lock file instead.
    device.lock = std::make_unique<DeviceLockFile>();
    switch (device.lock->take(DeviceLockFile::directory(), target.file)) {
    case DeviceLockFile::Outcome::Taken:
    case DeviceLockFile::Outcome::Skipped:
        break;
    case DeviceLockFile::Outcome::Held:
        // A lock file without a process id yet: as busy as a flock would be.
        if (device.lock->holder().pid <= 0)
            return refused(EWOULDBLOCK);
        return base::Failed{ClaimRefusal{.kind = ClaimRefusal::Kind::InUse,
                                         .systemError = 0,
                                         .holders = {device.lock->holder()},
                                         .lockFile = {}}};
    case DeviceLockFile::Outcome::Unsafe:
        return base::Failed{ClaimRefusal{.kind = ClaimRefusal::Kind::LockFileUnsafe,
                                         .systemError = 0,
                                         .holders = {},
                                         .lockFile = device.lock->path()}};
    }

    // A program that opened the device without any lock still shows in /proc.
    struct stat status {};
    if (::fstat(device.fd.get(), &status) == 0 && S_ISCHR(status.st_mode)) {
        if (QList<DeviceHolder> holders = otherHolders(status.st_rdev); !holders.isEmpty())
            return base::Failed{ClaimRefusal{.kind = ClaimRefusal::Kind::InUse,
                                             .systemError = 0,
                                             .holders = std::move(holders),
                                             .lockFile = {}}};
        device.pseudoTerminal = isPseudoTerminal(status.st_rdev);
    }
    return device;
}

} // namespace port
