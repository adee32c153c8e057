#include "port/termios_port.h"

#include "base/outside_text.h"

#include "port/device_map.h"
#include "port/exit_restore.h"
#include "port/port_messages.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace port {

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

namespace {

// One wake-up of the read notifier takes at most this much, so a device that sends faster than
// we read cannot starve the event loop, and the block a Receive handler renders (four hex
// characters a byte) stays small enough to keep the window answering within a frame; the
// notifier fires again for the rest.
constexpr qsizetype kMaxReadPerWake = 64 << 10;

// A device that sends small pieces close together (a 115,200-baud stream of short lines: 720 a
// second) would wake the program for each. Once a read of less than kPaceBelowBytes follows the
// last within kReadPaceMs, the notifier rests and the port reads every kReadPaceMs instead, until
// a read finds nothing. A piece after a quiet spell is still read at once. Each paced read is one
// wake-up that reads, and the views show what it brought at once, so the pace sets how often a
// stream costs a refresh (25 a second) and how long a byte of it may wait to be seen (the pace
// and a refresh: within a twentieth of a second); the kernel's buffer holds far more than a
// pause's worth. Larger reads (a flood) are never paced.
constexpr int kReadPaceMs = 40;
constexpr qsizetype kPaceBelowBytes = 4096;

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

// A break left on would hold the line at space after the port closed.
struct BreakGuard {
    int fd = -1;
    BreakGuard() = default;
    BreakGuard(const BreakGuard&) = delete;
    BreakGuard& operator=(const BreakGuard&) = delete;
    ~BreakGuard() {
        if (fd >= 0)
            ::ioctl(fd, TIOCCBRK);
    }
};

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
    // Removed after the descriptor is closed.
    std::unique_ptr<DeviceLockFile> lock;
    QByteArray file;
    QString path; // the file, for messages
    UniqueFd fd;
    termios original{}; // restored on close
    termios applied{};  // as read back after the last change taken; put back when one is refused
    // Restores `original` if the process exits with the device open; after `fd`, so that it is
    // given up before the descriptor closes.
    ExitRestore onExit;
    QSocketNotifier* reader = nullptr;
    QSocketNotifier* writer = nullptr;
    // A pseudo-terminal forces 8 data bits without parity: not a refusal of the settings.
    bool pseudoTerminal = false;
    // Cleared for good when the driver answers that it has no such thing.
    bool hasCounters = true;
    bool hasLines = true;
    // A write found the device gone; the loss is reported from the event loop.
    bool lossPending = false;
    // Clears a break still on when the device closes; after `fd`, so it runs before the close.
    BreakGuard breakGuard;
};

