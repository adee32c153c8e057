#include "scan_log/decode/gs1_check_digit.h"

#include <algorithm>

namespace scan_log {

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<char> gs1CheckDigit(std::string_view digits) {
    if (digits.empty() || !allDigits(digits))
        return std::nullopt;
    int sum = 0;
    int weight = 3;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        sum += (*it - '0') * weight;
        weight = 4 - weight;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

std::string checkDigitText(std::string_view key) {
    if (key.size() < 2)
        return {};
    const auto expected = gs1CheckDigit(key.substr(0, key.size() - 1));
    if (!expected || key.back() < '0' || key.back() > '9')
        return {};
    if (*expected == key.back())
        return "ok";
    return std::string("check digit should be ") + *expected;
}

} // namespace scan_log
