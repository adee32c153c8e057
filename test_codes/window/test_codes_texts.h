#pragma once

#include "test_codes/symbols/test_sheet.h"

#include <QString>

namespace test_codes {

// The sentences of the Test Codes window.
QString sheetNotWrittenText(const SheetFailure& failure);
QString resultsNotSavedText(const QString& what, const QString& path, const QString& reason);
QString noScanMatchedText(const QString& verdict);
QString lastScanText(const QString& codeName, const QString& verdict);
// What the last-scan line says before any scan: with the port closed, to open it first.
QString noScanYetText(bool portOpen);
// The heading of the lines of advice under the summary.
QString adviceHeadingText();
// Said when scans came faster than they could be judged.
QString notJudgedText(quint64 scans);

} // namespace test_codes
