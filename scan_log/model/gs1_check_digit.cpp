#include "scan_log/model/gs1_check_digit.h"

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

std::optional<std::string> expandUpcE(std::string_view upcE) {
    if ((upcE.size() != 7 && upcE.size() != 8) || !allDigits(upcE) ||
        (upcE[0] != '0' && upcE[0] != '1'))
        return std::nullopt;
    const std::string_view x = upcE.substr(1, 6);
    std::string manufacturer;
    std::string product;
    switch (x[5]) {
    case '0':
    case '1':
    case '2':
        manufacturer = std::string{x[0], x[1], x[5], '0', '0'};
        product = std::string{'0', '0', x[2], x[3], x[4]};
        break;
    case '3':
        manufacturer = std::string{x[0], x[1], x[2], '0', '0'};
        product = std::string{'0', '0', '0', x[3], x[4]};
        break;
    case '4':
        manufacturer = std::string{x[0], x[1], x[2], x[3], '0'};
        product = std::string{'0', '0', '0', '0', x[4]};
        break;
    default:
        manufacturer = std::string(x.substr(0, 5));
        product = std::string{'0', '0', '0', '0', x[5]};
        break;
    }
    std::string upcA = upcE[0] + manufacturer + product;
    upcA += *gs1CheckDigit(upcA);
    return upcA;
}

std::string upcECheckText(std::string_view upcE) {
    const std::optional<std::string> upcA = expandUpcE(upcE);
    if (!upcA || upcE.size() != 8)
        return {};
    if (upcA->back() == upcE.back())
        return "ok";
    return std::string("check digit should be ") + upcA->back();
}

} // namespace scan_log
