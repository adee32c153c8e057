#include "main_window/main_window_texts.h"

namespace main_window {

QString toolsItemTip(ToolTip item) {
    switch (item) {
    case ToolTip::ScanLog:
        return QStringLiteral("Every scan as a row, decoded: symbology, check digits and GS1 "
                              "fields");
    case ToolTip::TestCodes:
        return QStringLiteral("Codes to scan from the screen or a printed sheet: each scan is "
                              "checked against what it should be");
    case ToolTip::Diagnose:
        return QStringLiteral("Why nothing arrives: the serial devices and the scanners in "
                              "keyboard mode, and what to do");
    case ToolTip::FindSettings:
        return QStringLiteral("Finds the baud rate, data bits and parity of a serial scanner "
                              "while you scan");
    case ToolTip::Send:
        return QStringLiteral("Sends commands, hexadecimal bytes or a file to the scanner, and a "
                              "reply after each scan");
    case ToolTip::Record:
        return QStringLiteral("Records what is received and sent to a file until chosen again");
    case ToolTip::Break:
        return QStringLiteral("Holds the line at space for a quarter of a second");
    }
    return {};
}

QString rtsTip(bool byHand) {
    return byHand ? QStringLiteral("Raises or drops the RTS line")
                  : QStringLiteral("RTS is driven by the RTS/CTS flow control chosen in the port "
                                   "settings; choose no flow control or Xon/Xoff to set it here");
}

QString lampStateText(const QString& line, bool held, bool reported) {
    return line + (!reported ? QStringLiteral(": not reported by this device")
                   : held    ? QStringLiteral(": held")
                             : QStringLiteral(": not held"));
}

QString lampUnknownText(const QString& line) {
    return QStringLiteral("%1: unknown").arg(line);
}

QString lampNotMonitoredText(const QString& line) {
    return QStringLiteral("%1: not monitored").arg(line);
}

QString receivedTextName() {
    return QStringLiteral("Received text");
}

QString receivedHexName() {
    return QStringLiteral("Received hexadecimal codes");
}

QString recordDialogTitle() {
    return QStringLiteral("Record to File");
}

QString transcriptFilter() {
    return QStringLiteral("Transcript (*.log)");
}

QString rawFilter() {
    return QStringLiteral("Raw received bytes (*.bin)");
}

QString reopensWhenBackSentence() {
    return QStringLiteral("It opens again when the device is back.");
}

} // namespace main_window
