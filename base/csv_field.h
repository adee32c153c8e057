#pragma once

#include <QString>

namespace base {

// One field of comma-separated values (RFC 4180): quoted when it holds a comma, a quote or a
// line break. Text a spreadsheet would run as a formula (=, +, -, @, TAB or CR first) gets a
// leading "'"; a plain number (-3, +1.5e3) stays a number.
QString csvField(const QString& raw);

} // namespace base
