#include "serial_comm/termios_port.h"

#include "serial_comm/device_map.h"

#include <QFile>
#include <QMetaObject>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace serial_comm;

namespace serial_comm {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release() noexcept {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void UniqueFd::reset(int fd) noexcept {
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = fd;
}

} // namespace serial_comm

namespace {

// One wake-up of the read notifier takes at most this much, so a device that sends faster than
// we read cannot starve the event loop; the notifier fires again for the rest.
constexpr qsizetype kMaxReadPerWake = 1 << 20;

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// With VMIN and VTIME 0 a read of an idle device returns 0 just as a hung-up one does; only poll
// tells them apart.
bool hungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) < 0)
        return false;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// Modem-line ioctls on a device without lines (a pseudo-terminal, some USB adapters) answer
// ENOTTY or EINVAL; that means "cannot tell", not failure.
bool noModemLines(int error) {
    return error == ENOTTY || error == EINVAL;
}

void stopNotifier(QSocketNotifier* notifier) {
    if (notifier == nullptr)
        return;
    // Disabled before anything else: a notifier left on a hung-up descriptor fires without end.
    notifier->setEnabled(false);
    // Possibly inside its own activated() signal, so not deleted at once.
    notifier->deleteLater();
}

} // namespace

struct TermiosPort::OpenDevice {
    QString path;
    UniqueFd fd;
    termios original{}; // restored on close
    termios applied{};  // put back when a change is refused
    QSocketNotifier* reader = nullptr;
    QSocketNotifier* writer = nullptr;
};

TermiosPort::TermiosPort(QObject* parent)
    : PortControl(parent), settings_(parseLineSettings(DefaultSettings)) {}

TermiosPort::~TermiosPort() {
    if (device_)
        closeDevice(true);
}

QString TermiosPort::where() const {
    return QStringLiteral("%1 (%2)").arg(portName(port_), device_->path);
}

void TermiosPort::requireOpen() const {
    if (!device_)
        throw PortFailure(QStringLiteral("%1 is not open; open it first.").arg(portName(port_)));
}

// --- open and close ---

bool TermiosPort::PortOpen() const {
    return device_ != nullptr;
}

void TermiosPort::setPortOpen(bool open) {
    if (open == PortOpen())
        throw PortFailure(open ? QStringLiteral("%1 is already open.").arg(where())
                               : QStringLiteral("%1 is already closed.").arg(portName(port_)));
    if (open)
        openDevice();
    else
        closeDevice(true);
}

