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

// The UPC-A a UPC-E code stands for, 12 digits with the check digit: the number system, the
// manufacturer's and the product's digits put back from the six UPC-E digits by the last of them
// (0-2: the manufacturer's third digit and three zeros; 3 and 4: two and one zeros more; 5-9:
// the product's last digit). A UPC-E's check digit is that of this UPC-A, not the one an 8-digit
// GTIN-8 would have. `upcE` is 7 or 8 digits (the check digit is left out of the expansion and
// put back computed); none for anything else or a number system other than 0 and 1.
std::optional<std::string> expandUpcE(std::string_view upcE);

// Whether the 8 digits `upcE` end with the check digit of the UPC-A they stand for: "ok", or
// "check digit should be 4"; empty when they are no UPC-E.
std::string upcECheckText(std::string_view upcE);

} // namespace scan_log
