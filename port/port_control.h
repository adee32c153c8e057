#pragma once

#include "port/port_error.h"

#include "base/clock.h"
#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <deque>
#include <optional>
#include <stdexcept>

namespace port {

// A port operation that the port refused. The description is a complete sentence meant for the
// user: which port and device, what went wrong and, where there is something to do, what to do.
// The error is what happened, as values; the description is written from it.
class PortFailure : public std::runtime_error {
public:
    explicit PortFailure(const port::PortError& error);

    QString description() const { return description_; }
    const port::PortError& error() const { return error_; }

private:
    PortFailure(const port::PortError& error, const QString& description);

    port::PortError error_;
    QString description_;
};

// Codes read from CommEvent while an OnComm notification is handled.
namespace CommEventCode {
constexpr qint16 Send = 1;          // output count fell below SThreshold
constexpr qint16 Receive = 2;       // at least RThreshold characters are waiting
constexpr qint16 CtsChanged = 3;    // CTS line changed
constexpr qint16 DsrChanged = 4;    // DSR line changed
constexpr qint16 CdChanged = 5;     // CD line changed
constexpr qint16 Ring = 6;          // ring indicator, trailing edge
constexpr qint16 EndOfFile = 7;     // never raised by our layers
constexpr qint16 Break = 1001;      // break received
constexpr qint16 CtsTimeout = 1002; // never raised by our layers
constexpr qint16 DsrTimeout = 1003; // never raised by our layers
constexpr qint16 Framing = 1004;    // framing error
constexpr qint16 Overrun = 1005;    // the driver lost characters
constexpr qint16 CdTimeout = 1006;  // never raised by our layers
constexpr qint16 RxOver = 1007;     // the layer's input buffer was full and bytes were dropped
constexpr qint16 RxParity = 1008;   // parity error
constexpr qint16 TxFull = 1009;     // the layer's output buffer could not take an Output
} // namespace CommEventCode

// The serial port as the main window sees it: a set of properties and one notification.
//
// In brief, by concern (each group below says the details):
//   open and number   PortOpen, CommPort, devicePathFor
//   line settings     Settings ("9600,N,8,1"), Handshaking (0-3)
//   receiving         Input, InBufferCount, InputLen, RThreshold, ParityReplace, WaitingInDevice
//   sending           Output, OutBufferCount, SThreshold, sendBreak
//   lines             CDHolding, CTSHolding, DSRHolding (read), DTREnable, RTSEnable
//   notifications     OnComm with CommEvent; deviceLost; the taps bytesArrived, bytesSent and
//                     lineErrorArrived
//
// Threading: every member is called on the user-interface thread, and OnComm is emitted there.
//
// Failures: a refused read or write throws PortFailure with a user-facing description and the
// failure as values (operation, device, errno, kind). This is the program's one boundary where
// failures are thrown: below it every failure is a value, and the windows trap these in their
// handlers. A refused write changes nothing. Reading
// CDHolding, CTSHolding and DSRHolding never fails; they read "not held" while the port is closed
// and on devices that have no modem lines.
//
// Characters and bytes: every character of Output and Input stands for one byte with the same
// code (Latin-1); Output refuses a character above U+00FF.
//
// Notifications: OnComm is emitted from the event loop, never from inside a property call. They
// are delivered one at a time and in the order raised; while a handler of OnComm runs (also while
// it waits in a modal dialog) later notifications wait. CommEvent reads the code of the
// notification being handled. At most one Receive notification waits at a time, and after a
// Receive handler has taken characters, another Receive follows as long as at least RThreshold
// characters remain, so every received character reaches a handler even with InputLen 1.
// Closing the port drops the notifications that are still waiting.
class PortControl : public QObject {
    Q_OBJECT

public:
    // Starting values shared by every implementation.
    static constexpr qint16 DefaultCommPort = 1;
    static inline const QString DefaultSettings = QStringLiteral("115200,N,8,1");
    static inline const QString DefaultParityReplace = QStringLiteral("?");

    explicit PortControl(QObject* parent = nullptr);
    ~PortControl() override;

    // --- open and number ---

    // Open state. Writing true opens the device that CommPort maps to with the current settings;
    // writing the current value again is refused ("already open" / "already closed").
    virtual bool PortOpen() const = 0;
    virtual void setPortOpen(bool open) = 0;

    // Port number 1..18; refused outside that range and while the port is open.
    virtual qint16 CommPort() const = 0;
    virtual void setCommPort(qint16 port) = 0;

    // Device path that a port number maps to, and whether that device exists now.
    virtual QString devicePathFor(qint16 port) const = 0;

    // --- line settings ---

    // "baud,parity,data,stop" such as "9600,N,8,1". Baud 600, 2400, 4800, 9600, 19200, 38400,
    // 57600 or 115200 (others the device takes are accepted too), parity N, E or O in either
    // case (stored upper case), data bits 7 or 8, stop bits 1 or 2. Applied at once while open.
    virtual QString Settings() const = 0;
    virtual void setSettings(const QString& settings) = 0;

