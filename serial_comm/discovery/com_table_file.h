#pragma once

#include "serial_comm/discovery/com_table.h"

#include <QString>

namespace serial_comm {

// The file that keeps the COM table between runs: "com-numbers" in the given folder. Trouble
// with it is never fatal: it is said once on standard error (once for reading, once for
// writing), the table goes on with what could be read, and the next save writes it afresh.
class ComTableFile {
public:
    // The folder the program uses: the user's configuration folder + "/linnet-test".
    static QString defaultFolder();

    explicit ComTableFile(QString folder);

    QString path() const;

    // The remembered devices; an empty list when there is no file yet or it cannot be read.
    QList<ComEntry> load();

    // Writes the whole table atomically; false (said once) when it cannot.
    bool save(const QList<ComEntry>& entries);

private:
    void warnOnce(bool& said, const QString& text);

    QString folder_;
    bool saidRead_ = false;
    bool saidWrite_ = false;
};

} // namespace serial_comm
