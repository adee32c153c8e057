#pragma once

#include "test_codes/model/test_code.h"

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
    Fail,                // read wrong, sent so that an application reads it wrong, or not this code
};

// How GS (1Dh) came in a GS1 code's scan.
enum class GsSending { NotApplicable, Sent, Missing, Replaced };

// What a scan shows of the scanner's settings, as far as the comparison could tell; the
// summary and its advice learn from these.
struct SendingFacts {
    Symbology symbology = Symbology::Ean13; // of the code the scan was judged against
    std::string aimIdentifier;              // "]E0"; empty: none came
    std::string prefix;                     // bytes before the code (and its identifier)
    std::string suffix;                     // bytes after the code, before the terminator
    std::optional<bool> checkDigitSent;
    std::optional<int> upcADigits; // UPC-A as it came: 11 (no check digit), 12 or 13 digits
    bool upcEExpanded = false;     // UPC-E sent as the UPC-A it stands for
    GsSending gs = GsSending::NotApplicable;
    char gsReplacement = 0;
    bool leadingZerosDropped = false;
    bool caseChanged = false;
    bool utf8 = false;               // Latin-1 text of the code sent as UTF-8
    std::string_view keyboardLayout; // the layout whose key swaps explain the scan
};

struct Verdict {
    VerdictKind kind = VerdictKind::Fail;
    // Each difference, or for a failure what is wrong, as phrases.
    std::vector<std::string> differences;
    SendingFacts facts;

    // "Pass", "Pass with differences: ...; ...", or "Fail: ...".
    std::string text() const;
};

// How a scan reached the program: as bytes on a port, or as characters typed by a scanner in
// keyboard mode (the keyboard field gives them as UTF-8), which are compared as characters.
enum class Arrival { Bytes, Characters };

// What the scans so far show a scanner adds around every code: its prefix and suffix.
struct Framing {
    std::string prefix;
    std::string suffix;
    bool operator==(const Framing&) const = default;
};

// Extra bytes before or after a code taken for a prefix or suffix at most; more is another scan.
inline constexpr std::size_t MaxFramingBytes = 20;

// The verdict on `received` (a scan's bytes without the terminator) for `code`: the code as a
// scanner with default settings sends it, or as a setting sends it (an identifier, a prefix or
// suffix, the check digit left out, UPC-A as 13 digits, UPC-E as UPC-A, GS replaced, UTF-8 for
// Latin-1, case, another keyboard layout), or what is wrong with it. GS left out after a
// variable-length field is a failure: a GS1 application reads the next field into it. The
// `learned` framing is taken off first, so that a near miss with a prefix still fails on what
// differs.
Verdict judge(const TestCode& code, std::string_view received, Arrival arrival = Arrival::Bytes,
              const Framing& learned = {});

struct Match {
    std::optional<std::size_t> code; // the index into the list; none: close to no code
    Verdict verdict;
};

// The code a scan is: the one it passes with the fewest differences (the shown one when they
// tie); else the code it is closest to, among those of the symbology its identifier names, with
// what is wrong (the shown one when they tie); none when it is close to no code, or was empty and
// no code is shown.
Match matchScan(std::span<const TestCode> codes, std::string_view received,
                std::optional<std::size_t> shown, Arrival arrival = Arrival::Bytes,
                const Framing& learned = {});

} // namespace test_codes
