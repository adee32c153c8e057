#include "devices/com_table_file.h"

#include "base/unique_fd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace devices {

namespace {

// A problem that names nothing but its kind (and the table's path, which noteOnce adds).
DevicesProblem problemOfKind(DevicesProblem::Kind kind) {
    DevicesProblem problem;
    problem.kind = kind;
    return problem;
}

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The lock beside the table, held while the table is read, merged and written. Another program
// holds it for a few milliseconds at most; one that keeps it longer is not waited for.
class TableLock {
public:
    explicit TableLock(const QByteArray& path)
        : fd_(::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                     0600)) {
        if (fd_.get() < 0)
            return;
        for (int attempt = 0; attempt < 50; ++attempt) {
            if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
                held_ = true;
                return;
            }
            QThread::msleep(2);
        }
    }
    ~TableLock() {
        if (held_)
            ::flock(fd_.get(), LOCK_UN);
    }

private:
    base::UniqueFd fd_;
    bool held_ = false;
};

} // namespace

QString ComTableFile::defaultFolder() {
    // The generic location plus a fixed name, so that the folder does not depend on the
    // application and organisation names being set before the table is first used.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/linnet-test");
}

ComTableFile::ComTableFile(QString folder) : folder_(std::move(folder)) {}

QString ComTableFile::path() const {
    return folder_ + QStringLiteral("/com-numbers");
}

void ComTableFile::noteOnce(bool& noted, DevicesProblem problem) {
    if (noted)
        return;
    noted = true;
    problem.path = path();
    problems_.append(problem);
}

void ComTableFile::refuse() {
    refused_ = true;
    noteOnce(notedRead_, problemOfKind(DevicesProblem::Kind::TableNotRegular));
}

QList<DevicesProblem> ComTableFile::takeProblems() {
    return std::exchange(problems_, {});
}

QList<ComEntry> ComTableFile::load() {
    const QByteArray name = QFile::encodeName(path());
    const base::UniqueFd file(
        ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0) {
        // No table yet (or no folder for one: then the save says so).
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        // A link (ELOOP) or a FIFO or device that refuses us: not the user's table.
        if (::lstat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode))
            refuse();
        else
            noteOnce(notedRead_, {DevicesProblem::Kind::TableUnreadable, {}, 0, errnoText()});
        return {};
    }
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        refuse();
        return {};
    }
    QByteArray text(MaxBytes + 1, Qt::Uninitialized);
    qint64 size = 0;
    while (size < text.size()) {
        const ssize_t got = ::read(file.get(), text.data() + size, std::size_t(text.size() - size));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        size += got;
    }
    if (size > MaxBytes) {
        noteOnce(notedRead_, problemOfKind(DevicesProblem::Kind::TableTooLarge));
        return {};
    }
    text.truncate(size);
    const ParsedComTable parsed = parseComTable(text);
    if (parsed.badLines > 0)
        noteOnce(notedRead_, {DevicesProblem::Kind::TableDamaged, {}, parsed.badLines, {}});
    return parsed.entries;
}

bool ComTableFile::save(const QList<ComEntry>& entries) {
    if (refused_)
        return false;
    const QByteArray name = QFile::encodeName(path());
    const QByteArray folder = QFile::encodeName(folder_);
    QString reason;
    struct stat status {};
    if (!QDir().mkpath(QFileInfo(folder_).path()) ||
        (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)) {
        reason = QStringLiteral("cannot make the folder");
    } else if (::lstat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode)) {
        refuse();
        return false;
    } else {
        // A new file renamed into place: the rename replaces a name, never what a link points to.
        QByteArray temporary = name + ".XXXXXX";
        const base::UniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
        if (file.get() < 0) {
            reason = errnoText();
        } else {
            const QByteArray text = formatComTable(entries);
            const bool written =
                ::write(file.get(), text.constData(), std::size_t(text.size())) == text.size() &&
                ::fsync(file.get()) == 0;
            if (!written)
                reason = errnoText();
            if (written && ::rename(temporary.constData(), name.constData()) == 0)
                return true;
            if (reason.isEmpty())
                reason = errnoText();
            ::unlink(temporary.constData());
        }
    }
    noteOnce(notedWrite_, {DevicesProblem::Kind::TableUnwritable, {}, 0, reason});
    return false;
}

void ComTableFile::update(ComTable& table, const std::function<void(ComTable&)>& change) {
    if (refused_) {
        change(table);
        return;
    }
    QDir().mkpath(QFileInfo(folder_).path());
    ::mkdir(QFile::encodeName(folder_).constData(), 0700);
    const TableLock lock(QFile::encodeName(path() + QStringLiteral(".lock")));
    table = ComTable(mergeComTables(load(), table.entries()));
    change(table);
    save(table.entries());
}

} // namespace devices
