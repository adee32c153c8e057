#pragma once

#include "port/port_control.h"

#include <QHash>
#include <QStringList>

// A port whose every answer the test decides: line states, received characters, events, and
// failures of any property read or write.
class FakePort final : public port::PortControl {
    Q_OBJECT

public:
    // --- script ---
    // Makes every read or write of the named property ("PortOpen", "Settings", ...) fail as a
    // real port fails: with the error, described by the port's own sentences.
    void failWrite(const QString& property, const port::PortError& error) {
        writeFailures_.insert(property, error);
    }
    void failRead(const QString& property, const port::PortError& error) {
        readFailures_.insert(property, error);
    }
    void clearFailures() {
        writeFailures_.clear();
        readFailures_.clear();
    }
    // An error of the kind a real port gives for the operation on this port, with errno EIO: a
    // device that stopped answering. What the user reads is failureText of it.
    port::PortError fault(port::PortOperation operation, port::FailureCause cause) const;
    // A device without modem lines, as a pseudo-terminal is.
    bool linesReported = true;
    bool modemLinesReported() const override { return !open_ || linesReported; }
    void setLines(bool cd, bool dsr, bool cts) {
        cd_ = cd;
        dsr_ = dsr;
        cts_ = cts;
    }
    // Adds received characters, passes them to bytesArrived and raises Receive as the real port
    // would.
    void receive(const QString& characters);
    // Arrival time bytesArrived and bytesSent report; the clock's reading when negative.
    qint64 tapMs = -1;
    // The clock that stamps what arrives and what is sent, as the real port's reading thread
    // does: the harness hands in the window's.
    base::MonotonicClock clock = base::monotonicMs;
    // What WaitingInDevice answers: bytes the device holds that the port has not read yet.
    int waitingInDevice = 0;
    void raise(qint16 code, std::optional<qint64> arrivedMs = std::nullopt) {
        raiseEvent(code, arrivedMs);
    }
    void setPendingOutput(int count) { pendingOutput_ = count; }
    // Opens or closes without any check, as another part of the program may have done.
    void forceOpen(bool open) { open_ = open; }

    // --- what happened ---
    QStringList writes; // "Property=value" for every accepted write, in order
    QString sent;       // every character written to Output
    int inputReads = 0;
    int breaks = 0;

    // --- the contract ---
    bool PortOpen() const override { return read("PortOpen", open_); }
    void setPortOpen(bool open) override;
    qint16 CommPort() const override { return read("CommPort", port_); }
    void setCommPort(qint16 port) override { port_ = write("CommPort", port); }
    QString Settings() const override { return read("Settings", settings_); }
    void setSettings(const QString& settings) override { settings_ = write("Settings", settings); }
    qint32 Handshaking() const override { return read("Handshaking", handshaking_); }
    void setHandshaking(qint32 mode) override { handshaking_ = write("Handshaking", mode); }
    void setOutput(const QString& text) override;
    QString Input() override;
    int InBufferCount() const override { return read("InBufferCount", int(input_.size())); }
    int WaitingInDevice() const override { return waitingInDevice; }
    int OutBufferCount() const override;
    bool CDHolding() const override { return read("CDHolding", open_ && cd_); }
    bool CTSHolding() const override { return read("CTSHolding", open_ && cts_); }
    bool DSRHolding() const override { return read("DSRHolding", open_ && dsr_); }
    bool DTREnable() const override { return read("DTREnable", dtr_); }
    void setDTREnable(bool enable) override { dtr_ = write("DTREnable", enable); }
    qint16 InputLen() const override { return read("InputLen", inputLen_); }
    void setInputLen(qint16 length) override { inputLen_ = write("InputLen", length); }
    qint16 RThreshold() const override { return read("RThreshold", rThreshold_); }
    void setRThreshold(qint16 threshold) override { rThreshold_ = write("RThreshold", threshold); }
    qint16 SThreshold() const override { return read("SThreshold", sThreshold_); }
    void setSThreshold(qint16 threshold) override { sThreshold_ = write("SThreshold", threshold); }
    QString ParityReplace() const override { return read("ParityReplace", parityReplace_); }
    void setParityReplace(const QString& replacement) override {
        parityReplace_ = write("ParityReplace", replacement);
    }
    void sendBreak() override;
    bool RTSEnable() const override { return read("RTSEnable", rts_); }
    void setRTSEnable(bool enable) override { rts_ = write("RTSEnable", enable); }
    QString devicePathFor(qint16 port) const override {
        return QStringLiteral("/dev/fake%1").arg(port);
    }

private:
    // The value, unless the property's reads are scripted to fail.
    template <typename T> T read(const char* property, T value) const {
        checkRead(property);
        return value;
    }
    // The value, recorded as written, unless the property's writes are scripted to fail.
    template <typename T> T write(const char* property, T value) {
        checkWrite(property, text(value));
        return value;
    }
    static QString text(bool value) {
        return value ? QStringLiteral("true") : QStringLiteral("false");
    }
    static QString text(qint32 value) { return QString::number(value); }
    static QString text(const QString& value) { return value; }
    void checkRead(const char* property) const;
    void checkWrite(const char* property, const QString& value);
    void requireOpen() const;
    qint64 tapTime() const { return tapMs >= 0 ? tapMs : clock(); }

    QHash<QString, port::PortError> readFailures_;
    QHash<QString, port::PortError> writeFailures_;
    bool open_ = false;
    qint16 port_ = DefaultCommPort;
    QString settings_ = DefaultSettings;
    qint32 handshaking_ = 0;
    QString input_;
    int pendingOutput_ = 0;
    bool cd_ = false, dsr_ = false, cts_ = false;
    bool dtr_ = true;
    bool rts_ = true;
    qint16 inputLen_ = 0;
    qint16 rThreshold_ = 1;
    qint16 sThreshold_ = 0;
    QString parityReplace_ = DefaultParityReplace;
};