void TermiosPort::openDevice() {
    const QString path = devicePathFor(port_);
    UniqueFd fd(
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    // errno is taken at once, before anything else can overwrite it.
    const auto refuse = [&](int error) { throw PortFailure(openFailureText(port_, path, error)); };
    if (!fd)
        refuse(errno);
    // flock, unlike TIOCEXCL, also keeps out a second program running as root.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        refuse(errno);
    termios original{};
    if (::tcgetattr(fd.get(), &original) != 0)
        refuse(errno);

    auto device = std::make_unique<OpenDevice>();
    device->path = path;
    device->fd = std::move(fd);
    device->original = original;
    device->applied = original;
    device_ = std::move(device);
    try {
        applyLine(settings_, flow_);
        applyDtr(dtr_);
    } catch (...) {
        ::tcsetattr(device_->fd.get(), TCSANOW, &device_->original);
        device_.reset();
        throw;
    }
    // Whatever arrived before the port was opened belongs to nobody.
    ::tcflush(device_->fd.get(), TCIFLUSH);
    input_.clear();
    output_.clear();
    ++openCount_;

    const int descriptor = device_->fd.get();
    device_->reader = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(device_->reader, &QSocketNotifier::activated, this, &TermiosPort::readAvailable);
    device_->writer = new QSocketNotifier(descriptor, QSocketNotifier::Write, this);
    device_->writer->setEnabled(false);
    connect(device_->writer, &QSocketNotifier::activated, this, &TermiosPort::sendQueued);
}

void TermiosPort::closeDevice(bool restoreAttributes) {
    const std::unique_ptr<OpenDevice> device = std::move(device_);
    stopNotifier(device->reader);
    stopNotifier(device->writer);
    input_.clear();
    output_.clear();
    dropEvents();
    if (restoreAttributes) {
        const int fd = device->fd.get();
        // close() would wait (up to the driver's closing_wait, often 30 s) for output held back
        // by flow control, freezing the window; what the driver still holds is dropped instead.
        ::tcflush(fd, TCOFLUSH);
        ::tcsetattr(fd, TCSANOW, &device->original);
        ::flock(fd, LOCK_UN);
    }
}

void TermiosPort::loseDevice() {
    if (!device_)
        return;
    const QString message = deviceLostText(port_, device_->path);
    closeDevice(false);
    emit deviceLost(message);
}

void TermiosPort::scheduleLoss() {
    // Found inside a property call (Output): reported from the event loop instead, where the
    // reader usually finds the hang-up first.
    device_->writer->setEnabled(false);
    QMetaObject::invokeMethod(
        this,
        [this, openCount = openCount_] {
            if (openCount == openCount_)
                loseDevice();
        },
        Qt::QueuedConnection);
}

// --- line settings and lines ---

void TermiosPort::applyLine(const LineSettings& settings, FlowControl flow) {
    const int fd = device_->fd.get();
    const termios wanted = buildTermios(device_->original, settings, flow);
    // glibc's tcsetattr answers EINVAL when the device kept nothing of a change it can see: on a
    // pseudo-terminal, which forces 8 bits without parity, that is every change of parity or data
    // bits alone. Whatever the device kept is judged by reading it back instead.
    if (::tcsetattr(fd, TCSANOW, &wanted) != 0 && errno != EINVAL) {
        const int error = errno;
        ::tcsetattr(fd, TCSANOW, &device_->applied);
        throw PortFailure(QStringLiteral("%1 did not take the settings %2: %3.")
                              .arg(where(), formatLineSettings(settings), systemReason(error)));
    }
    // tcsetattr also succeeds when only part of the change took effect, so a refused rate shows
    // only when read back. Parity and data bits are not compared, for the same reason as above.
    termios actual{};
    const bool readBack = ::tcgetattr(fd, &actual) == 0;
    if (readBack && (cfgetospeed(&actual) != cfgetospeed(&wanted) ||
                     cfgetispeed(&actual) != cfgetispeed(&wanted))) {
        ::tcsetattr(fd, TCSANOW, &device_->applied);
        throw PortFailure(QStringLiteral("%1 does not accept %2 baud; choose another baud rate.")
                              .arg(where())
                              .arg(settings.baud));
    }
    device_->applied = wanted;
}

void TermiosPort::applyDtr(bool raised) {
    int bits = TIOCM_DTR;
    if (::ioctl(device_->fd.get(), raised ? TIOCMBIS : TIOCMBIC, &bits) == 0)
        return;
    const int error = errno;
    if (noModemLines(error))
        return;
    throw PortFailure(QStringLiteral("%1 could not %2 DTR: %3.")
                          .arg(where(), raised ? QStringLiteral("raise") : QStringLiteral("drop"),
                               systemReason(error)));
}

std::optional<int> TermiosPort::modemLines() const {
    if (!device_)
        return std::nullopt;
    int bits = 0;
    if (::ioctl(device_->fd.get(), TIOCMGET, &bits) != 0)
        return std::nullopt;
    return bits;
}

// --- receiving ---

void TermiosPort::readAvailable() {
    if (!device_)
        return;
    const int fd = device_->fd.get();
    std::array<char, 16384> chunk;
    qsizetype taken = 0;
    bool lost = false;
    while (taken < kMaxReadPerWake) {
        const ssize_t count = ::read(fd, chunk.data(), chunk.size());
        if (count > 0) {
            acceptReceived(QByteArrayView(chunk.data(), count));
            taken += count;
            continue;
        }
        const int error = count < 0 ? errno : 0;
        if (error == EINTR)
            continue;
        if (count == 0)
            lost = hungUp(fd);
        else if (error != EAGAIN)
            lost = isHangUpError(error) || hungUp(fd);
        break;
    }
    if (lost) {
        loseDevice();
        return;
    }
    // Only new characters raise Receive; the characters a handler leaves behind are the base
    // class's to raise again.
    if (taken > 0 && rThreshold_ > 0 && input_.size() >= rThreshold_)
        raiseEvent(CommEventCode::Receive);
}

void TermiosPort::acceptReceived(QByteArrayView bytes) {
    // Bytes are taken as they come; parity-error marking and the buffer limit belong here.
    input_.append(bytes);
}

QString TermiosPort::Input() {
    requireOpen();
    const qsizetype count =
        inputLen_ == 0 ? input_.size() : std::min<qsizetype>(inputLen_, input_.size());
    const QString taken = QString::fromLatin1(input_.first(count));
    input_.remove(0, count);
    return taken;
}

int TermiosPort::InBufferCount() const {
    requireOpen();
    return static_cast<int>(input_.size());
}

// --- sending ---

void TermiosPort::setOutput(const QString& text) {
    if (!device_)
        throw PortFailure(
            QStringLiteral("%1 is not open; open it before sending.").arg(portName(port_)));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t code = text.at(i).unicode();
        if (code > 0xFF)
            throw PortFailure(
                QStringLiteral("Character %1 of the text to send is U+%2, which is not one byte; "
                               "only characters U+0000 to U+00FF can be sent.")
                    .arg(i + 1)
                    .arg(QString::number(code, 16).toUpper().rightJustified(4, u'0')));
    }
    output_.append(text.toLatin1());
    sendQueued();
}

