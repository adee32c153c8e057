#pragma once

// umockdev testbeds with serial devices: USB scanners and adapters, on-board UARTs and other
// terminals, plugged in and out as the kernel and udev would report them. A process that makes a
// testbed runs under umockdev's preload library (umockdev-wrapper).

#include <QFile>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// GLib names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <umockdev.h>

#include <memory>
#pragma pop_macro("signals")

namespace testbed {

// A USB serial device as the kernel shows it: the USB device, its interface, for a USB-serial
// adapter the driver's port, and the tty.
struct Usb {
    QString port = {}; // hub port chain: "1-2"
    QString tty = {};  // "ttyACM0"
    QString vendorId = {}, productId = {}, manufacturer = {}, product = {}, serial = {};
    QString driver = QStringLiteral("cdc_acm");
    QString databaseVendor = {}, databaseModel = {}; // udev's hardware database names
    QString byId = {};

    QString usbPath() const {
        return QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/") + port;
    }
    QString interfacePath() const {
        return usbPath() + QLatin1Char('/') + port + QStringLiteral(":1.0");
    }
    QString ttyPath() const {
        const QString interface = interfacePath();
        return driver == QLatin1String("cdc_acm")
                   ? interface + QStringLiteral("/tty/") + tty
                   : interface + QLatin1Char('/') + tty + QStringLiteral("/tty/") + tty;
    }
    // The tty, the usb-serial port (adapters), the interface, the USB device.
    QStringList devicePaths() const {
        QStringList paths{ttyPath()};
        const QString interface = interfacePath();
        if (driver != QLatin1String("cdc_acm"))
            paths << interface + QLatin1Char('/') + tty;
        return paths << interface << usbPath();
    }
    Usb at(const QString& newPort, const QString& newTty) const {
        Usb moved = *this;
        moved.port = newPort;
        moved.tty = newTty;
        return moved;
    }

    // With `withNode`, the testbed makes the /dev node (a pseudo-terminal); it cannot make one
    // of the same name twice, so a device plugged in again finds its old node.
    QString description(bool withNode = true) const {
        QString text = QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n"
                                      "E: DRIVER=usb\nA: idVendor=%2\nA: idProduct=%3\n")
                           .arg(usbPath(), vendorId, productId);
        if (!manufacturer.isEmpty())
            text += QStringLiteral("A: manufacturer=%1\n").arg(manufacturer);
        if (!product.isEmpty())
            text += QStringLiteral("A: product=%1\n").arg(product);
        if (!serial.isEmpty())
            text += QStringLiteral("A: serial=%1\n").arg(serial);
        const QString interface = interfacePath();
        const bool acm = driver == QLatin1String("cdc_acm");
        text += QStringLiteral("\nP: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
                               "E: DRIVER=%2\nL: driver=../../../../../../bus/usb/drivers/%2\n"
                               "A: bInterfaceNumber=00\n")
                    .arg(interface, acm ? driver : QStringLiteral("usbserial_generic"));
        if (!acm)
            text += QStringLiteral("\nP: %1/%2\nE: SUBSYSTEM=usb-serial\nE: DRIVER=%3\n"
                                   "L: driver=../../../../../../../bus/usb-serial/drivers/%3\n")
                        .arg(interface, tty, driver);
        text += QStringLiteral("\nP: %1\n%3E: SUBSYSTEM=tty\nE: DEVNAME=/dev/%2\n")
                    .arg(ttyPath(), tty, withNode ? QStringLiteral("N: %1\n").arg(tty) : QString());
        if (!databaseVendor.isEmpty())
            text += QStringLiteral("E: ID_VENDOR_FROM_DATABASE=%1\n").arg(databaseVendor);
        if (!databaseModel.isEmpty())
            text += QStringLiteral("E: ID_MODEL_FROM_DATABASE=%1\n").arg(databaseModel);
        if (!byId.isEmpty())
            text += QStringLiteral("E: DEVLINKS=%1 /dev/serial/by-path/pci-0000:00:14.0-usb-0:%2\n")
                        .arg(byId, port);
        return text;
    }
};

inline Usb scanner() {
    return {.port = QStringLiteral("1-2"),
            .tty = QStringLiteral("ttyACM0"),
            .vendorId = QStringLiteral("1209"),
            .productId = QStringLiteral("0001"),
            .manufacturer = QStringLiteral("Scanner Maker"),
            .product = QStringLiteral("Area-Imaging Scanner"),
            .serial = QStringLiteral("20150CE5C5"),
            .byId = QStringLiteral(
                "/dev/serial/by-id/usb-Scanner_Maker_Area-Imaging_Scanner_20150CE5C5-if00")};
}

inline Usb ftdi() {
    return {.port = QStringLiteral("1-3"),
            .tty = QStringLiteral("ttyUSB0"),
            .vendorId = QStringLiteral("0403"),
            .productId = QStringLiteral("6001"),
            .manufacturer = QStringLiteral("FTDI"),
            .product = QStringLiteral("FT232R USB UART"),
            .serial = QStringLiteral("A50285BI"),
            .driver = QStringLiteral("ftdi_sio")};
}

