#pragma once

#include "diagnose/diagnosis.h"

#include <QString>

namespace diagnose {

// The Diagnose window's text: each serial device and each HID scanner with what it is and what
// to do, keyboards that are not scanners counted, or what to check when nothing is there.
QString diagnosisText(const Diagnosis& diagnosis);

// The paragraph for one serial device, and for one HID device.
QString serialFindingText(const SerialFinding& finding);
QString hidFindingText(const serial_comm::HidInput& input);

} // namespace diagnose
