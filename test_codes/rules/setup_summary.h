#pragma once

#include "scan_log/decode/scan_splitter.h"
#include "test_codes/rules/scan_verdict.h"

#include <optional>
#include <span>
#include <string>

namespace test_codes {

// One judged scan with what the Scan Log measured of it.
struct JudgedScan {
    Verdict verdict;
    scan_log::Terminator terminator = scan_log::Terminator::None;
    std::optional<long long> gapMs; // since the end of the scan before; none for the first
    std::size_t bytes = 0;          // with the terminator
    long long durationMs = 0;       // first byte to last byte
};

// What the scanner appears to be set to, learned from the scans so far, one sentence a setting:
// the terminator, symbology identifiers, GS in GS1 codes, check digits, UPC-A's length, the
// time from scan to scan and the characters per second (a slow rate points at a low baud rate).
// Settings no scan has shown yet say so.
std::string setupSummary(std::span<const JudgedScan> scans);

} // namespace test_codes
