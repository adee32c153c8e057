#pragma once

#include "diagnose/model/diagnosis.h"

#include <QString>

namespace diagnose {

// The Diagnose window's text: each serial device and each HID scanner with what it is and what
// to do, keyboards that are not scanners counted, or what to check when nothing is there.
QString diagnosisText(const Diagnosis& diagnosis);

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

} // namespace diagnose
