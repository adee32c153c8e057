#include "serial_comm/port/termios_port.h"

#include "serial_comm/port/device_map.h"
#include "serial_comm/port/exit_restore.h"

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
// we read cannot starve the event loop, and the block a Receive handler renders (four hex
// characters a byte) stays small enough to keep the window answering within a frame; the
// notifier fires again for the rest.
constexpr qsizetype kMaxReadPerWake = 64 << 10;

// A device that sends small pieces close together (a 115,200-baud stream of short lines: 720 a
// second) would wake the program for each. Once a read of less than kPaceBelowBytes follows the
// last within kReadPaceMs, the notifier rests and the port reads every kReadPaceMs instead, until
// a read finds nothing. A piece after a quiet spell is still read at once; the views show
// changes once a frame anyway (about 30 ms while data streams in), so the pace adds no delay the
// user could see, and the kernel's buffer holds far more than a pause's worth. Larger reads
// (a flood) are never paced.
constexpr int kReadPaceMs = 30;
constexpr qsizetype kPaceBelowBytes = 4096;

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

// The text in double quotes for a message. A lone surrogate (half of a character beyond the Basic
// Multilingual Plane) would show as garbage or nothing, so it is named by its code instead.
QString quotedCharacters(const QString& text) {
    QString quoted = QStringLiteral("\"");
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text.at(i);
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            quoted += unit;
            quoted += text.at(++i);
        } else if (unit.isSurrogate()) {
            quoted += QStringLiteral("U+") +
                      QString::number(unit.unicode(), 16).toUpper().rightJustified(4, u'0');
        } else {
            quoted += unit;
        }
    }
    return quoted + QStringLiteral("\"");
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
    // Removed after the descriptor is closed.
    std::unique_ptr<DeviceLockFile> lock;
    QByteArray file;
    QString path; // the file, for messages
    UniqueFd fd;
    termios original{}; // restored on close
    termios applied{};  // put back when a change is refused
    // Restores `original` if the process exits with the device open; after `fd`, so that it is
    // given up before the descriptor closes.
    ExitRestore onExit;
    QSocketNotifier* reader = nullptr;
    QSocketNotifier* writer = nullptr;
    // Cleared for good when the driver answers that it has no such thing.
    bool hasCounters = true;
    bool hasLines = true;
    // A write found the device gone; the loss is reported from the event loop.
    bool lossPending = false;
};

