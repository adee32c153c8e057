#include "port/port_messages.h"

#include "base/com_ports.h"
#include "base/outside_text.h"

#include "port/device_map.h"

#include <QStringList>

#include <cerrno>
#include <cstring>

namespace port {

namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// "COM3 (/dev/ttyACM0)".
QString where(const PortError& e) {
    return QStringLiteral("%1 (%2)").arg(base::com_ports::name(e.port), e.device);
}

QString hex(uint code) {
    return QString::number(code, 16).toUpper().rightJustified(4, u'0');
}

// The text in double quotes for a message. A lone surrogate (half of a character beyond the Basic
// Multilingual Plane) would show as garbage or nothing, so it is named by its code instead.
QString quotedCharacters(const QString& text) {
    QString quoted = QStringLiteral("\"");
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            quoted += unit;
            quoted += text.at(++i);
        } else if (unit.isSurrogate()) {
            quoted += QStringLiteral("U+") + hex(unit.unicode());
        } else {
            quoted += unit;
        }
    }
    return quoted + QStringLiteral("\"");
}

// "a, b and c".
QString listed(const QStringList& items) {
    if (items.size() < 2)
        return items.value(0);
    return QStringList(items.begin(), items.end() - 1).join(QStringLiteral(", ")) +
           QStringLiteral(" and ") + items.last();
}

QString openRefusedText(const PortError& e) {
    const QString start = QStringLiteral("Cannot open %1: ").arg(where(e));
    const QString reason = systemReason(e.systemError);
    const QString variable = base::com_ports::variableName(e.port);
    switch (e.kind) {
    case FailureKind::Permission:
        return start + QStringLiteral("%1. Your user may not open this device.").arg(reason);
    case FailureKind::Missing:
        return start + QStringLiteral("%1. There is no such device: plug in the scanner, or set "
                                      "%2 to the device it uses (for example %2=/dev/ttyACM0).")
                           .arg(reason, variable);
    case FailureKind::Busy:
        // Our lock refuses with EWOULDBLOCK, whose system text ("Resource temporarily
        // unavailable") would only confuse; the lock is what it means.
        return start +
               (e.systemError == EWOULDBLOCK ? QStringLiteral("another program holds its lock")
                                             : reason) +
               QStringLiteral(". The port is in use by another program: close that program, then "
                              "open the port again.");
    case FailureKind::NotSerial:
        return start + QStringLiteral("%1. This is not a serial device: set %2 to the device the "
                                      "scanner uses (for example %2=/dev/ttyACM0).")
                           .arg(reason, variable);
    default:
        break;
    }
    return start + QStringLiteral("%1. Check that the scanner is connected and that %2 names "
                                  "its device.")
                       .arg(reason, variable);
}

QString inUseText(const PortError& e) {
    QStringList named;
    for (const DeviceHolder& holder : e.holders)
        named.append(QStringLiteral("%1 (process %2)")
                         .arg(holder.name.isEmpty() ? QStringLiteral("another program")
                                                    : base::outside_text::visible(holder.name),
                              QString::number(holder.pid)));
    return QStringLiteral("%1 is in use by %2: close %3, then open the port again.")
        .arg(where(e), listed(named),
             named.size() > 1 ? QStringLiteral("those programs") : QStringLiteral("that program"));
}

// What each property takes, for the sentence "<name> <value> is not valid; use <advice>."
struct RangeAdvice {
    PortOperation operation;
    const char* name;
    const char* advice;
};
constexpr RangeAdvice RangeAdvices[] = {
    {PortOperation::SetCommPort, "Port number", "a number from 1 to 18"},
    {PortOperation::SetHandshaking, "Handshaking",
     "0 (none), 1 (Xon/Xoff), 2 (RTS/CTS) or 3 (Xon/Xoff and RTS/CTS)"},
    {PortOperation::SetInputLen, "InputLen",
     "0 to take every waiting character, or a positive count"},
    {PortOperation::SetRThreshold, "RThreshold",
     "0 to switch receive notifications off, or a positive count"},
    {PortOperation::SetSThreshold, "SThreshold",
     "0 to switch send notifications off, or a positive count"},
};

