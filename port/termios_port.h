#pragma once

#include "base/unique_fd.h"
#include "port/device_map.h"
#include "port/line_events.h"
#include "port/line_settings.h"
#include "port/lock_file.h"
#include "port/port_control.h"
#include "port/stream_decoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QTimer>

#include <memory>
#include <optional>

namespace port {

// The serial port on a POSIX terminal device: termios for the line; flock, the traditional lock
// file, TIOCEXCL and a look at which processes have the device open, so that one program at a
// time has the port; a thread of its own that reads the device as bytes arrive and stamps them
// (LineReader), with a notifier on the user-interface thread that takes what it read; and a
// notifier for the output that the device could not take at once. With handshaking on, reading
// pauses while the input buffer is nearly full, so that the driver's flow control holds the sender
// back.
//
// Events: the driver marks line errors in the received stream (PARMRK), so break, framing and
// parity errors are raised where they occur among the data. Modem lines and the overrun counter
// are looked at every LinePollMs while the port is open, on the user-interface thread; a device
// that has neither lines nor counters (a pseudo-terminal) is not looked at.
class TermiosPort final : public PortControl {
    Q_OBJECT

public:
    // Received characters the port holds for Input at most; more are dropped (RxOver).
    static constexpr qsizetype InputBufferSize = 1 << 20;
    // With handshaking on, the port stops reading from the device once this many characters
    // wait for Input, and reads again when Input has brought them down to FlowResumeMark. The
    // driver's own buffer then fills, and the driver holds the sender back (XOFF, or RTS
    // dropped) instead of the port dropping what it cannot keep. The hold mark leaves room for
    // the one read that passes it.
    static constexpr qsizetype FlowHoldMark = InputBufferSize * 3 / 4;
    static constexpr qsizetype FlowResumeMark = InputBufferSize / 4;
    // Characters the port holds for sending beyond what the driver took; an Output that does
    // not fit in what is left is refused whole (TxFull), so nothing of it goes out.
    static constexpr qsizetype OutputBufferSize = 1 << 16;
    // Time between two looks at the modem lines and counters: a change reaches OnComm well
    // within 50 ms.
    static constexpr int LinePollMs = 20;

    // `clock` stamps received and sent bytes; it is read from the reading thread too.
    explicit TermiosPort(QObject* parent = nullptr, base::MonotonicClock clock = base::monotonicMs);
    ~TermiosPort() override;

    // Where each port number leads from now on (the next open); empty: deviceFileForPort.
    void setDeviceResolver(port::DeviceResolver resolver);

    bool PortOpen() const override;
    void setPortOpen(bool open) override;
    qint16 CommPort() const override;
    void setCommPort(qint16 port) override;
    QString Settings() const override;
    void setSettings(const QString& settings) override;
    qint32 Handshaking() const override;
    void setHandshaking(qint32 mode) override;
    void setOutput(const QString& text) override;
    QString Input() override;
    int InBufferCount() const override;
    int WaitingInDevice() const override;
    int OutBufferCount() const override;
    bool CDHolding() const override;
    bool CTSHolding() const override;
    bool DSRHolding() const override;
    bool modemLinesReported() const override;
    bool DTREnable() const override;
    void setDTREnable(bool enable) override;
    qint16 InputLen() const override;
    void setInputLen(qint16 length) override;
    qint16 RThreshold() const override;
    void setRThreshold(qint16 threshold) override;
    qint16 SThreshold() const override;
    void setSThreshold(qint16 threshold) override;
    QString ParityReplace() const override;
    void setParityReplace(const QString& replacement) override;
    QString devicePathFor(qint16 port) const override;
    void sendBreak() override;
    bool RTSEnable() const override;
    void setRTSEnable(bool enable) override;

    // Received bytes dropped because the input buffer was full, since the port was opened.
    quint64 droppedInputBytes() const { return droppedInput_; }

private:
    struct OpenDevice;

    void openDevice();
    PortError openFailure(FailureKind kind, FailureCause cause, const QString& path) const;
    [[noreturn]] void refuseOpen(int systemError, const QString& path) const;
    // Restoring the attributes is pointless (and fails) on a device that has gone away.
    void beginSession();
    void closeDevice(bool restoreAttributes);
    void loseDevice();
    void scheduleLoss();

