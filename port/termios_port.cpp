#include "port/termios_port.h"

#include "base/outside_text.h"
#include "port/device_map.h"
#include "port/device_open.h"
#include "port/port_messages.h"
#include "port/termios_device.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <cerrno>

#include <sys/file.h>
#include <sys/ioctl.h>

namespace port {

namespace {

void stopNotifier(QSocketNotifier* notifier) {
    if (notifier == nullptr)
        return;
    // Disabled before anything else: a notifier left on a hung-up descriptor fires without end.
    notifier->setEnabled(false);
    // Possibly inside its own activated() signal, so not deleted at once.
    notifier->deleteLater();
}

} // namespace

TermiosPort::TermiosPort(QObject* parent, base::MonotonicClock clock)
    : PortControl(parent), clock_(std::move(clock)),
      settings_(*parseLineSettings(DefaultSettings)) {
    watch_.setParent(this);
    watch_.setObjectName(QStringLiteral("lineWatch"));
    watch_.setInterval(LinePollMs);
    connect(&watch_, &QTimer::timeout, this, &TermiosPort::watchLines);
    breakEnd_.setParent(this);
    breakEnd_.setSingleShot(true);
    connect(&breakEnd_, &QTimer::timeout, this, &TermiosPort::endBreak);
    readPace_.setParent(this);
    readPace_.setSingleShot(true);
    readPace_.setTimerType(Qt::PreciseTimer);
    readPace_.setInterval(kReadPaceMs);
    connect(&readPace_, &QTimer::timeout, this, &TermiosPort::readAvailable);
}

TermiosPort::~TermiosPort() {
    if (device_)
        closeDevice(true);
}

void TermiosPort::setDeviceResolver(DeviceResolver resolver) {
    resolver_ = std::move(resolver);
}

PortDevice TermiosPort::resolve(qint16 port) const {
    return resolver_ ? resolver_(port) : PortDevice{deviceFileForPort(port), true};
}

PortError TermiosPort::failure(PortOperation operation, FailureKind kind,
                               FailureCause cause) const {
    PortError error;
    error.operation = operation;
    error.kind = kind;
    error.cause = cause;
    error.port = port_;
    error.device = device_ ? device_->path : devicePathFor(port_);
    return error;
}

void TermiosPort::requireOpen(PortOperation operation) const {
    if (!device_)
        throw PortFailure(failure(operation, FailureKind::ClosedPort, FailureCause::NotOpen));
}

// --- open and close ---

bool TermiosPort::PortOpen() const {
    return device_ != nullptr;
}

void TermiosPort::setPortOpen(bool open) {
    if (open && PortOpen())
        throw PortFailure(
            failure(PortOperation::Open, FailureKind::OpenPort, FailureCause::AlreadyOpen));
    if (!open && !PortOpen())
        throw PortFailure(
            failure(PortOperation::Close, FailureKind::ClosedPort, FailureCause::AlreadyClosed));
    if (open)
        openDevice();
    else
        closeDevice(true);
}

PortError TermiosPort::openFailure(FailureKind kind, FailureCause cause,
                                   const QString& path) const {
    PortError error = failure(PortOperation::Open, kind, cause);
    error.device = path;
    return error;
}

void TermiosPort::refuseOpen(int systemError, const QString& path) const {
    PortError error = openFailure(failureKind(systemError, DeviceState::Opening),
                                  FailureCause::OpenRefused, path);
    error.systemError = systemError;
    throw PortFailure(error);
}

void TermiosPort::openDevice() {
    const PortDevice target = resolve(port_);
    const QString path = base::outside_text::visible(target.file);
    base::Result<ClaimedDevice, ClaimRefusal> claimed = claimDevice(target);
    if (!claimed) {
        const ClaimRefusal& refusal = claimed.error();
        switch (refusal.kind) {
        case ClaimRefusal::Kind::System:
            refuseOpen(refusal.systemError, path);
        case ClaimRefusal::Kind::InUse: {
            PortError error = openFailure(FailureKind::Busy, FailureCause::InUse, path);
            error.holders = refusal.holders;
            throw PortFailure(error);
        }
        case ClaimRefusal::Kind::LockFileUnsafe: {
            PortError error = openFailure(FailureKind::Other, FailureCause::LockFileUnsafe, path);
            error.lockFile = base::outside_text::visible(refusal.lockFile);
            throw PortFailure(error);
        }
        }
    }
    ClaimedDevice& claim = claimed.value();

    auto device = std::make_unique<OpenDevice>();
    device->lock = std::move(claim.lock);
    device->file = target.file;
    device->path = path;
    device->fd = std::move(claim.fd);
    device->original = claim.original;
    device->applied = claim.original;
    device->pseudoTerminal = claim.pseudoTerminal;
    device->onExit = ExitRestore(device->fd.get(), claim.original);
    // The exit hook removes our lock file too, so that a program that loses its display does not
    // leave the port looking taken.
    if (device->lock->owned())
        device->onExit.setLockFile(device->lock->path().constData());
    device_ = std::move(device);
    try {
        applyLine(PortOperation::Open, settings_, flow_);
        applyDtr(dtr_);
        applyRts(rts_);
    } catch (...) {
        ::tcsetattr(device_->fd.get(), TCSANOW, &device_->original);
        device_.reset();
        throw;
    }
    beginSession();
}

// The device is open and set up: keep others out, start from empty buffers and counters, and
// listen to it.
void TermiosPort::beginSession() {
    // Later opens by others fail (except root's, which flock and the lock file keep out).
    ::ioctl(device_->fd.get(), TIOCEXCL);
    // Whatever arrived before the port was opened belongs to nobody.
    ::tcflush(device_->fd.get(), TCIFLUSH);
    input_.clear();
    output_.clear();
    decoder_.reset();
    freshInput_ = false;
    overflowing_ = false;
    outputFull_ = false;
    droppedInput_ = 0;
    outputSeen_ = 0;
    ++openCount_;

    // Changes count from here on; the driver's counters are running totals since boot.
    lastLook_ = look();
    errorsCounted_ = lastLook_.counters;
    unmatched_ = {};
    updateWatch();

    const int descriptor = device_->fd.get();
    device_->lineReader = std::make_unique<LineReader>(descriptor, clock_);
    device_->lineReader->setHandshaking(flow_ != FlowControl::None);
    device_->reader =
        new QSocketNotifier(device_->lineReader->readyFd(), QSocketNotifier::Read, this);
    connect(device_->reader, &QSocketNotifier::activated, this, &TermiosPort::readAvailable);
    device_->writer = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
    device_->writer->setEnabled(false);
    connect(device_->writer, &QSocketNotifier::activated, this, &TermiosPort::sendQueued);
}

void TermiosPort::closeDevice(bool restoreAttributes) {
    const std::unique_ptr<OpenDevice> device = std::move(device_);
    stopNotifier(device->reader);
    stopNotifier(device->writer);
    // The reading thread ends before anything is done to the descriptor: no read after close.
    device->lineReader.reset();
    watch_.stop();
    readPace_.stop();
    lastRead_.invalidate();
    input_.clear();
    output_.clear();
    dropEvents();
    if (restoreAttributes) {
        const int fd = device->fd.get();
        // close() would wait (up to the driver's closing_wait, often 30 s) for output held back
        // by flow control, freezing the window; what the driver still holds is dropped instead.
        ::tcflush(fd, TCOFLUSH);
        ::tcsetattr(fd, TCSANOW, &device->original);
        // The exclusive mode belongs to the terminal, not to our descriptor: it would outlive
        // the close while another descriptor keeps the terminal open.
        ::ioctl(fd, TIOCNXCL);
        ::flock(fd, LOCK_UN);
    }
}

void TermiosPort::loseDevice() {
    if (!device_)
        return;
    const QString message =
        failureText(failure(PortOperation::Read, FailureKind::HungUp, FailureCause::DeviceLost));
    closeDevice(false);
    emit deviceLost(message);
}

void TermiosPort::scheduleLoss() {
    // Found inside a property call (Output): reported from the event loop instead, where the
    // reader usually finds the hang-up first.
    device_->writer->setEnabled(false);
    if (device_->lossPending)
        return;
    device_->lossPending = true;
    QMetaObject::invokeMethod(
        this,
        [this, openCount = openCount_] {
            if (openCount == openCount_)
                loseDevice();
        },
        Qt::QueuedConnection);
}
// --- properties ---

PortError TermiosPort::outOfRange(PortOperation operation, qint32 value) const {
    PortError refused = failure(operation, FailureKind::RefusedValue, FailureCause::OutOfRange);
    refused.value = QString::number(value);
    return refused;
}

qint16 TermiosPort::checkedCount(PortOperation operation, qint16 count) const {
    if (count < 0)
        throw PortFailure(outOfRange(operation, count));
    return count;
}

qint16 TermiosPort::CommPort() const {
    return port_;
}

void TermiosPort::setCommPort(qint16 port) {
    if (port < 1 || port > 18)
        throw PortFailure(outOfRange(PortOperation::SetCommPort, port));
    if (device_)
        throw PortFailure(failure(PortOperation::SetCommPort, FailureKind::OpenPort,
                                  FailureCause::ChangeWhileOpen));
    port_ = port;
}

QString TermiosPort::Settings() const {
    return formatLineSettings(settings_);
}

void TermiosPort::setSettings(const QString& settings) {
    const base::Result<LineSettings, PortError> read = parseLineSettings(settings);
    if (!read) {
        // The text alone does not know the port; the failure names it all the same.
        PortError error = read.error();
        const PortError here =
            failure(PortOperation::SetSettings, error.kind, FailureCause::InvalidSettings);
        error.port = here.port;
        error.device = here.device;
        throw PortFailure(error);
    }
    const LineSettings parsed = read.value();
    if (device_)
        applyLine(PortOperation::SetSettings, parsed, flow_);
    settings_ = parsed;
}

qint32 TermiosPort::Handshaking() const {
    return static_cast<qint32>(flow_);
}

void TermiosPort::setHandshaking(qint32 mode) {
    const std::optional<FlowControl> flow = flowControlFromNumber(mode);
    if (!flow)
        throw PortFailure(outOfRange(PortOperation::SetHandshaking, mode));
    if (device_)
        applyLine(PortOperation::SetHandshaking, settings_, *flow);
    flow_ = *flow;
    if (device_)
        device_->lineReader->setHandshaking(flow_ != FlowControl::None);
    updateReader();
    // Leaving RTS/CTS flow control hands RTS back to the setting.
    if (device_)
        applyRts(rts_);
}

bool TermiosPort::CDHolding() const {
    return (modemLines().value_or(0) & TIOCM_CD) != 0;
}
bool TermiosPort::CTSHolding() const {
    return (modemLines().value_or(0) & TIOCM_CTS) != 0;
}
bool TermiosPort::DSRHolding() const {
    return (modemLines().value_or(0) & TIOCM_DSR) != 0;
}

bool TermiosPort::modemLinesReported() const {
    if (!device_)
        return true;
    int bits = 0;
    return ::ioctl(device_->fd.get(), TIOCMGET, &bits) == 0 || !noModemLines(errno);
}

bool TermiosPort::DTREnable() const {
    return dtr_;
}

void TermiosPort::setDTREnable(bool enable) {
    if (device_)
        applyDtr(enable);
    dtr_ = enable;
}

qint16 TermiosPort::InputLen() const {
    return inputLen_;
}

void TermiosPort::setInputLen(qint16 length) {
    inputLen_ = checkedCount(PortOperation::SetInputLen, length);
}

qint16 TermiosPort::RThreshold() const {
    return rThreshold_;
}

void TermiosPort::setRThreshold(qint16 threshold) {
    rThreshold_ = checkedCount(PortOperation::SetRThreshold, threshold);
}

qint16 TermiosPort::SThreshold() const {
    return sThreshold_;
}

void TermiosPort::setSThreshold(qint16 threshold) {
    sThreshold_ = checkedCount(PortOperation::SetSThreshold, threshold);
    updateWatch();
}

QString TermiosPort::ParityReplace() const {
    return parityReplace_;
}

void TermiosPort::setParityReplace(const QString& replacement) {
    // Counted in characters, not UTF-16 units, so that a character beyond the Basic Multilingual
    // Plane is refused for what it is (not one byte) and quoted whole.
    const QList<uint> characters = replacement.toUcs4();
    const auto refuse = [&](FailureCause cause) {
        PortError refused =
            failure(PortOperation::SetParityReplace, FailureKind::RefusedValue, cause);
        refused.value = replacement;
        if (!characters.isEmpty())
            refused.character = characters.at(0);
        throw PortFailure(refused);
    };
    if (characters.size() > 1)
        refuse(FailureCause::TooLong);
    // The replacement takes the place of one received byte, and Input holds bytes.
    if (!characters.isEmpty() && characters.at(0) > 0xFF)
        refuse(FailureCause::NotOneByte);
    parityReplace_ = replacement;
}

QString TermiosPort::devicePathFor(qint16 port) const {
    return base::outside_text::visible(resolve(port).file);
}

} // namespace port
