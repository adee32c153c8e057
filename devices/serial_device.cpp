#include "devices/serial_device.h"

#include "base/outside_text.h"

#include <QRegularExpression>

namespace serial_comm {

QString SerialDevice::identity() const {
    switch (kind) {
    case SerialKind::OnBoard:
        return QStringLiteral("onboard %1").arg(node);
    case SerialKind::Usb:
        // The vendor and product id go with the serial number: two makers may well use the same
        // serial numbers, while one scanner moved to another USB port keeps all three.
        if (!serialNumber.isEmpty())
            return QStringLiteral("usb %1:%2 serial %3 if %4")
                .arg(vendorId, productId, serialNumber, interfaceNumber);
        return QStringLiteral("usb-port %1 if %2").arg(physicalPath, interfaceNumber);
    case SerialKind::Platform:
        return QStringLiteral("port %1").arg(physicalPath);
    case SerialKind::Bluetooth:
        return QStringLiteral("bluetooth %1").arg(node);
    }
    return node;
}

QString SerialDevice::shortName() const {
    if (!product.isEmpty())
        return outside_text::visible(product);
    switch (kind) {
    case SerialKind::OnBoard:
        return QStringLiteral("on-board serial port");
    case SerialKind::Usb:
        return driver == QLatin1String("cdc_acm") ? QStringLiteral("USB serial device")
                                                  : QStringLiteral("USB-serial adapter");
    case SerialKind::Platform:
        return QStringLiteral("serial port");
    case SerialKind::Bluetooth:
        return QStringLiteral("Bluetooth serial link");
    }
    return QStringLiteral("serial device");
}

QString SerialDevice::displayName() const {
    if (kind != SerialKind::Usb) {
        QString text = shortName() + QLatin1Char(' ') + outside_text::visible(node);
        if (kind == SerialKind::Platform && !driver.isEmpty())
            text += QStringLiteral(" (%1)").arg(outside_text::visible(driver));
        return text;
    }
    QString text = shortName();
    if (!manufacturer.isEmpty())
        text += QStringLiteral(" by ") + outside_text::visible(manufacturer);
    QStringList details{
        QStringLiteral("USB %1:%2")
            .arg(outside_text::visible(vendorId), outside_text::visible(productId))};
    if (!serialNumber.isEmpty())
        details << QStringLiteral("serial ") + outside_text::visible(serialNumber);
    // A device with several ports (dual FTDI) tells them apart by interface.
    if (!interfaceNumber.isEmpty() && interfaceNumber != QLatin1String("00"))
        details << QStringLiteral("interface ") + outside_text::visible(interfaceNumber);
    return text + QStringLiteral(" (%1) on %2")
                      .arg(details.join(QStringLiteral(", ")), outside_text::visible(node));
}

int onBoardIndexOfNode(const QString& node) {
    static const QRegularExpression pattern(QStringLiteral("^/dev/ttyS(\\d{1,4})$"));
    const QRegularExpressionMatch match = pattern.match(node);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace serial_comm
