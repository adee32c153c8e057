#include "base/regular_file.h"

#include "base/unique_fd.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {

namespace {

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

Failed<FileProblem> problem(FileProblem::Kind kind, int error = 0) {
    return Failed{FileProblem{kind, error != 0 ? errnoText(error) : QString()}};
}

} // namespace

Result<QByteArray, FileProblem> readRegularFile(const QString& path, qint64 maxBytes) {
    const QByteArray name = QFile::encodeName(path);
    const UniqueFd file(
        ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return QByteArray();
        if (::lstat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode))
            return problem(FileProblem::Kind::NotRegular);
        return problem(FileProblem::Kind::Unreadable, error);
    }
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return problem(FileProblem::Kind::NotRegular);
    QByteArray text(maxBytes + 1, Qt::Uninitialized);
    qint64 size = 0;
    while (size < text.size()) {
        const ssize_t got = ::read(file.get(), text.data() + size, std::size_t(text.size() - size));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return problem(FileProblem::Kind::Unreadable, errno);
        if (got == 0)
            break;
        size += got;
    }
    if (size > maxBytes)
        return problem(FileProblem::Kind::TooLarge);
    text.truncate(size);
    return text;
}

Status<FileProblem> replaceRegularFile(const QString& path, const QByteArray& bytes) {
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    if (::lstat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode))
        return problem(FileProblem::Kind::NotRegular);
    QByteArray temporary = name + ".XXXXXX";
    const UniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0)
        return problem(FileProblem::Kind::Unwritable, errno);
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t put =
            ::write(file.get(), bytes.constData() + written, std::size_t(bytes.size() - written));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        written += put;
    }
    int error = 0;
    if (written < bytes.size() || ::fsync(file.get()) != 0 ||
        ::rename(temporary.constData(), name.constData()) != 0)
        error = errno != 0 ? errno : EIO;
    if (error != 0) {
        ::unlink(temporary.constData());
        return problem(FileProblem::Kind::Unwritable, error);
    }
    return Done{};
}

} // namespace base
