#include "devices/udev_scan.h"

#include <libudev.h>

#include <algorithm>

namespace devices {

void UdevDeleter::operator()(udev* u) const {
    udev_unref(u);
}
void UdevDeleter::operator()(udev_device* d) const {
    udev_device_unref(d);
}
void UdevDeleter::operator()(udev_monitor* m) const {
    udev_monitor_unref(m);
}

namespace {

// Sysfs and udev strings as one clean line (a serial number with a stray newline must not break
// the table file).
QString clean(const char* text) {
    return text == nullptr ? QString() : QString::fromUtf8(text).simplified();
}

QString firstOf(const QString& a, const QString& b) {
    return a.isEmpty() ? b : a;
}

QString byIdLink(udev_device* tty) {
    const QStringList links =
        clean(udev_device_get_property_value(tty, "DEVLINKS")).split(QLatin1Char(' '));
    for (const QString& link : links)
        if (link.startsWith(QLatin1String("/dev/serial/by-id/")))
            return link;
    return {};
}

// The driver nearest to the tty, passing over the serial core's own port and controller
// devices (subsystem serial-base), which say nothing about the hardware.
QString nearestDriver(udev_device* tty) {
    for (udev_device* d = udev_device_get_parent(tty); d != nullptr;
         d = udev_device_get_parent(d)) {
        const char* subsystem = udev_device_get_subsystem(d);
        if (subsystem != nullptr && qstrcmp(subsystem, "serial-base") == 0)
            continue;
        if (const char* driver = udev_device_get_driver(d))
            return QString::fromUtf8(driver);
    }
    return {};
}

// What a USB device says of itself, and udev of it, for its tty `tty`.
void describeUsb(SerialDevice& device, udev_device* tty, udev_device* usbDevice) {
    udev_device* usbInterface =
        udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
    device.kind = SerialKind::Usb;
    // A USB-serial adapter's tty hangs below a port of its usb-serial driver (ftdi_sio,
    // cp210x, ch341, pl2303...); a CDC-ACM device's directly below its interface.
    device.driver = firstOf(nearestDriver(tty), udevProperty(tty, "ID_USB_DRIVER"));
    // What the device itself says first, then udev's properties (the hardware database's
    // names for the ids when the device gives none).
    device.vendorId =
        firstOf(sysAttribute(usbDevice, "idVendor"), udevProperty(tty, "ID_VENDOR_ID"));
    device.productId =
        firstOf(sysAttribute(usbDevice, "idProduct"), udevProperty(tty, "ID_MODEL_ID"));
    device.manufacturer = firstOf(sysAttribute(usbDevice, "manufacturer"),
                                  udevProperty(tty, "ID_VENDOR_FROM_DATABASE"));
    device.product =
        firstOf(sysAttribute(usbDevice, "product"), udevProperty(tty, "ID_MODEL_FROM_DATABASE"));
    device.serialNumber =
        firstOf(sysAttribute(usbDevice, "serial"), udevProperty(tty, "ID_SERIAL_SHORT"));
    device.interfaceNumber = firstOf(sysAttribute(usbInterface, "bInterfaceNumber"),
                                     udevProperty(tty, "ID_USB_INTERFACE_NUM"));
    // The sysfs path of the USB device names the bus and the chain of hub ports it is plugged
    // into. It is read from sysfs rather than taken from udev's ID_PATH so that it is the same
    // with and without a udev daemon.
    device.physicalPath = QString::fromUtf8(udev_device_get_devpath(usbDevice));
}

} // namespace

QString sysAttribute(udev_device* device, const char* name) {
    return device == nullptr ? QString() : clean(udev_device_get_sysattr_value(device, name));
}

QString udevProperty(udev_device* device, const char* name) {
    return device == nullptr ? QString() : clean(udev_device_get_property_value(device, name));
}

std::optional<SerialDevice> serialDeviceFromUdev(udev_device* tty) {
    const char* node = udev_device_get_devnode(tty);
    const char* sysname = udev_device_get_sysname(tty);
    if (node == nullptr || sysname == nullptr)
        return std::nullopt;

    SerialDevice device;
    device.node = QString::fromUtf8(node);
    device.sysPath = QString::fromUtf8(udev_device_get_syspath(tty));
    device.byIdLink = byIdLink(tty);
    const QString devPath = QString::fromUtf8(udev_device_get_devpath(tty));

    // Parents are owned by the child: no unref.
    if (udev_device* usbDevice =
            udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device")) {
        describeUsb(device, tty, usbDevice);
        return device;
    }

    if (qstrncmp(sysname, "rfcomm", 6) == 0) {
        device.kind = SerialKind::Bluetooth;
        device.driver = QStringLiteral("rfcomm");
        device.physicalPath = devPath;
        return device;
    }

    // Everything else must be a UART the serial core drives: a real parent device, and a port
    // type other than 0 (PORT_UNKNOWN). The 8250 driver registers ttyS0 to ttyS31 whether or
    // not a UART is there; the ones without read type 0. Virtual terminals have no parent.
    if (devPath.startsWith(QLatin1String("/devices/virtual/")) ||
        udev_device_get_parent(tty) == nullptr)
        return std::nullopt;
    const QString type = sysAttribute(tty, "type");
    bool typeOk = false;
    if (type.toInt(&typeOk) == 0 || !typeOk)
        return std::nullopt;
    device.kind = onBoardIndexOfNode(device.node) >= 0 ? SerialKind::OnBoard : SerialKind::Platform;
    device.driver = nearestDriver(tty);
    device.physicalPath = devPath;
    device.console = consoleTtyNames().contains(QString::fromUtf8(sysname));
    return device;
}

OnBoardHardware onBoardHardware(const QString& node) {
    const int index = onBoardIndexOfNode(node);
    if (index < 0)
        return OnBoardHardware::Absent;
    const UdevPtr context(udev_new());
    if (!context)
        return OnBoardHardware::Absent;
    const QByteArray sysname = "ttyS" + QByteArray::number(index);
    const UdevDevicePtr tty(
        udev_device_new_from_subsystem_sysname(context.get(), "tty", sysname.constData()));
    if (!tty)
        return OnBoardHardware::Absent;
    bool ok = false;
    const int type = sysAttribute(tty.get(), "type").toInt(&ok);
    return ok && type != 0 ? OnBoardHardware::Uart : OnBoardHardware::NoHardware;
}

QList<SerialDevice> listSerialDevices(udev* context) {
    QList<SerialDevice> devices;
    std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> enumerate(
        udev_enumerate_new(context), &udev_enumerate_unref);
    if (!enumerate)
        return devices;
    udev_enumerate_add_match_subsystem(enumerate.get(), "tty");
    udev_enumerate_scan_devices(enumerate.get());
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const UdevDevicePtr tty(
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry)));
        if (!tty)
            continue; // gone between the listing and the look
        if (std::optional<SerialDevice> device = serialDeviceFromUdev(tty.get()))
            devices.append(std::move(*device));
    }
    std::sort(devices.begin(), devices.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.node < b.node; });
    return devices;
}

} // namespace devices
