#pragma once

#include "serial_comm/port_control.h"

#include <QHash>
#include <QStringList>

// A port whose every answer the test decides: line states, received characters, events, and
// failures of any property read or write.
class FakePort final : public PortControl {
    Q_OBJECT

public:
    // --- script ---
    // Makes every read or write of the named property ("PortOpen", "Settings", ...) fail with
    // the text; an empty text removes the failure.
    void failWrite(const QString& property, const QString& text);
    void failRead(const QString& property, const QString& text);
    void setLines(bool cd, bool dsr, bool cts);
    // Adds received characters and raises Receive as the real port would.
    void receive(const QString& characters);
    void raise(qint16 code) { raiseEvent(code); }
    void setPendingOutput(int count) { pendingOutput_ = count; }
    // Opens or closes without any check, as another part of the program may have done.
    void forceOpen(bool open) { open_ = open; }

    // --- what happened ---
    QStringList writes; // "Property=value" for every accepted write, in order
    QString sent;       // every character written to Output
    int inputReads = 0;

    // --- the contract ---
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
    int OutBufferCount() const override;
    bool CDHolding() const override;
    bool CTSHolding() const override;
    bool DSRHolding() const override;
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

private:
    void checkRead(const char* property) const;
    void checkWrite(const char* property, const QString& value);

    QHash<QString, QString> readFailures_;
    QHash<QString, QString> writeFailures_;
    bool open_ = false;
    qint16 port_ = DefaultCommPort;
    QString settings_ = DefaultSettings;
    qint32 handshaking_ = 0;
    QString input_;
    int pendingOutput_ = 0;
    bool cd_ = false, dsr_ = false, cts_ = false;
    bool dtr_ = true;
    qint16 inputLen_ = 0;
    qint16 rThreshold_ = 1;
    qint16 sThreshold_ = 0;
    QString parityReplace_ = DefaultParityReplace;
};
