#include "ui/window_texts.h"

#include "base/number_text.h"

#include "base/com_ports.h"
#include "base/outside_text.h"

#include <QHash>
#include <QSet>

namespace ui {

QString overflowText(const base::NumberOverflow& overflow) {
    switch (overflow.kind) {
    case base::NumberOverflow::Kind::Radix:
        return QStringLiteral("Overflow: %1 needs more than 32 bits").arg(overflow.number);
    case base::NumberOverflow::Kind::Double:
        return QStringLiteral("Overflow: %1 is too large to hold as a number").arg(overflow.number);
    case base::NumberOverflow::Kind::Finite:
        return QStringLiteral("Overflow: the number is too large to hold");
    case base::NumberOverflow::Kind::Int16:
        return QStringLiteral("Overflow: %1 is outside -32768 to 32767").arg(overflow.number);
    }
    return {};
}

QString portTooltipText(const devices::PortInfo& port) {
    const QString name = base::com_ports::name(port.number);
    const bool onBoard = port.device && port.device->kind == devices::SerialKind::OnBoard;
    const QString state = !port.present ? QStringLiteral("not connected")
                          : onBoard     ? QStringLiteral("present")
                                        : QStringLiteral("connected");
    if (!port.overridePath.isEmpty())
        return QStringLiteral("%1: %2 (set by LINNET_COM%3), %4")
            .arg(name, base::outside_text::visible(port.overridePath), QString::number(port.number),
                 state);
    if (port.device && port.device->console && port.present)
        return QStringLiteral("%1: %2, the system console (not a scanner's port)")
            .arg(name, port.device->displayName());
    if (port.device)
        return QStringLiteral("%1: %2, %3").arg(name, port.device->displayName(), state);
    if (!port.rememberedIdentity.isEmpty())
        return QStringLiteral("%1: kept for a device seen before (%2), not connected")
            .arg(name, base::outside_text::visible(port.rememberedIdentity));
    return QStringLiteral("%1: no serial device has this number").arg(name);
}

QString noHardwareText(const QString& node) {
    return QStringLiteral("%1 has no hardware behind it: the system keeps the name, but no serial "
                          "port answers there.")
        .arg(base::outside_text::visible(node));
}

QString noSerialDeviceText() {
    return QStringLiteral("No serial device is connected now. Check the cable and that the "
                          "scanner is switched on. A scanner in keyboard (HID) mode is no serial "
                          "device: switch it to its serial (USB COM) mode first, usually by "
                          "scanning a set-up code from its manual.");
}

QString connectedNowText(const QList<devices::OverriddenPort>& overrides,
                         const QList<devices::NumberedDevice>& present) {
    QStringList connected;
    QStringList onBoard;
    QStringList unreachable; // present, but no COM number opens them
    QList<int> choices;      // numbers that open something connected
    QSet<int> overridden;
    for (const devices::OverriddenPort& port : overrides) {
        overridden.insert(port.number);
        if (!port.present)
            continue;
        connected << QStringLiteral("%1 = %2 (set by %3)")
                         .arg(base::com_ports::name(port.number),
                              base::outside_text::visible(port.path),
                              base::com_ports::variableName(port.number));
        choices << port.number;
    }
    for (const devices::NumberedDevice& entry : present) {
        const QString what = QStringLiteral("%1 (%2)").arg(
            entry.device.shortName(), base::outside_text::visible(entry.device.node));
        if (entry.number > 0 && overridden.contains(entry.number)) {
            unreachable << QStringLiteral("%1, while %2 is set")
                               .arg(what, base::com_ports::variableName(entry.number));
            continue;
        }
        const QString item = QStringLiteral("%1 = %2").arg(
            entry.number > 0 ? base::com_ports::name(entry.number) : QStringLiteral("no number"),
            what);
        if (entry.device.kind == devices::SerialKind::OnBoard) {
            onBoard << (entry.device.console ? item + QStringLiteral(", the system console")
                                             : item);
        } else {
            connected << item;
            if (entry.number > 0)
                choices << entry.number;
        }
    }
    QString text =
        connected.isEmpty()
            ? noSerialDeviceText()
            : QStringLiteral("Connected now: %1.").arg(connected.join(QStringLiteral(", ")));
    if (choices.size() == 1)
        text += QStringLiteral(" Choose Com%1 in Port Setting.").arg(choices.first());
    else if (choices.size() > 1)
        text += QStringLiteral(" Choose the scanner's number in Port Setting.");
    if (!onBoard.isEmpty())
        text += QStringLiteral(" On-board serial ports present (nothing is known to be attached): "
                               "%1.")
                    .arg(onBoard.join(QStringLiteral(", ")));
    if (!unreachable.isEmpty())
        text +=
            QStringLiteral(" No COM number opens %1.").arg(unreachable.join(QStringLiteral("; ")));
    return text;
}

QString permissionHintText(const QString& node, const std::optional<devices::GroupAccess>& found) {
    if (!found)
        return QStringLiteral("Serial devices usually belong to the group \"dialout\": add your "
                              "user to it (sudo usermod -aG dialout $USER), then log out and in "
                              "again.");
    const devices::GroupAccess& access = *found;
    if (access.inSession)
        return QStringLiteral("%1 belongs to the group \"%2\", which your user is in, yet it may "
                              "not be opened: check its permissions (ls -l %1).")
            .arg(base::outside_text::visible(node), base::outside_text::visible(access.group));
    if (access.inAccount)
        return QStringLiteral("%1 belongs to the group \"%2\". Your user was added to it after "
                              "this session began: log out and in again.")
            .arg(base::outside_text::visible(node), base::outside_text::visible(access.group));
    return QStringLiteral("%1 belongs to the group \"%2\", which your user is not in: add it "
                          "first (sudo usermod -aG %2 $USER), then log out and in again.")
        .arg(base::outside_text::visible(node), base::outside_text::visible(access.group));
}

QString modemManagerHintText() {
    return QStringLiteral("To keep ModemManager away from this scanner, add a udev rule setting "
                          "ID_MM_DEVICE_IGNORE for it: Tools > Diagnose shows the rule with its "
                          "ids.");
}

QString modemManagerRule(const QString& vendorId, const QString& productId) {
    return QStringLiteral("ATTRS{idVendor}==\"%1\", ATTRS{idProduct}==\"%2\", "
                          "ENV{ID_MM_DEVICE_IGNORE}=\"1\"")
        .arg(base::outside_text::visible(vendorId), base::outside_text::visible(productId));
}

QString propertyHint(const QString& itemName) {
    static const QHash<QString, QString> hints{
        {QStringLiteral("MInputLen"),
         QStringLiteral("How many received characters the program takes at a time; 0 takes all "
                        "that are waiting, which suits a scanner.")},
        {QStringLiteral("MRThreshold"),
         QStringLiteral("How many received characters must be waiting before they are shown; 1 "
                        "shows each scan as it comes, which suits a scanner, and 0 shows "
                        "nothing.")},
        {QStringLiteral("MSThreshold"),
         QStringLiteral("How few characters must be left to send before the program is told it "
                        "may send more; 0 (never told) suits a scanner, which is rarely sent "
                        "to.")},
        {QStringLiteral("MParRep"),
         QStringLiteral("The character shown in place of one received with a parity error; \"?\" "
                        "makes such errors easy to see, and empty keeps the byte as it came.")},
        {QStringLiteral("MHCD"),
         QStringLiteral("Shows whether the device holds the Carrier Detect line (a modem's "
                        "line); most scanners leave it alone.")},
        {QStringLiteral("MHCTS"),
         QStringLiteral("Shows whether the device holds Clear To Send, its sign that it may be "
                        "sent to; a scanner that uses RTS/CTS flow control holds it while it is "
                        "ready.")},
        {QStringLiteral("MHDSR"),
         QStringLiteral("Shows whether the device holds Data Set Ready, its sign that it is on "
                        "and connected; many scanners hold it as soon as they have power.")},
    };
    return hints.value(itemName);
}

} // namespace ui
