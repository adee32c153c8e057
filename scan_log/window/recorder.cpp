#include "scan_log/window/recorder.h"

#include "scan_log/decode/visible_bytes.h"

#include <QMetaObject>

namespace scan_log {

Recorder::Recorder(MonotonicClock clock, QObject* parent)
    : QObject(parent), clock_(std::move(clock)) {
    flushTimer_.setInterval(FlushMs);
    connect(&flushTimer_, &QTimer::timeout, this, [this] { flush(); });
}

Recorder::~Recorder() {
    const QSignalBlocker quiet(this);
    stop();
}

QString Recorder::defaultFileName(const QDateTime& when) {
    return when.toString(QStringLiteral("'linnet-'yyyyMMdd-HHmmss'.log'"));
}

bool Recorder::start(const QString& path, Kind kind, QString* error) {
    stop();
    auto file = std::make_unique<QFile>(path);
    // Unbuffered: every write goes to the file system when flush() makes it, so a failure is
    // seen there and not at some later close.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        if (error)
            *error = QStringLiteral("Cannot record to %1: %2. Choose another file or folder.")
                         .arg(path, file->errorString());
        return false;
    }
    file_ = std::move(file);
    path_ = path;
    kind_ = kind;
    buffer_.clear();
    ++session_;
    flushTimer_.start();
    emit recordingChanged(true);
    return true;
}

void Recorder::stop() {
    if (!file_)
        return;
    if (flush())
        close();
}

void Recorder::close() {
    flushTimer_.stop();
    buffer_.clear();
    file_.reset();
    emit recordingChanged(false);
}

void Recorder::received(const QByteArray& bytes, qint64 msecs) {
    if (!file_ || bytes.isEmpty())
        return;
    if (kind_ == Kind::Raw)
        buffer_.append(bytes);
    else
        addLine("RX", bytes, msecs);
    waiting();
}

void Recorder::sent(const QByteArray& bytes, qint64 msecs) {
    if (!file_ || kind_ != Kind::Transcript || bytes.isEmpty())
        return;
    // One line per Output, which the typing writes once per key.
    addLine("TX", bytes, msecs);
    waiting();
}

void Recorder::addLine(const char* direction, const QByteArray& bytes, qint64 msecs) {
    const qint64 wall = wallMsFor(msecs, clock_());
    const qint64 second = wall >= 0 ? wall / 1000 : (wall - 999) / 1000;
    // The date, time and offset are written out once a second; lines within it reuse them.
    if (second != timeSecond_ || timeBefore_.isEmpty()) {
        QDateTime when = QDateTime::fromMSecsSinceEpoch(second * 1000);
        when.setOffsetFromUtc(when.offsetFromUtc());
        const QByteArray iso = when.toString(Qt::ISODateWithMs).toLatin1();
        const qsizetype dot = iso.indexOf('.');
        timeBefore_ = iso.left(dot + 1);
        timeAfter_ = iso.mid(dot + 4);
        timeSecond_ = second;
    }
    const auto millis = static_cast<int>(wall - second * 1000);
    buffer_.append(timeBefore_);
    buffer_.append(static_cast<char>('0' + millis / 100));
    buffer_.append(static_cast<char>('0' + millis / 10 % 10));
    buffer_.append(static_cast<char>('0' + millis % 10));
    buffer_.append(timeAfter_);
    buffer_.append(' ');
    buffer_.append(direction);
    buffer_.append(' ');
    const qsizetype before = buffer_.size();
    buffer_.resize(before + bytes.size() * static_cast<qsizetype>(MaxVisibleCharsPerByte));
    const std::size_t written = writeVisibleForm(
        buffer_.data() + before,
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    buffer_.resize(before + static_cast<qsizetype>(written));
    buffer_.append('\n');
}

void Recorder::waiting() {
    if (buffer_.size() < SoonBytes || soonQueued_)
        return;
    // Not from inside the port's work: the write, and a failure's report, come from the event
    // loop.
    soonQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this, session = session_] {
            soonQueued_ = false;
            if (session == session_ && file_)
                flush();
        },
        Qt::QueuedConnection);
}

bool Recorder::flush() {
    if (!file_)
        return true;
    qsizetype done = 0;
    while (done < buffer_.size()) {
        const qsizetype chunk = std::min(ChunkBytes, buffer_.size() - done);
        const qint64 written = file_->write(buffer_.constData() + done, chunk);
        if (written <= 0) {
            const QString message =
                QStringLiteral("Recording to %1 has stopped: %2. The file keeps what was "
                               "written before; the port and the views go on.")
                    .arg(path_, file_->errorString());
            close();
            emit failed(message);
            return false;
        }
        done += written;
    }
    buffer_.clear();
    return true;
}

} // namespace scan_log
