#include "port/termios_device.h"

#include "port/port_messages.h"

#include <cerrno>
#include <climits>

#include <unistd.h>

namespace port {

// --- receiving ---

void TermiosPort::readAvailable() {
    if (!device_)
        return;
    // Called by the pace timer: pacing goes on while its takes find something.
    const bool paced = sender() == &readPace_;
    // With handshaking, what waits in the reading thread stays there while the input buffer is
    // nearly full (updateReader holds the thread and rests the notifier).
    LineReader::Taken taken = device_->lineReader->take(kMaxReadPerWake);
    qsizetype count = 0;
    for (const StampedBytes& read : taken.reads) {
        acceptReceived(read.bytes, read.ms);
        count += read.bytes.size();
    }
    if (taken.dropped > 0)
        countDropped(taken.dropped);
    if (taken.ended) {
        raiseReceiveIfDue();
        loseDevice();
        return;
    }
    const bool close = lastRead_.isValid() && lastRead_.elapsed() < kReadPaceMs;
    if (count > 0)
        lastRead_.start();
    // A stream that has gone on for a while is paced by the reading thread, which then hands it
    // over every LineReader::SustainedPaceMs: each hand-over is taken at once.
    if (device_->lineReader->sustained())
        readPace_.stop();
    else if (count > 0 && count < kPaceBelowBytes && (close || readPace_.isActive() || paced))
        readPace_.start();
    updateReader();
    raiseReceiveIfDue();
}

void TermiosPort::updateReader() {
    if (!device_ || device_->reader == nullptr)
        return;
    QSocketNotifier& reader = *device_->reader;
    // Without handshaking nothing would hold the sender: the port reads eagerly, and what does
    // not fit is dropped and reported (RxOver). With it, the reading thread stops reading while
    // the input buffer is nearly full, so that the driver holds the sender back.
    const bool handshaking = flow_ != FlowControl::None;
    if (handshaking && input_.size() >= FlowHoldMark)
        device_->lineReader->setHeld(true);
    else if (!handshaking || input_.size() <= FlowResumeMark)
        device_->lineReader->setHeld(false);
    if (reader.isEnabled() &&
        (readPace_.isActive() || (handshaking && input_.size() >= FlowHoldMark)))
        reader.setEnabled(false);
    else if (!reader.isEnabled() && !readPace_.isActive() &&
             (!handshaking || input_.size() <= FlowResumeMark))
        reader.setEnabled(true);
}

void TermiosPort::acceptReceived(QByteArrayView bytes, qint64 arrivedMs) {
    // With 7 data bits the eighth is no data: a real 7-bit UART hands on seven, but a
    // pseudo-terminal (always 8 bits) and some USB-serial adapters pass the parity bit along.
    const bool sevenBits = settings_.dataBits == 7;
    for (StreamPiece& piece : decoder_.decode(bytes)) {
        if (sevenBits)
            stripEighthBits(piece.bytes);
        if (piece.kind == StreamPiece::Kind::Data) {
            appendInput(piece.bytes, arrivedMs);
            continue;
        }
        // The characters before the error are announced before it, as they came.
        raiseReceiveIfDue();
        const qint16 code = classifyMark(piece.kind, unmatchedErrors(), settings_.parity != 'N');
        raiseEvent(code, arrivedMs);
        if (code == CommEventCode::Break)
            continue;
        const char received = piece.kind == StreamPiece::Kind::ErrorByte ? piece.bytes.at(0) : '\0';
        if (code == CommEventCode::RxParity && !parityReplace_.isEmpty())
            appendInput(parityReplace_.toLatin1(), arrivedMs);
        else
            appendInput(QByteArrayView(&received, 1), arrivedMs);
    }
}

void TermiosPort::appendInput(QByteArrayView bytes, qint64 arrivedMs) {
    emit bytesArrived(bytes.toByteArray(), arrivedMs);
    const qsizetype kept = std::min(bytes.size(), InputBufferSize - input_.size());
    if (kept > 0) {
        input_.append(bytes.first(kept));
        freshInput_ = true;
    }
    if (kept < bytes.size())
        countDropped(static_cast<quint64>(bytes.size() - kept));
}

void TermiosPort::countDropped(quint64 bytes) {
    droppedInput_ += bytes;
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
    if (!device_)
        return 0;
    // What the reading thread holds has arrived but not reached the input buffer yet.
    int count = 0;
    if (::ioctl(device_->fd.get(), FIONREAD, &count) != 0)
        count = 0;
    return count +
           static_cast<int>(std::min<qsizetype>(device_->lineReader->queued(), INT_MAX / 2));
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
    emit bytesSent(text.toLatin1(), clock_());
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

} // namespace port
