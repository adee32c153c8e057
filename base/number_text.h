#pragma once

#include "base/result.h"

#include <QString>

namespace base {

// A number that does not fit where it has to go: which limit, and the number as written (or as
// read, for a value out of the 16-bit range).
struct NumberOverflow {
    enum class Kind {
        Radix,  // hexadecimal or octal digits that need more than 32 bits
        Double, // too large for a double
        Finite, // infinity or NaN cannot be rounded
        Int16,  // the rounded value is outside -32768..32767
    };
    Kind kind = Kind::Double;
    QString number;
    bool operator==(const NumberOverflow&) const = default;
};

// The number as the program offers it for editing: a blank before zero and positive numbers, a
// minus sign before negative ones, then the digits (" 0", " 64", "-1").
QString decimalText(qint64 n);

// Reads the answer of a number prompt.
//
// Blanks, tabs and line feeds are dropped wherever they stand, so "1 2" reads 12. What remains is
// read from the start for as long as it forms a number: an optional sign, digits with at most one
// decimal point ("5." and ".5" count), and an optional exponent (E or e, optional sign, digits;
// an E without digits after it ends the number before the E). The rest is ignored, and text that
// does not begin with a number reads 0.
//
// "&H" and "&O" (either case) start hexadecimal and octal digits. They are whole numbers in two's
// complement, as wide as their value needs: up to FFFF (octal 177777) 16 bits, so "&HFFFF" is -1
// and "&H8000" is -32768; up to FFFFFFFF (octal 37777777777) 32 bits, so "&H10000" is 65536 and
// "&HFFFFFFFF" is -1. Leading zeros do not widen a number ("&H0000FFFF" is -1). A sign before the
// "&" is not taken: "-&H10" reads 0.
//
// An overflow when the value is too large for a double ("1e400") or when hexadecimal or octal
// digits need more than 32 bits. A value too small for a double reads 0.
Result<double, NumberOverflow> readNumber(const QString& text);

// Rounds to the nearest whole number, halves to the even neighbour (2.5 gives 2, 3.5 gives 4).
// An overflow when the rounded value is outside -32768..32767, and for NaN and infinity.
Result<qint16, NumberOverflow> toInt16(double value);

} // namespace base
