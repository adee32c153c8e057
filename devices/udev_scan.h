#pragma once

#include "devices/serial_device.h"

#include <QList>

#include <memory>
#include <optional>

struct udev;
struct udev_device;
struct udev_monitor;

namespace devices {

// Owning handles for libudev objects.
struct UdevDeleter {
    void operator()(udev* u) const;
    void operator()(udev_device* d) const;
    void operator()(udev_monitor* m) const;
};
using UdevPtr = std::unique_ptr<udev, UdevDeleter>;
using UdevDevicePtr = std::unique_ptr<udev_device, UdevDeleter>;
using UdevMonitorPtr = std::unique_ptr<udev_monitor, UdevDeleter>;

// A sysfs attribute or a udev property of a device as one clean line; empty when it has none.
QString sysAttribute(udev_device* device, const char* name);
QString udevProperty(udev_device* device, const char* name);

// The serial port a tty device is, or nothing for terminals that are no serial port (virtual
// consoles, pseudo-terminals) and for the 8250 driver's placeholders with no UART behind them.
std::optional<SerialDevice> serialDeviceFromUdev(udev_device* tty);

// Every serial port the system has now, sorted by device node. Reads udev's database, which
// without a udev daemon falls back to what sysfs says (then without by-id links and database
// names).
QList<SerialDevice> listSerialDevices(udev* context);

} // namespace devices
