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

    // Nothing wrong at all: characters came, none in error, all printable, ended by CR or LF.
    bool clean() const;
};

// Scores the characters received at `format`; `expected` (a known test code with its
// terminator) makes an exact match count.
CandidateScore scoreCandidate(const LineFormat& format, std::span<const ReceivedChar> received,
                              const std::optional<std::string>& expected = std::nullopt);

// The setting the scores point at: with an expected content, the one that matches it; else the
// first clean one in the order tried. None when nothing qualifies: no silent default.
std::optional<LineFormat> pickCandidate(std::span<const CandidateScore> scores, bool expectedKnown);

} // namespace find_settings
