#include "diagnose/window/diagnose_texts.h"

#include "diagnose/window/diagnosis_rows.h"

#include "base/com_ports.h"
#include "base/outside_text.h"
#include "ui/window_texts.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace diagnose {

namespace {

QString holdersText(const QList<port::DeviceHolder>& holders) {
    QStringList named;
    for (const port::DeviceHolder& holder : holders)
        // Both at once: a name holding "%1" must not take the process number's place.
        named << QStringLiteral("%1 (process %2)")
                     .arg(holder.name.isEmpty() ? QStringLiteral("a program")
                                                : base::outside_text::visible(holder.name),
                          QString::number(holder.pid));
    return named.join(QStringLiteral(", "));
}

bool modemManagerAmong(const QList<port::DeviceHolder>& holders) {
    for (const port::DeviceHolder& holder : holders) {
        if (holder.name == QLatin1String("ModemManager"))
            return true;
    }
    return false;
}

} // namespace

QString quietPortText(const PortQuiet& quiet, bool keyboardScanner) {
    if (quiet.quietMs < QuietPortMs)
        return {};
    const QString text = QStringLiteral("%1 is open and has received nothing for %2 s.")
                             .arg(base::com_ports::name(quiet.number))
                             .arg(quiet.quietMs / 1000);
    if (keyboardScanner)
        return text + QStringLiteral(" A scanner in keyboard mode is connected (below): its codes "
                                     "go to the window that has the focus, not to the port.");
    return text + QStringLiteral(" Check that the scanner is the device on %1 (below), that its "
                                 "baud rate, parity and data bits match Port Setting, and whether "
                                 "it waits for DTR or RTS (Properties, Tools).")
                      .arg(base::com_ports::name(quiet.number));
}

QString serialFindingText(const SerialFinding& finding) {
    const devices::SerialDevice& device = finding.device;
    // displayName() shows the device's own strings visibly already.
    const QString name = device.node.isEmpty() ? QString() : device.displayName();
    QString text;
    if (finding.overridePath) {
        text = QStringLiteral("%1 = %2 (set by %3)")
                   .arg(base::com_ports::name(finding.number),
                        base::outside_text::visible(*finding.overridePath),
                        base::com_ports::variableName(finding.number));
        if (!name.isEmpty())
            text += QStringLiteral(": ") + name;
        text += u'.';
        if (!finding.present)
            return text + QStringLiteral(" Nothing is there now: plug the device in, or set %1 "
                                         "to a device that exists.")
                              .arg(base::com_ports::variableName(finding.number));
    } else if (finding.number > 0) {
        text = QStringLiteral("%1: %2.").arg(base::com_ports::name(finding.number), name);
    } else if (finding.shadowedBy > 0) {
        return QStringLiteral("%1: no COM number opens it while %2 is set (%3 opens that "
                              "variable's device instead); unset %2 to reach it as %3.")
            .arg(name, base::com_ports::variableName(finding.shadowedBy),
                 base::com_ports::name(finding.shadowedBy));
    } else {
        text = QStringLiteral("No COM number: %1.").arg(name);
    }
    if (device.console)
        return text + QStringLiteral(" It is the system console: the kernel writes its messages "
                                     "there, so it is no scanner's port; leave it alone.");
    if (!finding.mayOpen)
        text += u' ' + ui::permissionHintText(finding.overridePath
                                                  ? QFile::decodeName(*finding.overridePath)
                                                  : device.node,
                                              finding.access);
    if (!finding.holders.isEmpty())
        text += QStringLiteral(" It is open in %1: while it is, opening it here is refused.")
                    .arg(holdersText(finding.holders));
    if (modemManagerAmong(finding.holders) && !device.vendorId.isEmpty())
        text += QStringLiteral(" ModemManager probes new serial devices and may keep this one. To "
                               "keep it away, put this line in "
                               "/etc/udev/rules.d/99-linnet-scanner.rules, run \"sudo udevadm "
                               "control --reload-rules\" and plug the scanner in again:\n    %1")
                    .arg(ui::modemManagerRule(device.vendorId, device.productId));
    if (finding.number > 0 && finding.mayOpen && finding.holders.isEmpty())
        text += QStringLiteral(" You may open it: choose %1 in Port Setting and open it.")
                    .arg(base::com_ports::name(finding.number));
    return text;
}

QString udevRuleFor(const devices::HidInput& input) {
    return udevRuleFor(input, input.kind == devices::HidKind::PointOfSaleScanner
                                  ? QStringLiteral("hidraw")
                                  : QStringLiteral("input"));
}

QString udevRuleFor(const devices::HidInput& input, const QString& subsystem) {
    // Only hexadecimal ids reach the rule: anything else could change what it matches.
    const auto hex = [](const QString& id) {
        static const QRegularExpression four(QStringLiteral("^[0-9a-fA-F]{4}$"));
        return four.match(id).hasMatch() ? id.toLower() : QStringLiteral("0000");
    };
    return QStringLiteral("SUBSYSTEM==\"%1\", ATTRS{idVendor}==\"%2\", "
                          "ATTRS{idProduct}==\"%3\", TAG+=\"uaccess\"")
        .arg(subsystem, hex(input.vendorId), hex(input.productId));
}

QString udevRuleFile() {
    return QStringLiteral("/etc/udev/rules.d/70-linnet-scanner.rules");
}

