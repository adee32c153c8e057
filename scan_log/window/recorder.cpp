#include "scan_log/window/recorder.h"

#include "base/unique_fd.h"

#include "scan_log/model/visible_bytes.h"

#include <QMetaObject>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace scan_log {

Recorder::Recorder(base::MonotonicClock clock, QObject* parent)
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

namespace {

QString systemReason() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The user's file, opened without ever waiting: a FIFO or a device would block open() or the
// writes on the user-interface thread, so only a regular file is taken, and emptied only once it
// is known to be one.
base::Result<base::UniqueFd, RecordFailure> openRegularFile(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    base::UniqueFd fd(
        ::open(name.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    struct stat status {};
    if (!fd) {
        // A FIFO without a reader (ENXIO) or a folder (EISDIR) is refused by open() itself.
        const QString reason = systemReason();
        if (::stat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode))
            return base::Failed{RecordFailure{RecordFailure::Kind::NotRegular, path, {}}};
        return base::Failed{RecordFailure{RecordFailure::Kind::System, path, reason}};
    }
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return base::Failed{RecordFailure{RecordFailure::Kind::NotRegular, path, {}}};
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        ::ftruncate(fd.get(), 0) != 0)
        return base::Failed{RecordFailure{RecordFailure::Kind::System, path, systemReason()}};
    return fd;
}

} // namespace

base::Status<RecordFailure> Recorder::start(const QString& path, Kind kind) {
    stop();
    base::Result<base::UniqueFd, RecordFailure> opened = openRegularFile(path);
    if (!opened)
        return base::Failed{opened.error()};
    auto file = std::make_unique<QFile>();
    // Unbuffered: every write goes to the file system when flush() makes it, so a failure is
    // seen there and not at some later close. Once open, the file closes the descriptor.
    if (!file->open(opened.value().get(), QIODevice::WriteOnly | QIODevice::Unbuffered,
                    QFileDevice::AutoCloseHandle))
        return base::Failed{RecordFailure{RecordFailure::Kind::System, path, file->errorString()}};
    opened.value().release();
    file_ = std::move(file);
    path_ = path;
    kind_ = kind;
    buffer_.clear();
    ++session_;
    flushTimer_.start();
    emit recordingChanged(true);
    return base::Done{};
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
    const qint64 wall = base::wallMsFor(msecs, clock_());
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
    // A file whose last name is gone (deleted, or its folder removed) would take everything and
    // keep none of it.
    struct stat status {};
    if (::fstat(file_->handle(), &status) == 0 && status.st_nlink == 0)
        return fail({RecordFailure::Kind::Deleted, path_, {}});
    qsizetype done = 0;
    while (done < buffer_.size()) {
        const qsizetype chunk = std::min(ChunkBytes, buffer_.size() - done);
        const qint64 written = file_->write(buffer_.constData() + done, chunk);
        if (written <= 0)
            return fail({RecordFailure::Kind::System, path_, file_->errorString()});
        done += written;
    }
    buffer_.clear();
    return true;
}

bool Recorder::fail(const RecordFailure& failure) {
    close();
    emit failed(failure);
    return false;
}

} // namespace scan_log
