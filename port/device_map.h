#pragma once

#include "port/port_error.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <map>

#include <sys/types.h>

namespace port {

// The device COMn opens: the path in LINNET_COM<n> when that is set and not empty, else
// /dev/ttyS<n-1>. A file name is bytes, in no particular encoding: these are the bytes that
// open() gets.
QByteArray deviceFileForPort(qint16 port);

// Where a port number leads.
struct PortDevice {
    QByteArray file; // what open() gets
    // False when the number belongs to a device that is not plugged in: nothing is opened, and
    // `file` only names where that device was, for messages.
    bool connected = true;
};

// Decides where each port number leads; the program hands the port one that knows the devices
// present. Without one, a port opens deviceFileForPort.
using DeviceResolver = std::function<PortDevice(qint16 port)>;

// Whether something is at the path now (the device may still refuse to open).
bool deviceExists(const QString& path);

// Whether the character device `device` is either side of a pseudo-terminal.
bool isPseudoTerminal(dev_t device);

// The name a process gives itself (/proc/PID/comm), or empty when it cannot be read.
QString processName(qint64 pid);

// The other processes that have the character device `device` open, as far as this user may
// look into them (/proc/PID/fd); this process is not counted.
QList<DeviceHolder> otherHolders(dev_t device);
// The same for several devices in one look through /proc: a device nobody else holds has no
// entry.
std::map<dev_t, QList<DeviceHolder>> otherHolders(const QList<dev_t>& devices);

} // namespace port