QString outOfRangeText(const PortError& e) {
    for (const RangeAdvice& range : RangeAdvices) {
        if (range.operation == e.operation)
            return QStringLiteral("%1 %2 is not valid; use %3.")
                .arg(QLatin1StringView(range.name))
                .arg(e.value)
                .arg(QLatin1StringView(range.advice));
    }
    return QStringLiteral("The value %1 is not valid.").arg(e.value);
}

QString invalidSettingsText(const PortError& e) {
    const QString commonRates =
        QStringLiteral("600, 2400, 4800, 9600, 19200, 38400, 57600 or 115200");
    QString why;
    switch (e.settingsField) {
    case SettingsField::Layout:
        why = QStringLiteral("write the baud rate, parity, data bits and stop bits separated by "
                             "commas, for example \"9600,N,8,1\".");
        break;
    case SettingsField::BaudText:
        why = QStringLiteral("the baud rate \"%1\" is not a number; use %2.")
                  .arg(e.field, commonRates);
        break;
    case SettingsField::Baud:
        why = QStringLiteral("the baud rate %1 is not supported; use %2 (other standard rates "
                             "such as 1200 or 230400 work too).")
                  .arg(e.field, commonRates);
        break;
    case SettingsField::Parity:
        why = QStringLiteral("the parity \"%1\" is not known; use N (none), E (even) or O (odd).")
                  .arg(e.field);
        break;
    case SettingsField::DataBits:
        why = QStringLiteral("the data bits \"%1\" are not supported; use 7 or 8.").arg(e.field);
        break;
    case SettingsField::StopBits:
        why = QStringLiteral("the stop bits \"%1\" are not supported; use 1 or 2.").arg(e.field);
        break;
    }
    return QStringLiteral("The settings \"%1\" are not valid: %2").arg(e.value, why);
}

QString noRoomText(const PortError& e) {
    const QString wait = QStringLiteral(" Wait until the device has taken what is queued (with "
                                        "flow control on, the device may be holding it back).");
    if (e.room == 0)
        return where(e) + QStringLiteral(" cannot take more output: its transmit buffer is full.") +
               wait;
    if (e.size > e.capacity)
        return QStringLiteral("%1 cannot send %2 characters at once: its transmit buffer holds "
                              "%3. Send the text in parts.")
            .arg(where(e), QString::number(e.size), QString::number(e.capacity));
    return QStringLiteral("%1 cannot take %2 more characters: its transmit buffer has room for "
                          "%3.")
               .arg(where(e), QString::number(e.size), QString::number(e.room)) +
           wait;
}

// "7 data bits and even parity", from the settings text and handshaking asked for.
QString refusedValues(const PortError& e) {
    const QStringList fields = e.value.split(u',');
    const auto field = [&](int i) { return fields.value(i); };
    QStringList refused;
    if (e.refused.speed)
        refused << QStringLiteral("%1 baud").arg(field(0));
    if (e.refused.parity) {
        const QString letter = field(1);
        refused << (letter == u"E"   ? QStringLiteral("even parity")
                    : letter == u"O" ? QStringLiteral("odd parity")
                                     : QStringLiteral("no parity"));
    }
    if (e.refused.dataBits)
        refused << QStringLiteral("%1 data bits").arg(field(2));
    if (e.refused.stopBits)
        refused << (field(3) == u"1" ? QStringLiteral("1 stop bit")
                                     : QStringLiteral("%1 stop bits").arg(field(3)));
    if (e.refused.flowControl) {
        static const char* const flows[] = {"no flow control", "Xon/Xoff flow control",
                                            "RTS/CTS flow control",
                                            "Xon/Xoff and RTS/CTS flow control"};
        refused << QString::fromLatin1(flows[qBound(0, e.handshaking, 3)]);
    }
    return listed(refused);
}

