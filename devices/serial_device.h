#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace devices {

// What kind of serial port a device is; decides how it is named and numbered.
enum class SerialKind {
    OnBoard,   // ttyS<k> with a UART behind it: COM k+1
    Usb,       // USB CDC-ACM (ttyACM*) or a USB-serial adapter (ttyUSB*)
    Platform,  // another UART of the machine (ttyAMA*, ttymxc*, ...)
    Bluetooth, // rfcomm link
};

// One serial port as the system describes it. Fields the system does not know stay empty.
struct SerialDevice {
    SerialKind kind = SerialKind::Usb;
    QString node;         // /dev/ttyACM0
    QString byIdLink;     // /dev/serial/by-id/usb-...-if00 (only where udev made one)
    QString sysPath;      // the device's sysfs path: what a removal names
    QString driver;       // cdc_acm, ftdi_sio, cp210x, serial8250, ...
    QString vendorId;     // "1209"
    QString productId;    // "0001"
    QString manufacturer; // from the device, else from udev's hardware database
    QString product;
    QString serialNumber;
    QString interfaceNumber; // "00"
    QString physicalPath;    // where it is plugged in: the USB device's sysfs devpath
    bool console = false;    // the kernel writes its console (boot and kernel messages) here

    // The key its COM number is remembered by: serial number (with vendor and product id) and
    // interface number; without a serial number, the physical port path and interface number.
    QString identity() const;

    // "Area-Imaging Scanner by Scanner Maker (USB 1209:0001, serial 20150CE5C5) on /dev/ttyACM0"
    QString displayName() const;

    // "Area-Imaging Scanner": the product name, else what kind of port it is.
    QString shortName() const;

    bool operator==(const SerialDevice&) const = default;
};

// k for a node named /dev/ttyS<k>, else -1.
int onBoardIndexOfNode(const QString& node);

// The tty names ("ttyS0") the kernel writes its console to, from the text of
// /sys/class/tty/console/active ("tty0 ttyS0") and of /proc/consoles (a line a console:
// "ttyS0                -W- (EC p a)    4:64").
QStringList consoleTtyNames(const QByteArray& active, const QByteArray& consoles);

// The same, read from this system now.
QStringList consoleTtyNames();

// What stands behind an on-board port's node, read from sysfs alone: opening the port to find
// out would raise DTR and RTS on whatever is attached.
enum class OnBoardHardware {
    Absent,     // no such tty
    NoHardware, // the driver keeps the node, but no UART answers (its type reads 0)
    Uart,       // a UART is there
};
OnBoardHardware onBoardHardware(const QString& node);

} // namespace devices

Q_DECLARE_METATYPE(devices::SerialDevice)