QString hidFindingText(const devices::HidInput& input) {
    const QString name = base::outside_text::visible(input.description());
    switch (input.kind) {
    case devices::HidKind::KeyboardScanner:
        if (input.eventReadable)
            return QStringLiteral("%1 is connected as a keyboard. Linnet-Test reads its keys "
                                  "directly (as typed for US English): every code it scans is a "
                                  "row of the Scan Log named after it. Its keys still reach the "
                                  "window that has the focus, unless 'Catch its keys here' is "
                                  "ticked below. To use it as a serial port, scan the 'USB "
                                  "serial' or 'USB COM' configuration code in its manual.")
                .arg(name);
        if (!input.eventNode.isEmpty())
            return QStringLiteral("%1 is connected as a keyboard: it types its codes into "
                                  "whichever window has the focus, so no serial port receives "
                                  "them. Linnet-Test can read its keys directly, but you may not "
                                  "read its node %2. To allow it for the person at this computer "
                                  "and for this scanner only, put this line in %3 (as root, with "
                                  "Copy Rule):\n%4\nthen run 'sudo udevadm control --reload' and "
                                  "plug the scanner in again. Joining the 'input' group is not "
                                  "needed, and would let every program read every keyboard. "
                                  "Meanwhile, test it in the Scan Log's keyboard field.")
                .arg(name, base::outside_text::visible(input.eventNode), udevRuleFile(),
                     udevRuleFor(input));
        return QStringLiteral("%1 is connected as a keyboard: it types its codes into whichever "
                              "window has the focus, so no serial port receives them. To test it "
                              "here, use the keyboard field of the Scan Log; to use it as a "
                              "serial port, scan the 'USB serial' or 'USB COM' configuration "
                              "code in its manual.")
            .arg(name);
    case devices::HidKind::PointOfSaleScanner:
        if (input.rawReadable)
            return QStringLiteral("%1 is connected as a HID point-of-sale scanner: Linnet-Test "
                                  "reads it directly, and every code it scans is a row of the "
                                  "Scan Log named after it.")
                .arg(name);
        if (!input.rawNode.isEmpty())
            return QStringLiteral(
                       "%1 is connected as a HID point-of-sale scanner, which Linnet-Test "
                       "reads directly, but you may not read its node %2. To allow it "
                       "for the person at this computer and for this scanner only, put "
                       "this line in %3 (as root, with Copy Rule):\n%4\nthen run "
                       "'sudo udevadm control --reload' and plug the scanner in again. "
                       "Joining the 'input' group is not needed, and would let every "
                       "program read every keyboard.")
                .arg(name, base::outside_text::visible(input.rawNode), udevRuleFile(),
                     udevRuleFor(input));
        return QStringLiteral("%1 is connected as a HID point-of-sale scanner: it sends its codes "
                              "as HID reports that neither a serial port nor the keyboard "
                              "receives, and the system gives it no node to read them from. "
                              "Scan the 'USB serial' (or 'USB COM') configuration code in its "
                              "manual, or 'USB keyboard' to test it in the Scan Log's keyboard "
                              "field.")
            .arg(name);
    case devices::HidKind::Keyboard:
        break;
    }
    return QStringLiteral("%1 is a keyboard.").arg(name);
}

QString lookingText() {
    return QStringLiteral("Looking at the devices...");
}

QString nothingConnectedText() {
    return QStringLiteral(
        "No serial device and no scanner is connected. Plug the scanner in; if it beeps but "
        "shows up nowhere, it may be in a mode this computer does not see (Bluetooth, or a "
        "cable for another interface).");
}

QString keyboardsNotListedText(int keyboards) {
    return QStringLiteral("%1 keyboard%2 whose names do not say scanner %3 not listed; a scanner "
                          "in keyboard mode may be among them: check it below.")
        .arg(keyboards)
        .arg(keyboards == 1 ? QString() : QStringLiteral("s"))
        .arg(keyboards == 1 ? QStringLiteral("is") : QStringLiteral("are"));
}

QString keyboardsCountText(int keyboards) {
    return keyboards == 1 ? QStringLiteral("1 keyboard")
                          : QStringLiteral("%1 keyboards").arg(keyboards);
}

QString noComNumberWord() {
    return QStringLiteral("no COM number");
}

QString openPortWord() {
    return QStringLiteral("the open port");
}

QString hidKindWord(devices::HidKind kind) {
    switch (kind) {
    case devices::HidKind::KeyboardScanner:
        return QStringLiteral("keyboard mode");
    case devices::HidKind::PointOfSaleScanner:
        return QStringLiteral("HID point-of-sale");
    case devices::HidKind::Keyboard:
        break;
    }
    return QStringLiteral("keyboard");
}

QString rowStatusWord(RowStatus status) {
    switch (status) {
    case RowStatus::Ready:
        return QStringLiteral("ready");
    case RowStatus::NeedsAction:
        return QStringLiteral("needs action");
    case RowStatus::NotAScanner:
        break;
    }
    return QStringLiteral("not a scanner");
}

QString diagnosisColumnTitle(int column) {
    switch (column) {
    case 0:
        return QStringLiteral("State");
    case 1:
        return QStringLiteral("Port or kind");
    default:
        return QStringLiteral("Device");
    }
}

QString diagnosisRuleDescription() {
    return QStringLiteral("A udev rule, as it goes in its file");
}

QString rowAccessibleText(const DiagnosisRow& row) {
    QStringList parts{rowStatusWord(row.status)};
    if (!row.where.isEmpty())
        parts << row.where;
    if (!row.device.isEmpty())
        parts << row.device;
    return parts.join(QStringLiteral(", ")) + QStringLiteral(": ") + row.paragraph;
}

} // namespace diagnose
