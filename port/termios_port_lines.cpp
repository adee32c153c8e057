#include "port/termios_device.h"

#include <cerrno>

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace port {

namespace {

LineCounters countersFrom(const serial_icounter_struct& c) {
    LineCounters counters;
    counters.cts = static_cast<quint32>(c.cts);
    counters.dsr = static_cast<quint32>(c.dsr);
    counters.rng = static_cast<quint32>(c.rng);
    counters.dcd = static_cast<quint32>(c.dcd);
    counters.frame = static_cast<quint32>(c.frame);
    counters.parity = static_cast<quint32>(c.parity);
    counters.brk = static_cast<quint32>(c.brk);
    counters.overrun = static_cast<quint32>(c.overrun);
    counters.bufOverrun = static_cast<quint32>(c.buf_overrun);
    return counters;
}

} // namespace

// --- line settings and lines ---

void TermiosPort::applyLine(PortOperation operation, const LineSettings& settings,
                            FlowControl flow) {
    const int fd = device_->fd.get();
    const termios wanted = buildTermios(device_->original, settings, flow);
    // glibc's tcsetattr answers EINVAL when the device kept nothing of a change it can see: on a
    // pseudo-terminal, which forces 8 bits without parity, that is every change of parity or data
    // bits alone. Whatever the device kept is judged by reading it back instead.
    if (::tcsetattr(fd, TCSANOW, &wanted) != 0 && errno != EINVAL) {
        const int error = errno;
        ::tcsetattr(fd, TCSANOW, &device_->applied);
        PortError refused = failure(operation, failureKind(error, DeviceState::Open),
                                    FailureCause::SettingsNotTaken);
        refused.value = formatLineSettings(settings);
        refused.systemError = error;
        throw PortFailure(refused);
    }
    // tcsetattr also succeeds when only part of the change took effect, so a refused value shows
    // only when read back.
    termios actual = wanted;
    if (::tcgetattr(fd, &actual) == 0) {
        if (const RefusedLine refused = refusedLine(wanted, actual, device_->pseudoTerminal);
            refused.any()) {
            ::tcsetattr(fd, TCSANOW, &device_->applied);
            PortError error =
                failure(operation, FailureKind::RefusedValue, FailureCause::ValueNotTaken);
            error.value = formatLineSettings(settings);
            error.handshaking = static_cast<qint32>(flow);
            error.refused = refused;
            throw PortFailure(error);
        }
    }
    // What the device holds now, as read back: what a later refusal puts back.
    device_->applied = actual;
}

void TermiosPort::applyDtr(bool raised) {
    applyModemLine(TIOCM_DTR, raised, PortOperation::SetDtr, FailureCause::DtrNotSet);
}

// Raises or drops one output line; a device without modem lines (a pseudo-terminal) takes that
// as done, as the lamps then show nothing either.
void TermiosPort::applyModemLine(int line, bool raised, PortOperation operation,
                                 FailureCause cause) {
    int bits = line;
    if (::ioctl(device_->fd.get(), raised ? TIOCMBIS : TIOCMBIC, &bits) == 0)
        return;
    const int error = errno;
    if (noModemLines(error))
        return;
    PortError refused = failure(operation, failureKind(error, DeviceState::Open), cause);
    refused.value = raised ? QStringLiteral("true") : QStringLiteral("false");
    refused.systemError = error;
    throw PortFailure(refused);
}

std::optional<int> TermiosPort::modemLines() const {
    if (!device_)
        return std::nullopt;
    int bits = 0;
    if (::ioctl(device_->fd.get(), TIOCMGET, &bits) != 0)
        return std::nullopt;
    return bits;
}

std::optional<LineCounters> TermiosPort::readCounters() {
    if (!device_->hasCounters)
        return std::nullopt;
    serial_icounter_struct counters{};
    if (::ioctl(device_->fd.get(), TIOCGICOUNT, &counters) == 0)
        return countersFrom(counters);
    if (noModemLines(errno))
        device_->hasCounters = false;
    return std::nullopt;
}

LineSnapshot TermiosPort::look() {
    LineSnapshot snapshot;
    snapshot.counters = readCounters();
    if (device_->hasLines) {
        snapshot.lines = modemLines();
        if (!snapshot.lines && noModemLines(errno))
            device_->hasLines = false;
    }
    return snapshot;
}

void TermiosPort::watchLines() {
    if (!device_)
        return;
    if (device_->hasCounters || device_->hasLines) {
        const LineSnapshot now = look();
        for (const qint16 code : lineEvents(lastLook_, now))
            raiseEvent(code);
        // A part that did not answer this time keeps its last value, so that the next answer is
        // compared with it and nothing that happened in between is lost.
        if (now.counters)
            lastLook_.counters = now.counters;
        if (now.lines)
            lastLook_.lines = now.lines;
    }
    // The driver sends what it holds without telling anyone: only a look shows the count fall.
    observeOutputCount();
    updateWatch();
}

void TermiosPort::updateWatch() {
    const bool needed = device_ && (device_->hasCounters || device_->hasLines ||
                                    (sThreshold_ > 0 && outputSeen_ > 0));
    if (!needed)
        watch_.stop();
    else if (!watch_.isActive())
        watch_.start();
}

// --- break and RTS ---

void TermiosPort::sendBreak() {
    requireOpen(PortOperation::SendBreak);
    // TIOCSBRK and a timer rather than tcsendbreak, which would hold the event loop for the
    // whole break (0.25 to 0.5 s on Linux).
    if (::ioctl(device_->fd.get(), TIOCSBRK) != 0) {
        const int error = errno;
        PortError refused = failure(PortOperation::SendBreak, failureKind(error, DeviceState::Open),
                                    FailureCause::BreakNotSent);
        refused.systemError = error;
        throw PortFailure(refused);
    }
    device_->breakGuard.fd = device_->fd.get();
    breakEnd_.start(BreakMs);
}

void TermiosPort::endBreak() {
    // A port closed during the break has cleared it already, and a port opened since is not
    // in one.
    if (!device_ || device_->breakGuard.fd < 0)
        return;
    ::ioctl(device_->fd.get(), TIOCCBRK);
    device_->breakGuard.fd = -1;
}

bool TermiosPort::RTSEnable() const {
    return rts_;
}

void TermiosPort::setRTSEnable(bool enable) {
    if (device_)
        applyRts(enable);
    rts_ = enable;
}

void TermiosPort::applyRts(bool raised) {
    if (flow_ == FlowControl::RtsCts || flow_ == FlowControl::Both)
        return;
    applyModemLine(TIOCM_RTS, raised, PortOperation::SetRts, FailureCause::RtsNotSet);
}

} // namespace port
