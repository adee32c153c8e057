#pragma once

#include "diagnose/model/diagnosis.h"

#include <QList>
#include <QString>

namespace diagnose {

// How a row of Diagnose stands: a scanner or port ready to use, one that needs the person to do
// something, or a device that is not a scanner (the console, keyboards).
enum class RowStatus { Ready, NeedsAction, NotAScanner };

// One row of Diagnose: a device (or the open port, or a word about what is missing) with its
// state, where it is reached, its name and ids, and its paragraph. A paragraph that holds a rule
// to copy is cut around it: `before`, the rule, `after`.
struct DiagnosisRow {
    RowStatus status = RowStatus::Ready;
    QString where;     // "COM3", "keyboard mode", "HID point-of-sale"; empty for a general word
    QString device;    // its name and ids, as shown (outside text made visible)
    QString before;    // the paragraph, or its part before the rule
    QString rule;      // a udev rule as it goes in its file, or empty
    QString after;     // the paragraph's part after the rule
    QString paragraph; // whole, as the findings' text has it
};

// The rows for a diagnosis, in the order of its text: the quiet port, the serial devices, the
// scanners, the keyboards that are not scanners (one row for them all), or what to check when
// nothing is there.
QList<DiagnosisRow> diagnosisRows(const Diagnosis& diagnosis);

// The rows' paragraphs as one text, a blank line between them: what Copy All copies.
QString diagnosisText(const Diagnosis& diagnosis);

} // namespace diagnose