    // Applies line settings and flow control to the open device, or throws and leaves the
    // device as it was.
    void applyLine(port::PortOperation operation, const port::LineSettings& settings,
                   port::FlowControl flow);
    void applyDtr(bool raised);
    // Raises or drops RTS unless RTS/CTS flow control drives it.
    void applyRts(bool raised);
    void applyModemLine(int line, bool raised, port::PortOperation operation,
                        port::FailureCause cause);
    void endBreak();
    // The one read of the modem lines (TIOCMGET), as TIOCM_* bits; nullopt when the port is
    // closed or the device did not answer, and then errno says why.
    std::optional<int> modemLines() const;

    // One look at the counters and lines; a device that answers that it has none is not asked
    // again until the next open.
    port::LineSnapshot look();
    std::optional<port::LineCounters> readCounters();
    void watchLines();
    // Runs the line watch while there is something to watch.
    void updateWatch();

    void readAvailable();
    // Stops or resumes reading from the device as the input buffer passes the flow marks.
    void updateReader();
    // Every received byte passes here, between the reading thread and the input buffer, with the
    // time it arrived.
    void acceptReceived(QByteArrayView bytes, qint64 arrivedMs);
    void appendInput(QByteArrayView bytes, qint64 arrivedMs);
    // Bytes lost before the input buffer (the reading thread's queue was full): counted, and
    // RxOver raised once per episode.
    void countDropped(quint64 bytes);
    void raiseReceiveIfDue();
    // The error counts not yet matched with a mark, brought up to date with the driver's.
    port::UnmatchedErrors& unmatchedErrors();

    // Refuses an Output of `size` characters for which the output buffer has only `room` left.
    [[noreturn]] void refuseOutput(qsizetype size, qsizetype room);
    void sendQueued();
    void writeQueued();
    void enableWriter();
    int outputCount() const;
    // Raises Send when the output count has fallen from at least SThreshold to below it.
    void observeOutputCount();

    port::PortDevice resolve(qint16 port) const;
    // Throws ClosedPort for `operation` when the port is closed.
    void requireOpen(port::PortOperation operation) const;
    // A failure of `operation` on this port, naming the device it has open, or would open.
    port::PortError failure(port::PortOperation operation, port::FailureKind kind,
                            port::FailureCause cause) const;
    // A number that `operation` does not take.
    port::PortError outOfRange(port::PortOperation operation, qint32 value) const;
    // The count itself, or the out-of-range failure for a negative one.
    qint16 checkedCount(port::PortOperation operation, qint16 count) const;

    base::MonotonicClock clock_;
    port::DeviceResolver resolver_;
    qint16 port_ = DefaultCommPort;
    port::LineSettings settings_;
    port::FlowControl flow_ = port::FlowControl::None;
    bool dtr_ = true;
    bool rts_ = true;
    qint16 inputLen_ = 0;
    qint16 rThreshold_ = 1;
    qint16 sThreshold_ = 0;
    QString parityReplace_ = DefaultParityReplace;

    QByteArray input_;
    QByteArray output_;
    port::StreamDecoder decoder_;
    // Characters appended since the last Receive was raised.
    bool freshInput_ = false;
    // Bytes have been dropped and the input buffer has not drained below its size since.
    bool overflowing_ = false;
    quint64 droppedInput_ = 0;
    // An Output was refused for want of room, and the device has taken nothing since.
    bool outputFull_ = false;
    // The output count last seen, for Send.
    int outputSeen_ = 0;

    QTimer watch_;
    // Ends a break sendBreak started; the break runs without holding up the event loop.
    QTimer breakEnd_;
    // Read pacing: while small pieces keep arriving close together, the read notifier rests and
    // this timer reads what came meanwhile (see readAvailable).
    QTimer readPace_;
    QElapsedTimer lastRead_;
    port::LineSnapshot lastLook_;
    // Counter values the unmatched error counts were last brought up to.
    std::optional<port::LineCounters> errorsCounted_;
    port::UnmatchedErrors unmatched_;
    std::unique_ptr<OpenDevice> device_;
    // Tells a deferred loss apart from a later open of the same port.
    quint64 openCount_ = 0;
};

} // namespace port
