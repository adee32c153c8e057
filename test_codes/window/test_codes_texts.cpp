#include "test_codes/window/test_codes_texts.h"

#include "base/outside_text.h"

namespace test_codes {

QString sheetNotWrittenText(const SheetFailure& failure) {
    switch (failure.kind) {
    case SheetFailure::Kind::NotEncoded:
        return QStringLiteral("The test sheet %1 is incomplete: %2.")
            .arg(base::outside_text::visible(failure.path),
                 base::outside_text::visible(failure.detail));
    case SheetFailure::Kind::CannotWrite:
        break;
    }
    return QStringLiteral("Cannot write the test sheet to %1: %2. Choose another file or folder.")
        .arg(base::outside_text::visible(failure.path),
             failure.detail.isEmpty() ? QStringLiteral("the file cannot be written")
                                      : base::outside_text::visible(failure.detail));
}

QString resultsNotSavedText(const QString& what, const QString& path, const QString& reason) {
    return QStringLiteral("Could not save the %1 to %2: %3. Choose another file or folder.")
        .arg(what, base::outside_text::visible(path), reason);
}

QString noScanMatchedText(const QString& verdict) {
    return QStringLiteral("Last scan: %1").arg(verdict);
}

QString lastScanText(const QString& codeName, const QString& verdict) {
    return QStringLiteral("Last scan: %1: %2").arg(codeName, verdict);
}

QString noScanYetText(bool portOpen) {
    return portOpen ? QStringLiteral("Last scan: none yet. Scan the code shown.")
                    : QStringLiteral("Last scan: none yet. Open the scanner's port and scan the "
                                     "code shown.");
}

QString adviceHeadingText() {
    return QStringLiteral("What to change on the scanner:");
}

QString notJudgedText(quint64 scans) {
    return QStringLiteral("%1 of a flood came faster than they could be judged and were not "
                          "judged.")
        .arg(scans == 1 ? QStringLiteral("1 scan") : QStringLiteral("%1 scans").arg(scans));
}

} // namespace test_codes
