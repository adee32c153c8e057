#pragma once

#include <QString>

namespace scan_log {

struct RecordFailure;

// The sentences of the Scan Log and of recording, in one place: the windows show them.

// "Cannot record to /tmp/fifo: it is not a regular file. Choose another file or folder."
QString recordNotStartedText(const RecordFailure& failure);

// "Recording to /tmp/x.log has stopped: No space left on device. ..."
QString recordStoppedText(const RecordFailure& failure);

// "Could not save the Scan Log to /tmp/x.csv: Permission denied."
QString csvNotSavedText(const QString& path, const QString& reason);

} // namespace scan_log
