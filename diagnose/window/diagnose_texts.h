#pragma once

#include "diagnose/model/diagnosis.h"

#include <QString>

namespace diagnose {

// An open port that has received nothing for this long is worth a word.
inline constexpr qint64 QuietPortMs = 10'000;

// The paragraph for the quiet open port (empty when it is not quiet long enough), for one
// serial device, and for one HID device.
QString quietPortText(const PortQuiet& quiet, bool keyboardScanner);
QString serialFindingText(const SerialFinding& finding);
// The udev rule that lets the person at the seat read this one scanner's node (hidraw for a
// point-of-sale scanner, input for one in keyboard mode), and the file it goes in.
QString udevRuleFor(const devices::HidInput& input);
QString udevRuleFor(const devices::HidInput& input, const QString& subsystem);
QString udevRuleFile();
QString hidFindingText(const devices::HidInput& input);
QString lookingText();
QString nothingConnectedText();
QString keyboardsNotListedText(int keyboards);

// The words of the list's rows: where a device is reached, its state, and a row as a screen
// reader says it.
struct DiagnosisRow;
enum class RowStatus;
QString keyboardsCountText(int keyboards);
QString noComNumberWord();
QString openPortWord();
QString hidKindWord(devices::HidKind kind);
QString rowStatusWord(RowStatus status);
QString rowAccessibleText(const DiagnosisRow& row);
QString diagnosisColumnTitle(int column);
QString diagnosisRuleDescription();

} // namespace diagnose
