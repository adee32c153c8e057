#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>

namespace base {

// Why a file the program keeps could not be read or written.
struct FileProblem {
    enum class Kind {
        NotRegular, // a link, a FIFO, a device or a folder stands at its name: left alone
        TooLarge,
        Unreadable,
        Unwritable,
    };
    Kind kind;
    QString reason; // the system's words, for Unreadable and Unwritable
};

// The bytes of the regular file at `path`, empty when there is none. Never follows a link and
// never waits on a FIFO or a device.
Result<QByteArray, FileProblem> readRegularFile(const QString& path, qint64 maxBytes);

// Puts `bytes` at `path`: written to a new file in the same folder, synced, then renamed into
// place, so that a reader never sees half of it and a link at `path` is replaced, never followed.
// Refuses (NotRegular) when something other than a regular file stands there.
Status<FileProblem> replaceRegularFile(const QString& path, const QByteArray& bytes);

} // namespace base