TermiosPort::TermiosPort(QObject* parent)
    : PortControl(parent), settings_(parseLineSettings(DefaultSettings)) {
    watch_.setParent(this);
    watch_.setObjectName(QStringLiteral("lineWatch"));
    watch_.setInterval(LinePollMs);
    connect(&watch_, &QTimer::timeout, this, &TermiosPort::watchLines);
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

QString TermiosPort::where() const {
    return QStringLiteral("%1 (%2)").arg(portName(port_),
                                         device_ ? device_->path : devicePathFor(port_));
}

void TermiosPort::requireOpen() const {
    if (!device_)
        throw PortFailure(QStringLiteral("%1 is not open; open it first.").arg(where()));
}

// --- open and close ---

bool TermiosPort::PortOpen() const {
    return device_ != nullptr;
}

void TermiosPort::setPortOpen(bool open) {
    if (open == PortOpen())
        throw PortFailure(
            open ? QStringLiteral("%1 is already open; close it before opening it again.")
                       .arg(where())
                 : QStringLiteral("%1 is already closed; there is nothing to close.").arg(where()));
    if (open)
        openDevice();
    else
        closeDevice(true);
}

void TermiosPort::openDevice() {
    // The name goes to open() as the bytes the environment gave: a name that is not valid text
    // must open all the same.
    const QByteArray file = deviceFileForPort(port_);
    const QString path = displayPath(file);
    UniqueFd fd(::open(file.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    // errno is taken at once, before anything else can overwrite it.
    const auto refuse = [&](int error) { throw PortFailure(openFailureText(port_, path, error)); };
    if (!fd)
        refuse(errno);
    termios original{};
    if (::tcgetattr(fd.get(), &original) != 0)
        refuse(errno);
    // flock, unlike TIOCEXCL, also keeps out a second program running as root.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        refuse(errno);
    // Other serial programs (minicom, picocom, ...) take the traditional lock file instead.
    auto lock = std::make_unique<DeviceLockFile>();
    switch (lock->take(DeviceLockFile::directory(), file)) {
    case DeviceLockFile::Outcome::Taken:
    case DeviceLockFile::Outcome::Skipped:
        break;
    case DeviceLockFile::Outcome::Held:
        if (lock->holder().pid > 0)
            throw PortFailure(inUseText(port_, path, {lock->holder()}));
        refuse(EWOULDBLOCK);
        break;
    case DeviceLockFile::Outcome::Unsafe:
        throw PortFailure(
            QStringLiteral("Cannot open %1 (%2): its lock file %3 is not a regular file, so it is "
                           "neither used nor removed. Remove it if no program uses the port, "
                           "then open the port again.")
                .arg(portName(port_), path, displayPath(lock->path())));
    }
    // A program that opened the device without any lock still shows in /proc.
    struct stat status {};
    if (::fstat(fd.get(), &status) == 0 && S_ISCHR(status.st_mode)) {
        if (const QList<DeviceHolder> holders = otherHolders(status.st_rdev); !holders.isEmpty())
            throw PortFailure(inUseText(port_, path, holders));
    }

    auto device = std::make_unique<OpenDevice>();
    device->lock = std::move(lock);
    device->file = file;
    device->path = path;
    device->fd = std::move(fd);
    device->original = original;
    device->applied = original;
    device->onExit = ExitRestore(device->fd.get(), original);
    // The exit hook removes our lock file too, so that a program that loses its display does not
    // leave the port looking taken.
    if (device->lock->owned())
        device->onExit.setLockFile(device->lock->path().constData());
    device_ = std::move(device);
    try {
        applyLine(settings_, flow_);
        applyDtr(dtr_);
    } catch (...) {
        ::tcsetattr(device_->fd.get(), TCSANOW, &device_->original);
        device_.reset();
        throw;
    }
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
    const QString message = deviceLostText(port_, device_->path);
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

void TermiosPort::applyLine(const LineSettings& settings, FlowControl flow) {
    const int fd = device_->fd.get();
    const termios wanted = buildTermios(device_->original, settings, flow);
    // glibc's tcsetattr answers EINVAL when the device kept nothing of a change it can see: on a
    // pseudo-terminal, which forces 8 bits without parity, that is every change of parity or data
    // bits alone. Whatever the device kept is judged by reading it back instead.
    if (::tcsetattr(fd, TCSANOW, &wanted) != 0 && errno != EINVAL) {
        const int error = errno;
        ::tcsetattr(fd, TCSANOW, &device_->applied);
        throw PortFailure(QStringLiteral("%1 did not take the settings %2: %3. The port keeps "
                                         "its previous settings; choose other settings or check "
                                         "that the device is still connected.")
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
                              .arg(where(), QString::number(settings.baud)));
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
    throw PortFailure(QStringLiteral("%1 could not %2 DTR: %3. Check that the device is still "
                                     "connected, or close the port and open it again.")
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
        int bits = 0;
        if (::ioctl(device_->fd.get(), TIOCMGET, &bits) == 0)
            snapshot.lines = bits;
        else if (noModemLines(errno))
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
    for (const StreamPiece& piece : decoder_.decode(bytes)) {
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
    requireOpen();
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
    requireOpen();
    return static_cast<int>(input_.size());
}

// --- sending ---

void TermiosPort::setOutput(const QString& text) {
    if (!device_)
        throw PortFailure(QStringLiteral("%1 is not open; open it before sending.").arg(where()));
    // Counted and named by whole characters, so that one beyond the Basic Multilingual Plane is
    // not named by its first half.
    const QList<uint> characters = text.toUcs4();
    for (qsizetype i = 0; i < characters.size(); ++i) {
        const uint code = characters.at(i);
        if (code > 0xFF)
            throw PortFailure(
                QStringLiteral("%1 cannot send the text: character %2 is U+%3, which is not one "
                               "byte; only characters U+0000 to U+00FF can be sent.")
                    .arg(where(), QString::number(i + 1),
                         QString::number(code, 16).toUpper().rightJustified(4, u'0')));
    }
    if (const qsizetype room = OutputBufferSize - output_.size(); text.size() > room)
        refuseOutput(text.size(), room);
    output_.append(text.toLatin1());
    // Counted as queued before any of it goes out, so that a text the device takes at once still
    // takes the count past SThreshold and back.
    observeOutputCount();
    writeQueued();
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
    const QString wait = QStringLiteral(" Wait until the device has taken what is queued (with "
                                        "flow control on, the device may be holding it back).");
    if (room == 0)
        throw PortFailure(where() +
                          QStringLiteral(" cannot take more output: its transmit buffer is full.") +
                          wait);
    if (size > OutputBufferSize)
        throw PortFailure(
            QStringLiteral("%1 cannot send %2 characters at once: its transmit "
                           "buffer holds %3. Send the text in parts.")
                .arg(where(), QString::number(size), QString::number(OutputBufferSize)));
    throw PortFailure(QStringLiteral("%1 cannot take %2 more characters: its transmit buffer has "
                                     "room for %3.")
                          .arg(where(), QString::number(size), QString::number(room)) +
                      wait);
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
    requireOpen();
    return outputCount();
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
    updateReader();
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
    updateWatch();
}

QString TermiosPort::ParityReplace() const {
    return parityReplace_;
}

void TermiosPort::setParityReplace(const QString& replacement) {
    // Counted in characters, not UTF-16 units, so that a character beyond the Basic Multilingual
    // Plane is refused for what it is (not one byte) and quoted whole.
    const QList<uint> characters = replacement.toUcs4();
    if (characters.size() > 1)
        throw PortFailure(QStringLiteral("The parity replacement %1 is too long; use one "
                                         "character, or nothing to keep the received byte.")
                              .arg(quotedCharacters(replacement)));
    // The replacement takes the place of one received byte, and Input holds bytes.
    if (!characters.isEmpty() && characters.at(0) > 0xFF)
        throw PortFailure(QStringLiteral("The parity replacement %1 is not a one-byte "
                                         "character; use a character from U+0000 to U+00FF, or "
                                         "nothing to keep the received byte.")
                              .arg(quotedCharacters(replacement)));
    parityReplace_ = replacement;
}

QString TermiosPort::devicePathFor(qint16 port) const {
    return devicePathForPort(port);
}
