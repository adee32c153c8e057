#include "find_settings/model/candidate_score.h"

namespace find_settings {

namespace {

bool scannerCharacter(std::uint8_t c) {
    return (c >= 0x20 && c <= 0x7E) || c == '\r' || c == '\n' || c == '\t' || c == 0x1D;
}

} // namespace

bool CandidateScore::clean() const {
    return chars > 0 && lineErrors == 0 && unprintable == 0 && endsWithTerminator;
}

CandidateScore scoreCandidate(const LineFormat& format, std::span<const ReceivedChar> received,
                              const std::optional<std::string>& expected) {
    CandidateScore score;
    score.format = format;
    std::string bytes;
    for (const ReceivedChar& c : received) {
        ++score.chars;
        if (c.framingError || c.parityError || c.lineBreak)
            ++score.lineErrors;
        if (!scannerCharacter(c.value))
            ++score.unprintable;
        bytes += static_cast<char>(c.value);
    }
    score.endsWithTerminator = !bytes.empty() && (bytes.back() == '\r' || bytes.back() == '\n');
    score.matchesExpected = expected && score.lineErrors == 0 && bytes == *expected;
    return score;
}

std::optional<LineFormat> pickCandidate(std::span<const CandidateScore> scores,
                                        bool expectedKnown) {
    for (const CandidateScore& score : scores) {
        if (expectedKnown ? score.matchesExpected : score.clean())
            return score.format;
    }
    return std::nullopt;
}

} // namespace find_settings
