#pragma once

#include "port/port_error.h"

#include <QByteArray>

namespace port {

// The traditional lock file of serial programs, LCK..<device name> in a shared folder, holding
// the owner's process id as ten right-aligned digits and a newline. The folder is writable by
// everyone, so nothing found there is followed or trusted: the file is created with O_EXCL and
// O_NOFOLLOW, and only a regular file is ever read or removed.
class DeviceLockFile {
public:
    // A lock file without a process id in it is taken for one being written for this long.
    static constexpr int StaleEmptySeconds = 10;

    enum class Outcome {
        Taken,   // the lock is ours until release
        Skipped, // no lock folder, or not writable: nothing to honour or take
        Held,    // a running process holds it (see holder), or a lock file younger than
                 // StaleEmptySeconds has no process id in it yet
        Unsafe,  // something other than a regular file is in its place
    };

    DeviceLockFile() = default;
    DeviceLockFile(const DeviceLockFile&) = delete;
    DeviceLockFile& operator=(const DeviceLockFile&) = delete;
    ~DeviceLockFile() { release(); }

    // The folder: LINNET_LOCK_DIR when that is set, else /var/lock.
    static QByteArray directory();
    // The lock file's path for a device file (its real name after following links).
    static QByteArray pathFor(const QByteArray& directory, const QByteArray& device);

    // Takes the lock for `device`. A lock left by a process that is no longer running is removed
    // first.
    Outcome take(const QByteArray& directory, const QByteArray& device);
    // Removes the lock file, if it is still ours.
    void release();

    // The lock file's path once take has run, and the process that holds it (Held).
    QByteArray path() const { return path_; }
    // Whether the lock file is ours (taken and not yet released).
    bool owned() const { return owned_; }
    DeviceHolder holder() const { return holder_; }

private:
    QByteArray path_;
    DeviceHolder holder_;
    bool owned_ = false;
};

} // namespace port
