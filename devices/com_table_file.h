#pragma once

#include "devices/com_table.h"
#include "devices/devices_problem.h"

#include <QString>

#include <functional>

namespace devices {

// The file that keeps the COM table between runs: "com-numbers" in the given folder. Trouble
// with it is never fatal: it is noted once as a problem (once for reading, once for writing),
// the table goes on with what could be read, and the next save writes it afresh.
//
// The file is the user's own: it is read only when it is a regular file (never a FIFO, a device
// or a link, and at most MaxBytes of it), written by renaming a new file into its place (never
// through a link), and its folder is made readable by the user alone. Programs that run at the
// same time share it: each change reads the file, merges it and writes it back under an
// advisory lock (a lock file beside it), so that two devices never end up with one number.
class ComTableFile {
public:
    static constexpr qint64 MaxBytes = 1024 * 1024;

    // The folder the program uses: the user's configuration folder + "/linnet-test".
    static QString defaultFolder();

    explicit ComTableFile(QString folder);

    QString path() const;

    // The remembered devices; an empty list when there is no file yet or it cannot be read.
    QList<ComEntry> load();

    // Writes the whole table atomically; false (noted once) when it cannot.
    bool save(const QList<ComEntry>& entries);

    // Under the lock: merges what the file holds now into `table`, lets `change` change it, and
    // writes the result.
    void update(ComTable& table, const std::function<void(ComTable&)>& change);

    // The problems noted since the last call.
    QList<DevicesProblem> takeProblems();

private:
    void noteOnce(bool& noted, DevicesProblem problem);
    // The file's path is something other than a regular file: it is never written, and noted
    // once.
    void refuse();

    QString folder_;
    bool notedRead_ = false;
    bool notedWrite_ = false;
    QList<DevicesProblem> problems_;
    bool refused_ = false;
};

} // namespace devices
