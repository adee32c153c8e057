#include "scan_log/window/scan_log_texts.h"

#include "base/outside_text.h"
#include "scan_log/window/recorder.h"

namespace scan_log {

namespace {

QString why(const RecordFailure& failure) {
    switch (failure.kind) {
    case RecordFailure::Kind::NotRegular:
        return QStringLiteral("it is not a regular file");
    case RecordFailure::Kind::Deleted:
        return QStringLiteral("the file was deleted or its folder removed");
    case RecordFailure::Kind::System:
        break;
    }
    return failure.reason;
}

} // namespace

QString recordNotStartedText(const RecordFailure& failure) {
    return QStringLiteral("Cannot record to %1: %2. Choose another file or folder.")
        .arg(base::outside_text::visible(failure.path), why(failure));
}

QString recordStoppedText(const RecordFailure& failure) {
    return QStringLiteral("Recording to %1 has stopped: %2. The file keeps what was written "
                          "before; the port and the views go on.")
        .arg(base::outside_text::visible(failure.path), why(failure));
}

QString csvNotSavedText(const QString& path, const QString& reason) {
    return QStringLiteral("Could not save the Scan Log to %1: %2.")
        .arg(base::outside_text::visible(path), reason);
}

} // namespace scan_log