TermiosPort::TermiosPort(QObject* parent)
    : PortControl(parent), settings_(*parseLineSettings(DefaultSettings)) {
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

// Takes the traditional lock file of the device, or throws: held by a living program, or
// something other than a regular file stands at its name.
std::unique_ptr<DeviceLockFile> TermiosPort::takeLockFile(const QByteArray& file,
                                                          const QString& path) const {
    auto lock = std::make_unique<DeviceLockFile>();
    switch (lock->take(DeviceLockFile::directory(), file)) {
    case DeviceLockFile::Outcome::Taken:
    case DeviceLockFile::Outcome::Skipped:
        break;
    case DeviceLockFile::Outcome::Held:
        if (lock->holder().pid > 0) {
            PortError error = openFailure(FailureKind::Busy, FailureCause::InUse, path);
            error.holders = {lock->holder()};
            throw PortFailure(error);
        }
        refuseOpen(EWOULDBLOCK, path);
    case DeviceLockFile::Outcome::Unsafe: {
        PortError error = openFailure(FailureKind::Other, FailureCause::LockFileUnsafe, path);
        error.lockFile = base::outside_text::visible(lock->path());
        throw PortFailure(error);
    }
    }
    return lock;
}

void TermiosPort::openDevice() {
    // The name goes to open() as the bytes the environment gave: a name that is not valid text
    // must open all the same.
    const PortDevice target = resolve(port_);
    const QByteArray file = target.file;
    const QString path = base::outside_text::visible(file);
    const auto refuse = [&](int systemError) { refuseOpen(systemError, path); };
    // The number of a device that is not plugged in opens nothing: its old node may by now be
    // another device's.
    if (!target.connected)
        refuse(ENODEV);
    UniqueFd fd(::open(file.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    // errno is taken at once, before anything else can overwrite it.
    if (!fd)
        refuse(errno);
    termios original{};
    if (::tcgetattr(fd.get(), &original) != 0)
        refuse(errno);
    // flock, unlike TIOCEXCL, also keeps out a second program running as root.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        refuse(errno);
    // Other serial programs (minicom, picocom, ...) take the traditional lock file instead.
    std::unique_ptr<DeviceLockFile> lock = takeLockFile(file, path);
    // A program that opened the device without any lock still shows in /proc.
    struct stat status {};
    const bool character = ::fstat(fd.get(), &status) == 0 && S_ISCHR(status.st_mode);
    if (character) {
        if (QList<DeviceHolder> holders = otherHolders(status.st_rdev); !holders.isEmpty()) {
            PortError error = openFailure(FailureKind::Busy, FailureCause::InUse, path);
            error.holders = std::move(holders);
            throw PortFailure(error);
        }
    }

    auto device = std::make_unique<OpenDevice>();
    device->lock = std::move(lock);
    device->file = file;
    device->path = path;
    device->fd = std::move(fd);
    device->original = original;
    device->applied = original;
    device->pseudoTerminal = character && isPseudoTerminal(status.st_rdev);
    device->onExit = ExitRestore(device->fd.get(), original);
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

// --- receiving ---

void TermiosPort::readAvailable() {
    if (!device_)
        return;
    // Called by the pace timer: pacing goes on while its reads find something.
    const bool paced = sender() == &readPace_;
    const int fd = device_->fd.get();
    std::array<char, 16384> chunk;
    qsizetype taken = 0;
    bool lost = false;
    const bool holding = flow_ != FlowControl::None;
    while (taken < kMaxReadPerWake && !(holding && input_.size() >= FlowHoldMark)) {
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
    const bool close = lastRead_.isValid() && lastRead_.elapsed() < kReadPaceMs;
    if (taken > 0 && taken < kPaceBelowBytes && (close || readPace_.isActive() || paced))
        readPace_.start();
    if (taken > 0)
        lastRead_.start();
    updateReader();
    raiseReceiveIfDue();
}

void TermiosPort::updateReader() {
    if (!device_ || device_->reader == nullptr)
        return;
    QSocketNotifier& reader = *device_->reader;
    // Without handshaking nothing would hold the sender: the port reads eagerly, and what does
    // not fit is dropped and reported (RxOver).
    const bool handshaking = flow_ != FlowControl::None;
    if (reader.isEnabled() &&
        (readPace_.isActive() || (handshaking && input_.size() >= FlowHoldMark)))
        reader.setEnabled(false);
    else if (!reader.isEnabled() && !readPace_.isActive() &&
             (!handshaking || input_.size() <= FlowResumeMark))
        reader.setEnabled(true);
}

void TermiosPort::acceptReceived(QByteArrayView bytes) {
    // With 7 data bits the eighth is no data: a real 7-bit UART hands on seven, but a
    // pseudo-terminal (always 8 bits) and some USB-serial adapters pass the parity bit along.
    const bool sevenBits = settings_.dataBits == 7;
    for (StreamPiece& piece : decoder_.decode(bytes)) {
        if (sevenBits)
            stripEighthBits(piece.bytes);
        if (piece.kind == StreamPiece::Kind::Data) {
            appendInput(piece.bytes);
            continue;
        }
        // The characters before the error are announced before it, as they came.
        raiseReceiveIfDue();
        const qint16 code = classifyMark(piece.kind, unmatchedErrors(), settings_.parity != 'N');
        raiseEvent(code);
        if (code == CommEventCode::Break)
            continue;
        const char received = piece.kind == StreamPiece::Kind::ErrorByte ? piece.bytes.at(0) : '\0';
        if (code == CommEventCode::RxParity && !parityReplace_.isEmpty())
            appendInput(parityReplace_.toLatin1());
        else
            appendInput(QByteArrayView(&received, 1));
    }
}

void TermiosPort::appendInput(QByteArrayView bytes) {
    emit bytesArrived(bytes.toByteArray(), base::monotonicMs());
    const qsizetype kept = std::min(bytes.size(), InputBufferSize - input_.size());
    if (kept > 0) {
        input_.append(bytes.first(kept));
        freshInput_ = true;
    }
    if (kept == bytes.size())
        return;
    droppedInput_ += static_cast<quint64>(bytes.size() - kept);
    // One report per episode: a device that keeps sending into a full buffer would otherwise
    // bury the window in prompts.
    if (overflowing_)
        return;
    overflowing_ = true;
    raiseReceiveIfDue();
    raiseEvent(CommEventCode::RxOver);
}

void TermiosPort::raiseReceiveIfDue() {
    // Only new characters raise Receive; the characters a handler leaves behind are the base
    // class's to raise again.
    if (!freshInput_)
        return;
    freshInput_ = false;
    if (rThreshold_ > 0 && input_.size() >= rThreshold_)
        raiseEvent(CommEventCode::Receive);
}

UnmatchedErrors& TermiosPort::unmatchedErrors() {
    // The driver counts an error before it passes the marked byte on, so the counters are up to
    // date when the mark is read.
    if (const std::optional<LineCounters> now = readCounters()) {
        if (errorsCounted_)
            unmatched_.add(*errorsCounted_, *now);
        errorsCounted_ = now;
    }
    return unmatched_;
}

QString TermiosPort::Input() {
    requireOpen(PortOperation::Input);
    const qsizetype count =
        inputLen_ == 0 ? input_.size() : std::min<qsizetype>(inputLen_, input_.size());
    const QString taken = QString::fromLatin1(input_.first(count));
    input_.remove(0, count);
    if (input_.size() < InputBufferSize)
        overflowing_ = false;
    updateReader();
    return taken;
}

int TermiosPort::InBufferCount() const {
    requireOpen(PortOperation::InBufferCount);
    return static_cast<int>(input_.size());
}

int TermiosPort::WaitingInDevice() const {
    int count = 0;
    if (!device_ || ::ioctl(device_->fd.get(), FIONREAD, &count) != 0)
        return 0;
    return count;
}

// --- sending ---

void TermiosPort::setOutput(const QString& text) {
    requireOpen(PortOperation::Output);
    // Counted and named by whole characters, so that one beyond the Basic Multilingual Plane is
    // not named by its first half.
    const QList<uint> characters = text.toUcs4();
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const uint code = characters.at(i);
        if (code > 0xFF) {
            PortError refused =
                failure(PortOperation::Output, FailureKind::RefusedValue, FailureCause::NotOneByte);
            refused.position = i + 1;
            refused.character = code;
            throw PortFailure(refused);
        }
    }
    if (const qsizetype room = OutputBufferSize - output_.size(); text.size() > room)
        refuseOutput(text.size(), room);
    output_.append(text.toLatin1());
    // Counted as queued before any of it goes out, so that a text the device takes at once still
    // takes the count past SThreshold and back.
    observeOutputCount();
    writeQueued();
    emit bytesSent(text.toLatin1(), base::monotonicMs());
    enableWriter();
    observeOutputCount();
    updateWatch();
}

void TermiosPort::refuseOutput(qsizetype size, qsizetype room) {
    // One report per episode, as for the input buffer: a user who goes on typing into a held
    // port would otherwise get a prompt for every key.
    if (!outputFull_) {
        outputFull_ = true;
        raiseEvent(CommEventCode::TxFull);
    }
    PortError refused =
        failure(PortOperation::Output, FailureKind::Busy, FailureCause::NoRoomForOutput);
    refused.size = size;
    refused.room = room;
    refused.capacity = OutputBufferSize;
    throw PortFailure(refused);
}

void TermiosPort::sendQueued() {
    if (!device_)
        return;
    writeQueued();
    enableWriter();
    observeOutputCount();
    updateWatch();
}

void TermiosPort::writeQueued() {
    const int fd = device_->fd.get();
    while (!output_.isEmpty()) {
        const ssize_t count = ::write(fd, output_.constData(), output_.size());
        if (count > 0) {
            output_.remove(0, count);
            // The device took something: the buffer has room again, and the next Output it
            // cannot take is reported afresh.
            outputFull_ = false;
            continue;
        }
        const int error = count < 0 ? errno : 0;
        if (error == EINTR)
            continue;
        // A terminal refuses a write for good only when it is gone (EIO after a hang-up); any
        // such failure is treated as the device going away rather than retried without end.
        // EAGAIN: the driver is full, or flow control holds the output back.
        if (count < 0 && error != EAGAIN)
            scheduleLoss();
        return;
    }
}

void TermiosPort::enableWriter() {
    // Only while something waits: a writable device would otherwise wake us constantly, and a
    // device that is gone is writable for ever.
    device_->writer->setEnabled(!output_.isEmpty() && !device_->lossPending);
}

int TermiosPort::outputCount() const {
    int driverQueue = 0;
    if (::ioctl(device_->fd.get(), TIOCOUTQ, &driverQueue) != 0 || driverQueue < 0)
        driverQueue = 0;
    return static_cast<int>(output_.size()) + driverQueue;
}

void TermiosPort::observeOutputCount() {
    const int count = outputCount();
    if (sThreshold_ > 0 && outputSeen_ >= sThreshold_ && count < sThreshold_)
        raiseEvent(CommEventCode::Send);
    outputSeen_ = count;
}

int TermiosPort::OutBufferCount() const {
    requireOpen(PortOperation::OutBufferCount);
    return outputCount();
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
