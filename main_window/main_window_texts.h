#pragma once

#include <QString>

namespace main_window {

// The sentences the main window adds to its own: the Tools menu's tips, the lamps' states as a
// screen reader says them, the record dialog, and what follows a lost device.

enum class ToolTip { ScanLog, TestCodes, Diagnose, FindSettings, Send, Record, Break };
QString toolsItemTip(ToolTip item);
// The RTS item's tip: whether the person or the RTS/CTS flow control drives the line.
QString rtsTip(bool byHand);

// "CTS: held"; `reported` false when the device reports no modem lines at all.
QString lampStateText(const QString& line, bool held, bool reported);
// "CD: unknown" until the first refresh; "RX: not monitored" for lamps the program never drives.
QString lampUnknownText(const QString& line);
QString lampNotMonitoredText(const QString& line);
QString receivedTextName();
QString receivedHexName();

QString recordDialogTitle();
QString transcriptFilter();
QString rawFilter();

// Follows the message of a lost device that the port opens again when it is back.
QString reopensWhenBackSentence();

} // namespace main_window
