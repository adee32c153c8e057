#include "serial_comm/port/device_map.h"

#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace serial_comm {

DeviceErrorKind classifyDeviceError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return DeviceErrorKind::Permission;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return DeviceErrorKind::Missing;
    case EBUSY:
    case EWOULDBLOCK:
        return DeviceErrorKind::Busy;
    case ENOTTY:
        return DeviceErrorKind::NotSerial;
    default:
        return DeviceErrorKind::Other;
    }
}

bool isHangUpError(int error) {
    // A USB adapter pulled out answers EIO, a vanished device ENXIO or ENODEV.
    return error == EIO || error == ENXIO || error == ENODEV;
}

QString portName(qint16 port) {
    return QStringLiteral("COM%1").arg(port);
}

QString devicePathForPort(qint16 port) {
    const QByteArray variable = QStringLiteral("LINNET_COM%1").arg(port).toLatin1();
    if (const char* value = std::getenv(variable.constData()); value != nullptr && *value != '\0')
        return QString::fromLocal8Bit(value);
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

bool deviceExists(const QString& path) {
    return QFileInfo::exists(path);
}

QString openFailureText(qint16 port, const QString& path, int error) {
    const QString start = QStringLiteral("Cannot open %1 (%2): ").arg(portName(port), path);
    const QString reason = QString::fromLocal8Bit(std::strerror(error));
    const QString variable = QStringLiteral("LINNET_COM%1").arg(port);
    switch (classifyDeviceError(error)) {
    case DeviceErrorKind::Permission:
        return start +
               QStringLiteral("%1. Your user may not use serial devices: add it to the "
                              "\"dialout\" group (for example sudo usermod -aG dialout $USER), "
                              "then log out and in again.")
                   .arg(reason);
    case DeviceErrorKind::Missing:
        return start + QStringLiteral("%1. There is no such device: plug in the scanner, or set "
                                      "%2 to the device it uses (for example %2=/dev/ttyACM0).")
                           .arg(reason, variable);
    case DeviceErrorKind::Busy:
        // Our lock refuses with EWOULDBLOCK, whose system text ("Resource temporarily
        // unavailable") would only confuse; the lock is what it means.
        return start +
               (error == EWOULDBLOCK ? QStringLiteral("another program holds its lock") : reason) +
               QStringLiteral(". The port is in use by another program: close that program, then "
                              "open the port again.");
    case DeviceErrorKind::NotSerial:
        return start + QStringLiteral("%1. This is not a serial device: set %2 to the device the "
                                      "scanner uses (for example %2=/dev/ttyACM0).")
                           .arg(reason, variable);
    case DeviceErrorKind::Other:
        break;
    }
    return start + QStringLiteral("%1. Check that the scanner is connected and that %2 names "
                                  "its device.")
                       .arg(reason, variable);
}

QString deviceLostText(qint16 port, const QString& path) {
    return QStringLiteral("%1 (%2) was disconnected; the port is closed.")
        .arg(portName(port), path);
}

} // namespace serial_comm
