#pragma once

#include <QList>
#include <QString>

namespace port {

// What was being done when a port failed.
enum class PortOperation {
    None, // not set
    Open,
    Close,
    SetCommPort,
    SetSettings,
    SetHandshaking,
    SetDtr,
    SetRts,
    SendBreak,
    SetInputLen,
    SetRThreshold,
    SetSThreshold,
    SetParityReplace,
    Output,
    Input,
    InBufferCount,
    OutBufferCount,
    Read,  // the port's own reading of the device
    Write, // the port's own sending of what Output queued
};

// What a failure means for the user: what there is to do about it.
enum class FailureKind {
    Permission,   // the user may not use the device
    Missing,      // nothing at the device's path
    Busy,         // another program has the device, or its buffer is full: try again later
    NotSerial,    // the path is no terminal device
    HungUp,       // the device went away under the open port
    RefusedValue, // the value written is not one the port or the device takes
    ClosedPort,   // the operation needs the port open
    OpenPort,     // the operation needs the port closed
    Other,
};

// The one table from errno to kind. The same errno can mean two things: ENXIO or ENODEV at open
// say there is no device, on an open device that it went away; EIO at open is a fault of the
// device, on an open device (a USB adapter pulled out) that it went away.
enum class DeviceState { Opening, Open };
FailureKind failureKind(int error, DeviceState state);

// A read or write error that means the device went away under an open port.
inline bool isHangUpError(int error) {
    return failureKind(error, DeviceState::Open) == FailureKind::HungUp;
}

// Which of the port's sentences tells the failure; each names the fields of PortError it reads.
enum class FailureCause {
    OpenRefused,      // systemError: a step of the open failed
    InUse,            // holders: other programs have the device open or locked
    LockFileUnsafe,   // lockFile: something other than a regular file is in the lock's place
    AlreadyOpen,      //
    AlreadyClosed,    //
    NotOpen,          // the operation needs the port open
    ChangeWhileOpen,  // the port number cannot change while open
    OutOfRange,       // value: a number the property does not take
    InvalidSettings,  // value, settingsField, field: a settings text that does not read
    TooLong,          // value: a parity replacement of more than one character
    NotOneByte,       // value, position, character: a character above U+00FF
    NoRoomForOutput,  // size, room, capacity: an Output the transmit buffer cannot take
    SettingsNotTaken, // value (the settings text), systemError: tcsetattr refused
    ValueNotTaken,    // value (settings text), handshaking, refused: the device kept other values
    DtrNotSet,        // value ("true" to raise, "false" to drop), systemError
    RtsNotSet,        // value ("true" to raise, "false" to drop), systemError
    BreakNotSent,     // systemError
    DeviceLost,       // the device went away; the port is closed
};

// The field of a settings text that does not read.
enum class SettingsField { Layout, BaudText, Baud, Parity, DataBits, StopBits };

// What a device did not take of the line asked for, as read back after setting it.
struct RefusedLine {
    bool speed = false;
    bool dataBits = false;
    bool parity = false;
    bool stopBits = false;
    bool flowControl = false;

    bool any() const { return speed || dataBits || parity || stopBits || flowControl; }
    bool operator==(const RefusedLine&) const = default;
};

// A process that has a device open: its id and its name (empty when it cannot be read).
struct DeviceHolder {
    qint64 pid = 0;
    QString name;

    bool operator==(const DeviceHolder&) const = default;
};

// A failed port operation, captured where it happened. The port's sentences for the user are
// written from these fields alone (failureText in port_messages.h).
struct PortError {
    PortOperation operation = PortOperation::None;
    FailureKind kind = FailureKind::Other;
    FailureCause cause = FailureCause::OpenRefused;
    qint16 port = 0;
    QString device;      // the device's path for display (outside_text::visible)
    int systemError = 0; // errno of the step that failed; 0 when no system call failed

    QString value; // what was written, as text: "4", "9600,N,9,1", the parity replacement
    SettingsField settingsField = SettingsField::Layout;
    QString field;          // the settings field that does not read, as written
    qsizetype position = 0; // NotOneByte: the character's place in Output, from 1
    uint character = 0;     // NotOneByte: its code point
    qsizetype size = 0;     // NoRoomForOutput: characters of the Output
    qsizetype room = 0;     //   left in the transmit buffer
    qsizetype capacity = 0; //   of the whole buffer
    RefusedLine refused;    // ValueNotTaken
    qint32 handshaking = 0; // ValueNotTaken: the flow control asked for, as Handshaking
    QList<DeviceHolder> holders;
    QString lockFile; // LockFileUnsafe, for display
};

} // namespace port
