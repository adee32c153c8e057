#include "test_codes/symbols/pdf_file.h"

#include <QFile>
#include <QPdfWriter>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace test_codes {

namespace {

// Why `path` is no place for a file (a FIFO, a device, a folder); none for a regular file or
// nothing. Looked at without opening: opening a FIFO with no reader would block.
std::optional<QString> notAFile(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    if (S_ISREG(status.st_mode))
        return std::nullopt;
    return S_ISDIR(status.st_mode) ? QStringLiteral("it is a folder")
                                   : QStringLiteral("it is not a regular file");
}

} // namespace

base::Status<QString> writePdfFile(const QString& path,
                                   const std::function<bool(QPdfWriter&)>& paint) {
    if (const std::optional<QString> reason = notAFile(path))
        return base::Failed{*reason};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return base::Failed{file.errorString()};
    bool painted = false;
    {
        // The writer finishes the document when it goes: everything is in `file` after.
        QPdfWriter writer(&file);
        painted = paint(writer);
    }
    if (!painted) {
        file.cancelWriting();
        return base::Failed{QStringLiteral("the document could not be drawn")};
    }
    // Flushed first: a write that failed inside the writer is tried again here, and only then
    // does the file know the system's reason ("No space left on device").
    const bool flushed = file.flush();
    if (!flushed || file.error() != QFileDevice::NoError || file.size() <= 0 ||
        file.size() != file.pos()) {
        const QString reason = file.error() != QFileDevice::NoError
                                   ? file.errorString()
                                   : QStringLiteral("less was written than the document holds");
        file.cancelWriting();
        return base::Failed{reason};
    }
    if (!file.commit())
        return base::Failed{file.errorString()};
    return base::Done{};
}

} // namespace test_codes