    // 0 none, 1 Xon/Xoff, 2 RTS/CTS, 3 both; refused outside 0..3. Applied at once while open.
    virtual qint32 Handshaking() const = 0;
    virtual void setHandshaking(qint32 mode) = 0;

    // --- receiving ---

    // Takes at most InputLen received characters (all when InputLen is 0) out of the input
    // buffer. Refused while closed.
    virtual QString Input() = 0;

    // Characters received and not yet taken by Input. Refused while closed.
    virtual int InBufferCount() const = 0;

    // Most characters one Input returns; 0 means all. Refused when negative.
    virtual qint16 InputLen() const = 0;
    virtual void setInputLen(qint16 length) = 0;

    // Waiting characters that raise Receive; 0 switches Receive off. Refused when negative.
    virtual qint16 RThreshold() const = 0;
    virtual void setRThreshold(qint16 threshold) = 0;

    // Character put in place of a byte received with a parity error; empty keeps the byte.
    // Refused when longer than one character.
    virtual QString ParityReplace() const = 0;
    virtual void setParityReplace(const QString& replacement) = 0;

    // Bytes the device has received that the port has not read from it yet: 0 while closed and
    // where the device cannot tell. Whether the line was quiet or the program was only late
    // reading: bytes waiting here arrived while it was busy. Never fails.
    virtual int WaitingInDevice() const = 0;

    // --- sending ---

    // Queues the characters for sending and starts sending them at once. Refused while closed.
    virtual void setOutput(const QString& text) = 0;

    // Characters not yet sent: the layer's queue plus the driver's. Refused while closed.
    virtual int OutBufferCount() const = 0;

    // Send is raised when the output count falls from at least this value to below it; 0
    // switches it off. Refused when negative.
    virtual qint16 SThreshold() const = 0;
    virtual void setSThreshold(qint16 threshold) = 0;

    // Sends a break (the line held at space) of about BreakMs. Refused while closed.
    virtual void sendBreak() = 0;

    static constexpr int BreakMs = 250;

    // --- lines ---

    virtual bool CDHolding() const = 0;
    virtual bool CTSHolding() const = 0;
    virtual bool DSRHolding() const = 0;
    // Whether the open device reports its modem lines: false where reading them is refused as
    // unsupported (a pseudo-terminal, a USB device without serial state), so that the three above
    // read "not held" for want of lines. True while closed. Never fails.
    virtual bool modemLinesReported() const { return true; }

    // DTR raised while open when true. Takes effect at once while open.
    virtual bool DTREnable() const = 0;
    virtual void setDTREnable(bool enable) = 0;

    // RTS raised while open when true. Takes effect at once while open, except that under RTS/CTS
    // flow control (Handshaking 2 or 3) the driver moves RTS itself: the setting is kept and
    // applied when the port leaves that flow control or opens without it. A device without modem
    // lines (a pseudo-terminal) keeps the setting as DTREnable does, with nothing to apply it to.
    virtual bool RTSEnable() const = 0;
    virtual void setRTSEnable(bool enable) = 0;

    // --- notifications and the clock ---

    // Code of the notification being handled (of the last one handled, outside a handler).
    qint16 CommEvent() const { return currentEvent_; }

    // Milliseconds on the clock that bytesArrived and bytesSent use: monotonic, never jumps.
    static qint64 monotonicMs() { return base::monotonicMs(); }

signals:
    void OnComm();

    // The device went away while open (unplugged, hung up). The port is closed already when this
    // is emitted; the message says so in plain words.
    void deviceLost(const QString& message);

    // Taps for the Scan Log and recording. bytesArrived gives every received byte once, in
    // arrival order, with the time it arrived at the port, as it enters the input buffer (after
    // line-error marks are decoded, so a parity replacement appears as it will in Input), whatever
    // InputLen and RThreshold are and whether or not the buffer had room for it; it changes nothing
    // Input returns. bytesSent gives the characters an Output accepted, with the time of the
    // Output. Both are emitted directly from inside the port's work: a receiver must not call back
    // into the port.
    void bytesArrived(const QByteArray& bytes, qint64 msecs);
    void bytesSent(const QByteArray& bytes, qint64 msecs);
    // A tap for line errors as they are found: Break, Framing or RxParity, emitted directly
    // before the character received in error reaches bytesArrived (a break brings none), with
    // the time the error arrived. Like the other taps, a receiver must not call back into the
    // port.
    void lineErrorArrived(qint16 code, qint64 msecs);

protected:
    // Queues a notification. A Receive is dropped when one is waiting already. A line error
    // reaches lineErrorArrived with `arrivedMs`, or the clock's time now when it has none.
    void raiseEvent(qint16 code, std::optional<qint64> arrivedMs = std::nullopt);
    // Drops every waiting notification (the port closed).
    void dropEvents();

private:
    void scheduleDelivery();
    void deliverNext();
    bool receiveWaiting() const;

    std::deque<qint16> pending_;
    qint16 currentEvent_ = 0;
    bool delivering_ = false;
    bool scheduled_ = false;
};

} // namespace port
