#pragma once

#include "test_codes/rules/test_code.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace test_codes {

enum class VerdictKind {
    Pass,                // exactly the content
    PassWithDifferences, // read right, sent differently (a scanner setting)
    Fail,                // read wrong, or not this code
};

// How GS (1Dh) came in a GS1 code's scan.
enum class GsSending { NotApplicable, Sent, Missing, Replaced };

// What a scan shows of the scanner's settings, as far as the comparison could tell; the
// summary learns from these.
struct SendingFacts {
    std::string aimIdentifier; // "]E0"; empty: none came
    std::optional<bool> checkDigitSent;
    std::optional<bool> upcAAs13Digits;
    GsSending gs = GsSending::NotApplicable;
    char gsReplacement = 0;
    bool leadingZerosDropped = false;
    bool caseChanged = false;
    std::string_view keyboardLayout; // the layout whose key swaps explain the scan
};

struct Verdict {
    VerdictKind kind = VerdictKind::Fail;
    // Each difference, or for a failure what differs, as phrases.
    std::vector<std::string> differences;
    SendingFacts facts;

    // "Pass", "Pass with differences: ...; ...", or "Fail: ...".
    std::string text() const;
};

// The verdict on `received` (a scan's bytes without the terminator) for `code`.
Verdict judge(const TestCode& code, std::string_view received);

struct Match {
    std::optional<std::size_t> code; // the index into the list; none: no code matches
    Verdict verdict;
};

// The code a scan most likely is: the one it passes with the fewest differences (the shown one
// when it ties), else the shown code with what differs, else none.
Match matchScan(std::span<const TestCode> codes, std::string_view received,
                std::optional<std::size_t> shown);

} // namespace test_codes
