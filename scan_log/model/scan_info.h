#pragma once

#include <string>
#include <string_view>

namespace scan_log {

// The one word the Scan Log gives a scan: good when what could be checked is right, problem
// when anything is wrong, unknown when there was nothing to check.
enum class ScanVerdict { Unknown, Good, Problem };

// What the Scan Log shows about one scan.
struct ScanInfo {
    std::string symbology;  // e.g. "GS1-128", "EAN-13"; empty for a scan without data
    bool isGuess = false;   // no symbology identifier: guessed from the data
    std::string check;      // "ok", "check digit should be 7", or empty where nothing is checked
    std::string gs1Fields;  // one line of GS1 elements, or empty
    std::string data;       // every byte visible, terminator left out
    std::string terminator; // "CR", "LF", "CR LF", "TAB", or empty
    ScanVerdict verdict = ScanVerdict::Unknown;

    // The symbology, with " (guess)" after a guessed one.
    std::string symbologyText() const { return isGuess ? symbology + " (guess)" : symbology; }

    // "good", "problem" or "unknown".
    std::string_view verdictText() const;

    bool operator==(const ScanInfo&) const = default;
};

// What the line said of a scan besides its bytes.
struct LineFacts {
    int errors = 0; // breaks, framing and parity errors the port marked among its bytes
};

// Explains a scan (its bytes with the terminator, as the splitter gives them): the symbology
// from its identifier or a guess, check digits, GS1 elements, the visible data. Dates are read
// with the current year for their century. Line errors, or data that is mostly what no scanner
// sends (see countNoise), make it a problem whatever else it reads as: the check says so and
// what to do.
ScanInfo decodeScan(std::string_view bytes, LineFacts line = {});

// The same with a given current year.
ScanInfo decodeScan(std::string_view bytes, int currentYear, LineFacts line = {});

} // namespace scan_log