// An adapter that gives neither names nor a serial number; udev's database knows its ids.
inline Usb ch340() {
    return {.port = QStringLiteral("1-4"),
            .tty = QStringLiteral("ttyUSB1"),
            .vendorId = QStringLiteral("1a86"),
            .productId = QStringLiteral("7523"),
            .driver = QStringLiteral("ch341"),
            .databaseVendor = QStringLiteral("QinHeng Electronics"),
            .databaseModel = QStringLiteral("CH340 serial converter")};
}

inline const QString onBoardUarts =
    QStringLiteral("P: /devices/platform/serial8250\nE: SUBSYSTEM=platform\nE: DRIVER=serial8250\n"
                   "L: driver=../../../bus/platform/drivers/serial8250\n\n"
                   "P: /devices/platform/serial8250/tty/ttyS0\nN: ttyS0\nE: SUBSYSTEM=tty\nE: "
                   "DEVNAME=/dev/ttyS0\nA: type=4\n\n"
                   // The 8250 driver's placeholder: no UART behind it.
                   "P: /devices/platform/serial8250/tty/ttyS3\nN: ttyS3\nE: SUBSYSTEM=tty\nE: "
                   "DEVNAME=/dev/ttyS3\nA: type=0\n");

inline const QString otherTerminals = QStringLiteral(
    "P: /devices/virtual/tty/tty0\nN: tty0\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/tty0\n\n"
    "P: /devices/platform/fe201000.serial\nE: SUBSYSTEM=amba\nE: DRIVER=uart-pl011\n"
    "L: driver=../../../bus/amba/drivers/uart-pl011\n\n"
    "P: /devices/platform/fe201000.serial/tty/ttyAMA0\nN: ttyAMA0\nE: SUBSYSTEM=tty\nE: "
    "DEVNAME=/dev/ttyAMA0\n"
    "A: type=1\n\n"
    "P: /devices/virtual/tty/rfcomm0\nN: rfcomm0\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/rfcomm0\n");

// Where the testbed keeps a /dev node, seen from outside the preload library.
inline QString devNode(const QString& name) {
    return qEnvironmentVariable("UMOCKDEV_DIR") + QStringLiteral("/dev/") + name;
}

// One testbed for a test: devices described, plugged and unplugged.
class Testbed {
public:
    Testbed() : bed_(umockdev_testbed_new()) {}
    ~Testbed() { g_object_unref(bed_); }
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    UMockdevTestbed* get() const { return bed_; }

    // Adds the devices of a description (P:, N:, E:, A: and L: lines); each emits an "add".
    bool add(const QString& description) {
        GError* error = nullptr;
        const bool ok =
            umockdev_testbed_add_from_string(bed_, description.toUtf8().constData(), &error);
        if (error != nullptr) {
            qWarning("%s", error->message);
            g_error_free(error);
        }
        return ok;
    }

    // The device appears, with the node it had before if it was plugged in before.
    bool plug(const Usb& device) {
        const bool again = nodesMade_.contains(device.tty);
        if (!add(device.description(!again)))
            return false;
        if (again && !QFile::rename(devNode(QStringLiteral(".unplugged.") + device.tty),
                                    devNode(device.tty)))
            return false;
        nodesMade_.insert(device.tty);
        return true;
    }

    void unplug(const Usb& device) {
        const QByteArray tty = QStringLiteral("/sys%1").arg(device.ttyPath()).toUtf8();
        umockdev_testbed_uevent(bed_, tty.constData(), "remove");
        // Child first, each with its entry under /sys/bus, so that the names can come again.
        for (const QString& path : device.devicePaths())
            umockdev_testbed_remove_device(bed_, QStringLiteral("/sys%1").arg(path).toUtf8());
        // The kernel removes the node with the device; the testbed leaves it. Moving it aside
        // (and back when the device returns) is what a watch on /dev sees, and keeps its
        // terminal.
        QFile::rename(devNode(device.tty), devNode(QStringLiteral(".unplugged.") + device.tty));
    }

    // The far end of a device's node: what is written there, the device sends.
    int deviceSide(const QString& node) const {
        return umockdev_testbed_get_dev_fd(bed_, node.toUtf8().constData());
    }

private:
    UMockdevTestbed* bed_;
    // Nodes made once: the testbed cannot make one of the same name twice.
    QSet<QString> nodesMade_;
};

// What each test function of a testbed suite starts from: a fresh testbed and an empty folder for
// the program's configuration, made in the suite's init() and dropped in its cleanup().
struct TestbedRun {
    std::unique_ptr<Testbed> bed;
    std::unique_ptr<QTemporaryDir> config;

    void start() {
        bed = std::make_unique<Testbed>();
        config = std::make_unique<QTemporaryDir>();
    }
    void stop() {
        bed.reset();
        config.reset();
    }
};

} // namespace testbed
