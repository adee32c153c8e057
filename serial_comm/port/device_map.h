#pragma once

#include <QString>

namespace serial_comm {

// What a failed device operation means for the user, from its errno.
enum class DeviceErrorKind {
    Permission, // EACCES, EPERM: the user may not open serial devices
    Missing,    // ENOENT, ENODEV, ENXIO: nothing at that path
    Busy,       // EBUSY, EWOULDBLOCK (our lock): another program has it
    NotSerial,  // ENOTTY: the path is not a terminal device
    Other,
};
DeviceErrorKind classifyDeviceError(int error);

// A read or write error that means the device went away under an open port.
bool isHangUpError(int error);

// "COM3".
QString portName(qint16 port);

// The device COMn opens: the path in LINNET_COM<n> when that is set and not empty, else
// /dev/ttyS<n-1>.
QString devicePathForPort(qint16 port);

// Whether something is at the path now (the device may still refuse to open).
bool deviceExists(const QString& path);

// The user-facing text for an open that failed with `error`: which port and device, the system's
// reason, and what to do about it.
QString openFailureText(qint16 port, const QString& path, int error);

// The user-facing text for a device that went away while the port was open.
QString deviceLostText(qint16 port, const QString& path);

} // namespace serial_comm
