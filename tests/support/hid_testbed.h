// USB HID devices for umockdev testbeds: the USB device, its HID interface, the hid device with
// its report descriptor (a binary attribute), and its input or hidraw nodes.
#pragma once

#include <QString>

namespace testbed {

struct Hid {
    QString port; // hub port chain: "1-5"
    QString vendorId, productId, manufacturer, product;
    QString descriptorHex;                            // the report descriptor
    QString interfaceProtocol = QStringLiteral("00"); // 01: boot keyboard
    bool keyboardInput = false;                       // an input device udev calls a keyboard
    int number = 1; // of the hid device, its input and hidraw nodes

    QString usbPath() const {
        return QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/") + port;
    }
    QString hidPath() const {
        return usbPath() + QStringLiteral("/%1:1.0/0003:%2:%3.%4")
                               .arg(port, vendorId.toUpper(), productId.toUpper())
                               .arg(number, 4, 10, QLatin1Char('0'));
    }

    QString description() const {
        QString text =
            QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=%2\n"
                           "A: idProduct=%3\nA: manufacturer=%4\nA: product=%5\n\n")
                .arg(usbPath(), vendorId, productId, manufacturer, product);
        text += QStringLiteral("P: %1/%2:1.0\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\n"
                               "A: bInterfaceClass=03\nA: bInterfaceProtocol=%3\n\n")
                    .arg(usbPath(), port, interfaceProtocol);
        text += QStringLiteral("P: %1\nE: SUBSYSTEM=hid\nE: DRIVER=hid-generic\n"
                               "H: report_descriptor=%2\n\n")
                    .arg(hidPath(), descriptorHex);
        if (keyboardInput)
            text += QStringLiteral("P: %1/input/input%2\nE: SUBSYSTEM=input\nE: ID_INPUT=1\n"
                                   "E: ID_INPUT_KEYBOARD=1\n\n"
                                   "P: %1/input/input%2/event%2\nN: input/event%2\n"
                                   "E: SUBSYSTEM=input\nE: DEVNAME=/dev/input/event%2\n\n")
                        .arg(hidPath())
                        .arg(number);
        text += QStringLiteral("P: %1/hidraw/hidraw%2\nN: hidraw%2\nE: SUBSYSTEM=hidraw\n"
                               "E: DEVNAME=/dev/hidraw%2\n")
                    .arg(hidPath())
                    .arg(number);
        return text;
    }
};

// The descriptors: a boot keyboard's start, a point-of-sale scanner's, a mouse's.
inline const QString BootKeyboardDescriptor =
    QStringLiteral("05010906A101050719E029E715002501750195088102C0");
inline const QString PointOfSaleDescriptor =
    QStringLiteral("068C000902A101091215002600FF7508953F8102C0");
inline const QString MouseDescriptor = QStringLiteral("05010902A1010901A100C0C0");

inline Hid keyboardModeScanner() {
    return {QStringLiteral("1-5"),
            QStringLiteral("1209"),
            QStringLiteral("0002"),
            QStringLiteral("Scanner Maker"),
            QStringLiteral("Handheld Scanner"),
            BootKeyboardDescriptor,
            QStringLiteral("01"),
            true,
            1};
}

inline Hid pointOfSaleScanner() {
    return {QStringLiteral("1-6"),
            QStringLiteral("1209"),
            QStringLiteral("0003"),
            QStringLiteral("Scanner Maker"),
            QStringLiteral("Presentation Imager"),
            PointOfSaleDescriptor,
            QStringLiteral("00"),
            false,
            2};
}

inline Hid ordinaryKeyboard() {
    return {QStringLiteral("1-7"),
            QStringLiteral("046d"),
            QStringLiteral("c31c"),
            QStringLiteral("Logitech"),
            QStringLiteral("USB Keyboard"),
            BootKeyboardDescriptor,
            QStringLiteral("01"),
            true,
            3};
}

// A counter scanner in point-of-sale mode whose reports carry the scan: report 2 with the three
// symbology identifiers, eight bytes of decoded data and the "continued" bit.
inline const QString CounterScannerDescriptor =
    QStringLiteral("058C0902A1010912A1028502150026FF007508058C09FB09FC09FD95038102"
                   "09FE950882020125017501950109FF8102750795018103C0C0");

inline Hid counterScanner() {
    return {QStringLiteral("1-9"),
            QStringLiteral("1209"),
            QStringLiteral("0004"),
            QStringLiteral("Scanner Maker"),
            QStringLiteral("Counter Scanner"),
            CounterScannerDescriptor,
            QStringLiteral("00"),
            false,
            5};
}

inline Hid mouse() {
    return {QStringLiteral("1-8"),
            QStringLiteral("046d"),
            QStringLiteral("c077"),
            QStringLiteral("Logitech"),
            QStringLiteral("USB Optical Mouse"),
            MouseDescriptor,
            QStringLiteral("02"),
            false,
            4};
}

} // namespace testbed
