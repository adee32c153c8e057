#pragma once

#include "devices/serial_device.h"

// Devices as the tests describe them: a USB scanner with every string, and an on-board port.
inline devices::SerialDevice scanner() {
    devices::SerialDevice d;
    d.kind = devices::SerialKind::Usb;
    d.node = QStringLiteral("/dev/ttyACM0");
    d.driver = QStringLiteral("cdc_acm");
    d.vendorId = QStringLiteral("1209");
    d.productId = QStringLiteral("0001");
    d.manufacturer = QStringLiteral("Scanner Maker");
    d.product = QStringLiteral("Area-Imaging Scanner");
    d.serialNumber = QStringLiteral("20150CE5C5");
    d.interfaceNumber = QStringLiteral("00");
    d.physicalPath = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-2");
    return d;
}

inline devices::SerialDevice onBoard(int index) {
    devices::SerialDevice d;
    d.kind = devices::SerialKind::OnBoard;
    d.node = QStringLiteral("/dev/ttyS%1").arg(index);
    d.driver = QStringLiteral("serial8250");
    return d;
}
