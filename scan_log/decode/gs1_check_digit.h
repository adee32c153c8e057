#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace scan_log {

// The GS1 mod-10 check digit for `digits` (the key without its check digit): weights 3 and 1
// alternating from the right, so one rule serves GTIN-8 to GTIN-14, SSCC, GLN and the rest.
// None when `digits` is empty or holds anything but digits.
std::optional<char> gs1CheckDigit(std::string_view digits);

// Whether `key` ends with its right check digit: "ok", or "check digit should be 7". Empty
// when `key` is shorter than two characters or not all digits.
std::string checkDigitText(std::string_view key);

bool allDigits(std::string_view text);

} // namespace scan_log
