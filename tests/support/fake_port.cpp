#include "fake_port.h"

#include <cerrno>

using namespace port;

port::PortError FakePort::fault(port::PortOperation operation, port::FailureCause cause) const {
    port::PortError error;
    error.operation = operation;
    error.kind = port::failureKind(EIO, port::DeviceState::Open);
    error.cause = cause;
    error.port = port_;
    error.device = devicePathFor(port_);
    error.systemError = EIO;
    return error;
}

void FakePort::receive(const QString& characters) {
    input_ += characters;
    emit bytesArrived(characters.toLatin1(), tapTime());
    if (open_ && rThreshold_ > 0 && input_.size() >= rThreshold_)
        raiseEvent(port::CommEventCode::Receive);
}

void FakePort::checkRead(const char* property) const {
    const auto it = readFailures_.find(QString::fromLatin1(property));
    if (it != readFailures_.end())
        throw port::PortFailure(it.value());
}

void FakePort::checkWrite(const char* property, const QString& value) {
    const QString name = QString::fromLatin1(property);
    const auto it = writeFailures_.find(name);
    if (it != writeFailures_.end())
        throw port::PortFailure(it.value());
    writes << name + QLatin1Char('=') + value;
}

void FakePort::requireOpen() const {
    if (open_)
        return;
    port::PortError error;
    error.operation = port::PortOperation::Input;
    error.kind = port::FailureKind::ClosedPort;
    error.cause = port::FailureCause::NotOpen;
    error.port = port_;
    error.device = devicePathFor(port_);
    throw port::PortFailure(error);
}

void FakePort::setPortOpen(bool open) {
    open_ = write("PortOpen", open);
    if (!open)
        dropEvents();
}

void FakePort::setOutput(const QString& text) {
    requireOpen();
    sent += write("Output", text);
    emit bytesSent(text.toLatin1(), tapTime());
}

void FakePort::sendBreak() {
    requireOpen();
    checkWrite("Break", QStringLiteral("true"));
    ++breaks;
}

QString FakePort::Input() {
    checkRead("Input");
    requireOpen();
    ++inputReads;
    const qsizetype count =
        inputLen_ == 0 ? input_.size() : std::min<qsizetype>(inputLen_, input_.size());
    QString taken = input_.left(count);
    input_.remove(0, count);
    return taken;
}

int FakePort::OutBufferCount() const {
    checkRead("OutBufferCount");
    requireOpen();
    return pendingOutput_;
}
