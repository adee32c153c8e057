#include "devices/serial_device.h"

#include "base/outside_text.h"

#include <QFile>
#include <QRegularExpression>

namespace devices {

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
        return base::outside_text::visible(product);
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
        QString text = shortName() + QLatin1Char(' ') + base::outside_text::visible(node);
        if (kind == SerialKind::Platform && !driver.isEmpty())
            text += QStringLiteral(" (%1)").arg(base::outside_text::visible(driver));
        return text;
    }
    QString text = shortName();
    if (!manufacturer.isEmpty())
        text += QStringLiteral(" by ") + base::outside_text::visible(manufacturer);
    QStringList details{
        QStringLiteral("USB %1:%2")
            .arg(base::outside_text::visible(vendorId), base::outside_text::visible(productId))};
    if (!serialNumber.isEmpty())
        details << QStringLiteral("serial ") + base::outside_text::visible(serialNumber);
    // A device with several ports (dual FTDI) tells them apart by interface.
    if (!interfaceNumber.isEmpty() && interfaceNumber != QLatin1String("00"))
        details << QStringLiteral("interface ") + base::outside_text::visible(interfaceNumber);
    return text + QStringLiteral(" (%1) on %2")
                      .arg(details.join(QStringLiteral(", ")), base::outside_text::visible(node));
}

int onBoardIndexOfNode(const QString& node) {
    static const QRegularExpression pattern(QStringLiteral("^/dev/ttyS(\\d{1,4})$"));
    const QRegularExpressionMatch match = pattern.match(node);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QStringList consoleTtyNames(const QByteArray& active, const QByteArray& consoles) {
    QStringList names;
    auto add = [&names](const QByteArray& word) {
        const QString name = QString::fromUtf8(word);
        // Only device names: a stray path or garbage never matches a node.
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*$"));
        if (plain.match(name).hasMatch() && !names.contains(name))
            names << name;
    };
    for (const QByteArray& word : active.simplified().split(' '))
        if (!word.isEmpty())
            add(word);
    for (const QByteArray& line : consoles.split('\n')) {
        const QByteArray simple = line.simplified();
        if (!simple.isEmpty())
            add(simple.left(simple.indexOf(' ') < 0 ? simple.size() : simple.indexOf(' ')));
    }
    return names;
}

QStringList consoleTtyNames() {
    auto readAll = [](const char* path) {
        QFile file(QString::fromLatin1(path));
        // Both are a few bytes; a file that is something else is not read past a page.
        return file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
    };
    // /proc belongs to the running kernel, sysfs to what the program is shown (a testbed shows
    // a sysfs of its own): the kernel's list counts only where sysfs has the console too.
    if (!QFile::exists(QStringLiteral("/sys/class/tty/console")))
        return {};
    return consoleTtyNames(readAll("/sys/class/tty/console/active"), readAll("/proc/consoles"));
}

} // namespace devices
