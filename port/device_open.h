#pragma once

#include "base/result.h"
#include "base/unique_fd.h"
#include "port/device_map.h"
#include "port/lock_file.h"

#include <QByteArray>
#include <QList>

#include <memory>

#include <termios.h>

namespace port {

// A terminal device opened for the port and kept from other programs: flock on the descriptor,
// the traditional lock file, and no other process found holding it.
struct ClaimedDevice {
    // Before `fd`: removed only after the descriptor is closed.
    std::unique_ptr<DeviceLockFile> lock;
    base::UniqueFd fd;
    termios original{}; // the attributes found, to be restored on close
    // Either side of a pseudo-terminal, which forces 8 data bits without parity.
    bool pseudoTerminal = false;
};

// Why a device could not be claimed.
struct ClaimRefusal {
    enum class Kind {
        System,         // a system call refused (systemError)
        InUse,          // other processes hold it (holders)
        LockFileUnsafe, // something other than a regular file stands at the lock file's name
    };
    Kind kind = Kind::System;
    int systemError = 0;
    QList<DeviceHolder> holders;
    QByteArray lockFile;
};

// Opens `target` without waiting and without making it the controlling terminal, reads its
// attributes, and claims it, in that order; each step that fails gives back what the earlier
// ones took. A number whose device is not plugged in opens nothing (ENODEV): its old node may by
// now be another device's.
base::Result<ClaimedDevice, ClaimRefusal> claimDevice(const PortDevice& target);

} // namespace port