QString valueNotTakenText(const PortError& e) {
    RefusedLine speedOnly;
    speedOnly.speed = true;
    if (e.refused == speedOnly)
        return QStringLiteral("%1 does not accept %2 baud; choose another baud rate.")
            .arg(where(e), e.value.section(u',', 0, 0));
    return QStringLiteral("%1 does not accept %2; the port keeps its previous settings. Choose "
                          "other settings.")
        .arg(where(e), refusedValues(e));
}

QString sentence(const PortError& e) {
    switch (e.cause) {
    case FailureCause::OpenRefused:
        return openRefusedText(e);
    case FailureCause::InUse:
        return inUseText(e);
    case FailureCause::LockFileUnsafe:
        return QStringLiteral("Cannot open %1: its lock file %2 is not a regular file, so it is "
                              "neither used nor removed. Remove it if no program uses the port, "
                              "then open the port again.")
            .arg(where(e), e.lockFile);
    case FailureCause::AlreadyOpen:
        return QStringLiteral("%1 is already open; close it before opening it again.")
            .arg(where(e));
    case FailureCause::AlreadyClosed:
        return QStringLiteral("%1 is already closed; there is nothing to close.").arg(where(e));
    case FailureCause::NotOpen:
        if (e.operation == PortOperation::Output)
            return QStringLiteral("%1 is not open; open it before sending.").arg(where(e));
        return QStringLiteral("%1 is not open; open it first.").arg(where(e));
    case FailureCause::ChangeWhileOpen:
        return QStringLiteral("The port number cannot change while %1 is open; close the port "
                              "first.")
            .arg(where(e));
    case FailureCause::OutOfRange:
        return outOfRangeText(e);
    case FailureCause::InvalidSettings:
        return invalidSettingsText(e);
    case FailureCause::TooLong:
        return QStringLiteral("The parity replacement %1 is too long; use one character, or "
                              "nothing to keep the received byte.")
            .arg(quotedCharacters(e.value));
    case FailureCause::NotOneByte:
        if (e.operation == PortOperation::Output)
            return QStringLiteral("%1 cannot send the text: character %2 is U+%3, which is not "
                                  "one byte; only characters U+0000 to U+00FF can be sent.")
                .arg(where(e), QString::number(e.position), hex(e.character));
        return QStringLiteral("The parity replacement %1 is not a one-byte character; use a "
                              "character from U+0000 to U+00FF, or nothing to keep the received "
                              "byte.")
            .arg(quotedCharacters(e.value));
    case FailureCause::NoRoomForOutput:
        return noRoomText(e);
    case FailureCause::SettingsNotTaken:
        return QStringLiteral("%1 did not take the settings %2: %3. The port keeps its previous "
                              "settings; choose other settings or check that the device is still "
                              "connected.")
            .arg(where(e), e.value, systemReason(e.systemError));
    case FailureCause::ValueNotTaken:
        return valueNotTakenText(e);
    case FailureCause::DtrNotSet:
    case FailureCause::RtsNotSet:
        return QStringLiteral("%1 could not %2 %3: %4. Check that the device is still "
                              "connected, or close the port and open it again.")
            .arg(where(e), e.value == u"true" ? QStringLiteral("raise") : QStringLiteral("drop"),
                 e.cause == FailureCause::DtrNotSet ? QStringLiteral("DTR") : QStringLiteral("RTS"),
                 systemReason(e.systemError));
    case FailureCause::BreakNotSent:
        return QStringLiteral("%1 could not send a break: %2. Check that the device is still "
                              "connected.")
            .arg(where(e), systemReason(e.systemError));
    case FailureCause::DeviceLost:
        return QStringLiteral("%1 was disconnected; the port is closed.").arg(where(e));
    }
    return e.value;
}

} // namespace

QString failureText(const PortError& error, const QString& extra) {
    const QString text = sentence(error);
    if (extra.isEmpty())
        return text;
    return text + u' ' + extra;
}

} // namespace port
