#pragma once

#include "scan_log/model/scan_splitter.h"
#include "test_codes/model/scan_verdict.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace test_codes {

// One judged scan with what the Scan Log measured of it.
struct JudgedScan {
    Verdict verdict;
    scan_log::Terminator terminator = scan_log::Terminator::None;
    std::optional<long long> gapMs;  // since the end of the scan before; none for the first
    std::size_t bytes = 0;           // with the terminator
    long long durationMs = 0;        // first byte to last byte
    std::optional<std::size_t> code; // the test code it was judged against; none: no code
};

// What the scanner appears to be set to, learned from the scans so far, one sentence a setting:
// the terminator, the prefix and suffix, symbology identifiers, GS in GS1 codes, check digits,
// UPC-A as it came, the encoding of 2D text, the time from scan to scan and the characters per
// second (a slow rate points at a low baud rate). Settings no scan has shown yet say so.
std::string setupSummary(std::span<const JudgedScan> scans);

// What to change on the scanner, in the words scanner manuals use, one line a setting (not one a
// code): from the latest verdict on each code and the terminators seen. Empty when nothing needs
// changing.
std::vector<std::string> setupAdvice(std::span<const JudgedScan> scans);

// The prefix and suffix the scanner adds around every code, as the latest passing scans agree on
// them (the most common among the last five); none before a code has passed.
Framing learnedFraming(std::span<const JudgedScan> scans);

// How the codes stand, by the latest verdict on each.
struct Tally {
    int passed = 0;
    int withDifferences = 0;
    int failed = 0;
    int notScanned = 0;
};
Tally tallyOf(std::span<const JudgedScan> scans, std::size_t codes);

// "15 passed, 3 with differences, 0 failed, 0 not scanned".
std::string tallyText(const Tally& tally);

} // namespace test_codes
