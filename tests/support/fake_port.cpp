#include "fake_port.h"

void FakePort::failWrite(const QString& property, const QString& text) {
    if (text.isEmpty())
        writeFailures_.remove(property);
    else
        writeFailures_.insert(property, text);
}

void FakePort::failRead(const QString& property, const QString& text) {
    if (text.isEmpty())
        readFailures_.remove(property);
    else
        readFailures_.insert(property, text);
}

void FakePort::setLines(bool cd, bool dsr, bool cts) {
    cd_ = cd;
    dsr_ = dsr;
    cts_ = cts;
}

void FakePort::receive(const QString& characters) {
    input_ += characters;
    if (open_ && rThreshold_ > 0 && input_.size() >= rThreshold_)
        raiseEvent(CommEventCode::Receive);
}

void FakePort::checkRead(const char* property) const {
    const auto it = readFailures_.find(QString::fromLatin1(property));
    if (it != readFailures_.end())
        throw PortFailure(it.value());
}

void FakePort::checkWrite(const char* property, const QString& value) {
    const QString name = QString::fromLatin1(property);
    const auto it = writeFailures_.find(name);
    if (it != writeFailures_.end())
        throw PortFailure(it.value());
    writes << name + QLatin1Char('=') + value;
}

static QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

bool FakePort::PortOpen() const {
    checkRead("PortOpen");
    return open_;
}

void FakePort::setPortOpen(bool open) {
    checkWrite("PortOpen", boolText(open));
    open_ = open;
    if (!open)
        dropEvents();
}

qint16 FakePort::CommPort() const {
    checkRead("CommPort");
    return port_;
}

void FakePort::setCommPort(qint16 port) {
    checkWrite("CommPort", QString::number(port));
    port_ = port;
}

QString FakePort::Settings() const {
    checkRead("Settings");
    return settings_;
}

void FakePort::setSettings(const QString& settings) {
    checkWrite("Settings", settings);
    settings_ = settings;
}

qint32 FakePort::Handshaking() const {
    checkRead("Handshaking");
    return handshaking_;
}

void FakePort::setHandshaking(qint32 mode) {
    checkWrite("Handshaking", QString::number(mode));
    handshaking_ = mode;
}

void FakePort::setOutput(const QString& text) {
    if (!open_)
        throw PortFailure(QStringLiteral("The port is not open."));
    checkWrite("Output", text);
    sent += text;
}

QString FakePort::Input() {
    checkRead("Input");
    if (!open_)
        throw PortFailure(QStringLiteral("The port is not open."));
    ++inputReads;
    const qsizetype count =
        inputLen_ == 0 ? input_.size() : std::min<qsizetype>(inputLen_, input_.size());
    QString taken = input_.left(count);
    input_.remove(0, count);
    return taken;
}

int FakePort::InBufferCount() const {
    checkRead("InBufferCount");
    return static_cast<int>(input_.size());
}

int FakePort::OutBufferCount() const {
    checkRead("OutBufferCount");
    if (!open_)
        throw PortFailure(QStringLiteral("The port is not open."));
    return pendingOutput_;
}

bool FakePort::CDHolding() const {
    checkRead("CDHolding");
    return open_ && cd_;
}

bool FakePort::CTSHolding() const {
    checkRead("CTSHolding");
    return open_ && cts_;
}

bool FakePort::DSRHolding() const {
    checkRead("DSRHolding");
    return open_ && dsr_;
}

bool FakePort::DTREnable() const {
    checkRead("DTREnable");
    return dtr_;
}

void FakePort::setDTREnable(bool enable) {
    checkWrite("DTREnable", boolText(enable));
    dtr_ = enable;
}

qint16 FakePort::InputLen() const {
    checkRead("InputLen");
    return inputLen_;
}

void FakePort::setInputLen(qint16 length) {
    checkWrite("InputLen", QString::number(length));
    inputLen_ = length;
}

qint16 FakePort::RThreshold() const {
    checkRead("RThreshold");
    return rThreshold_;
}

void FakePort::setRThreshold(qint16 threshold) {
    checkWrite("RThreshold", QString::number(threshold));
    rThreshold_ = threshold;
}

qint16 FakePort::SThreshold() const {
    checkRead("SThreshold");
    return sThreshold_;
}

void FakePort::setSThreshold(qint16 threshold) {
    checkWrite("SThreshold", QString::number(threshold));
    sThreshold_ = threshold;
}

QString FakePort::ParityReplace() const {
    checkRead("ParityReplace");
    return parityReplace_;
}

void FakePort::setParityReplace(const QString& replacement) {
    checkWrite("ParityReplace", replacement);
    parityReplace_ = replacement;
}

QString FakePort::devicePathFor(qint16 port) const {
    return QStringLiteral("/dev/fake%1").arg(port);
}
