#include "serial_comm/device_map.h"

#include <QFileInfo>

#include <cerrno>
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

QByteArray deviceFileForPort(qint16 port) {
    const QByteArray variable = "LINNET_COM" + QByteArray::number(port);
    if (QByteArray value = qgetenv(variable.constData()); !value.isEmpty())
        return value;
    return "/dev/ttyS" + QByteArray::number(port - 1);
}

QString displayPath(const QByteArray& path) {
    QString shown;
    shown.reserve(path.size());
    qsizetype i = 0;
    while (i < path.size()) {
        const auto lead = static_cast<unsigned char>(path.at(i));
        const qsizetype length = lead < 0x80             ? 1
                                 : (lead & 0xE0) == 0xC0 ? 2
                                 : (lead & 0xF0) == 0xE0 ? 3
                                 : (lead & 0xF8) == 0xF0 ? 4
                                                         : 0;
        bool valid = length > 0 && i + length <= path.size();
        for (qsizetype k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(path.at(i + k)) & 0xC0) == 0x80;
        if (valid) {
            // The decoder turns what UTF-8 forbids (overlong forms, surrogates) into U+FFFD;
            // only an encoded U+FFFD itself may come out as one.
            const QByteArrayView sequence = QByteArrayView(path).sliced(i, length);
            const QString character = QString::fromUtf8(sequence);
            if (!character.contains(QChar::ReplacementCharacter) || sequence == "\xEF\xBF\xBD") {
                shown += character;
                i += length;
                continue;
            }
        }
        shown +=
            QStringLiteral("\\x") + QString::number(lead, 16).toUpper().rightJustified(2, u'0');
        ++i;
    }
    return shown;
}

QString devicePathForPort(qint16 port) {
    return displayPath(deviceFileForPort(port));
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
