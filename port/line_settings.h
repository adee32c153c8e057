#pragma once

#include "base/result.h"
#include "port/port_error.h"

#include <QString>

#include <optional>

#include <termios.h>

namespace port {

// Line settings in the form the settings text writes them, checked.
struct LineSettings {
    int baud = 115200;
    char parity = 'N'; // 'N', 'E' or 'O'
    int dataBits = 8;  // 7 or 8
    int stopBits = 1;  // 1 or 2

    bool operator==(const LineSettings&) const = default;
};

// Flow control as the Handshaking property numbers it.
enum class FlowControl : int { None = 0, XonXoff = 1, RtsCts = 2, Both = 3 };

// Reads "baud,parity,data,stop" such as "9600,n,8,1"; or the failure (SetSettings,
// RefusedValue, InvalidSettings) naming the field that is wrong.
base::Result<LineSettings, PortError> parseLineSettings(const QString& text);

// The text that Settings reads back: "9600,N,8,1".
QString formatLineSettings(const LineSettings& settings);

// The termios speed constant of a baud rate, or nothing when termios has no such rate.
std::optional<speed_t> speedForBaud(int baud);
// The baud rate of a termios speed constant, or nothing for an unknown constant.
std::optional<int> baudForSpeed(speed_t speed);

// Handshaking 0..3 as FlowControl; nothing outside that range.
std::optional<FlowControl> flowControlFromNumber(qint32 mode);

// One aspect each; buildTermios composes them.
void makeRaw(termios& t);
void applyBaud(termios& t, int baud);
void applyParity(termios& t, char parity);
void applyDataBits(termios& t, int dataBits);
void applyStopBits(termios& t, int stopBits);
void applyFlowControl(termios& t, FlowControl flow);
// Has the driver mark breaks and bytes with parity or framing errors in the received stream
// (PARMRK), where StreamDecoder finds them.
void applyErrorMarking(termios& t);

// The attributes to give a device whose attributes are `original`: raw, receiver on, modem status
// ignored for open/read (CLOCAL), reads that never wait (VMIN 0, VTIME 0), line errors marked in
// the stream, and the line settings and flow control asked for. Bits outside these aspects keep
// their original values.
termios buildTermios(const termios& original, const LineSettings& settings, FlowControl flow);

// What of `wanted` the device did not take, judged from the attributes read back after setting
// them (`actual`): tcsetattr reports success when any part of a change took effect. A
// pseudo-terminal forces 8 data bits without parity at every change, so there those two are no
// refusal; it keeps the rate, the stop bits and the flow control.
RefusedLine refusedLine(const termios& wanted, const termios& actual, bool pseudoTerminal);

} // namespace port
