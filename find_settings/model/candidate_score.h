#pragma once

#include "find_settings/model/uart_model.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace find_settings {

// What the scans received at one candidate setting look like.
struct CandidateScore {
    LineFormat format;
    int chars = 0;
    int lineErrors = 0;  // framing and parity errors, breaks
    int unprintable = 0; // characters no scanner sends (printable ASCII, CR, LF, TAB, GS pass)
    bool endsWithTerminator = false; // the last character is CR or LF
    bool matchesExpected = false;    // exactly the expected content, when there is one
    // At 8 data bits without parity, characters whose eighth bit is a parity bit (even or odd)
    // or always high (a second stop bit) over seven clean bits: the sender's format at this rate,
    // read from one frame of the same length. A hint to try next, not a finding.
    std::optional<LineFormat> implied;

    // Nothing wrong at all: characters came, none in error, all printable, ended by CR or LF.
    bool clean() const;
};

// Scores the characters received at `format`; `expected` (a known test code with its
// terminator) makes an exact match count. At 7 data bits only the low seven bits count, as a
// 7-bit receiver hands on no more (a pseudo-terminal, which keeps 8 bits whatever it is told,
// hands on the eighth too).
CandidateScore scoreCandidate(const LineFormat& format, std::span<const ReceivedChar> received,
                              const std::optional<std::string>& expected = std::nullopt);

// The characters as text: at 7 data bits the low seven bits of each.
std::string receivedText(const LineFormat& format, std::span<const ReceivedChar> received);

// The setting the scores point at: with an expected content, the one that matches it; else the
// first clean one in the order tried. None when nothing qualifies: no silent default.
std::optional<LineFormat> pickCandidate(std::span<const CandidateScore> scores, bool expectedKnown);

} // namespace find_settings