void TermiosPort::sendQueued() {
    if (!device_)
        return;
    const int fd = device_->fd.get();
    while (!output_.isEmpty()) {
        const ssize_t count = ::write(fd, output_.constData(), output_.size());
        if (count > 0) {
            output_.remove(0, count);
            continue;
        }
        const int error = count < 0 ? errno : 0;
        if (error == EINTR)
            continue;
        // A terminal refuses a write for good only when it is gone (EIO after a hang-up); any
        // such failure is treated as the device going away rather than retried without end.
        if (count < 0 && error != EAGAIN) {
            scheduleLoss();
            return;
        }
        break;
    }
    // Enabled only while something waits: a writable device would otherwise wake us constantly.
    device_->writer->setEnabled(!output_.isEmpty());
}

int TermiosPort::OutBufferCount() const {
    requireOpen();
    int driverQueue = 0;
    if (::ioctl(device_->fd.get(), TIOCOUTQ, &driverQueue) != 0 || driverQueue < 0)
        driverQueue = 0;
    return static_cast<int>(output_.size()) + driverQueue;
}

// --- properties ---

qint16 TermiosPort::CommPort() const {
    return port_;
}

void TermiosPort::setCommPort(qint16 port) {
    if (port < 1 || port > 18)
        throw PortFailure(
            QStringLiteral("Port number %1 is not valid; use a number from 1 to 18.").arg(port));
    if (device_)
        throw PortFailure(QStringLiteral("The port number cannot change while %1 is open; close "
                                         "the port first.")
                              .arg(where()));
    port_ = port;
}

QString TermiosPort::Settings() const {
    return formatLineSettings(settings_);
}

void TermiosPort::setSettings(const QString& settings) {
    const LineSettings parsed = parseLineSettings(settings);
    if (device_)
        applyLine(parsed, flow_);
    settings_ = parsed;
}

qint32 TermiosPort::Handshaking() const {
    return static_cast<qint32>(flow_);
}

void TermiosPort::setHandshaking(qint32 mode) {
    const std::optional<FlowControl> flow = flowControlFromNumber(mode);
    if (!flow)
        throw PortFailure(QStringLiteral("Handshaking %1 is not valid; use 0 (none), 1 (Xon/Xoff), "
                                         "2 (RTS/CTS) or 3 (Xon/Xoff and RTS/CTS).")
                              .arg(mode));
    if (device_)
        applyLine(settings_, *flow);
    flow_ = *flow;
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
    if (length < 0)
        throw PortFailure(QStringLiteral("InputLen %1 is not valid; use 0 to take every waiting "
                                         "character, or a positive count.")
                              .arg(length));
    inputLen_ = length;
}

qint16 TermiosPort::RThreshold() const {
    return rThreshold_;
}

void TermiosPort::setRThreshold(qint16 threshold) {
    if (threshold < 0)
        throw PortFailure(QStringLiteral("RThreshold %1 is not valid; use 0 to switch receive "
                                         "notifications off, or a positive count.")
                              .arg(threshold));
    rThreshold_ = threshold;
}

qint16 TermiosPort::SThreshold() const {
    return sThreshold_;
}

void TermiosPort::setSThreshold(qint16 threshold) {
    if (threshold < 0)
        throw PortFailure(QStringLiteral("SThreshold %1 is not valid; use 0 to switch send "
                                         "notifications off, or a positive count.")
                              .arg(threshold));
    sThreshold_ = threshold;
}

QString TermiosPort::ParityReplace() const {
    return parityReplace_;
}

void TermiosPort::setParityReplace(const QString& replacement) {
    if (replacement.size() > 1)
        throw PortFailure(QStringLiteral("The parity replacement \"%1\" is too long; use one "
                                         "character, or nothing to keep the received byte.")
                              .arg(replacement));
    parityReplace_ = replacement;
}

QString TermiosPort::devicePathFor(qint16 port) const {
    return devicePathForPort(port);
}
