#include "find_settings/model/candidate_score.h"

#include <bit>

namespace find_settings {

namespace {

bool scannerCharacter(std::uint8_t c) {
    return (c >= 0x20 && c <= 0x7E) || c == '\r' || c == '\n' || c == '\t' || c == 0x1D;
}

bool evenOnes(unsigned value) {
    return std::popcount(value) % 2 == 0;
}

// What an 8N1 receiver's eighth bits say about a 7-bit sender at the same rate.
std::optional<LineFormat> impliedSevenBit(const LineFormat& format, const std::string& bytes) {
    if (format.dataBits != 8 || format.parity != Parity::None || bytes.empty())
        return std::nullopt;
    bool even = true, odd = true, high = true;
    for (const char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        const unsigned low = c & 0x7Fu;
        if (!scannerCharacter(static_cast<std::uint8_t>(low)))
            return std::nullopt;
        const bool top = (c & 0x80u) != 0;
        // Even parity makes the count of ones, parity bit included, even.
        even = even && top == !evenOnes(low);
        odd = odd && top == evenOnes(low);
        high = high && top;
    }
    const auto low = static_cast<unsigned char>(bytes.back()) & 0x7Fu;
    if (low != '\r' && low != '\n')
        return std::nullopt;
    if (even)
        return LineFormat{format.baud, 7, Parity::Even, 1};
    if (odd)
        return LineFormat{format.baud, 7, Parity::Odd, 1};
    if (high)
        return LineFormat{format.baud, 7, Parity::None, 2};
    return std::nullopt;
}

} // namespace

bool CandidateScore::clean() const {
    return chars > 0 && lineErrors == 0 && unprintable == 0 && endsWithTerminator;
}

std::string receivedText(const LineFormat& format, std::span<const ReceivedChar> received) {
    std::string text;
    text.reserve(received.size());
    for (const ReceivedChar& c : received)
        text += static_cast<char>(format.dataBits == 7 ? c.value & 0x7F : c.value);
    return text;
}

CandidateScore scoreCandidate(const LineFormat& format, std::span<const ReceivedChar> received,
                              const std::optional<std::string>& expected) {
    CandidateScore score;
    score.format = format;
    const std::string bytes = receivedText(format, received);
    for (const ReceivedChar& c : received) {
        if (c.framingError || c.parityError || c.lineBreak)
            ++score.lineErrors;
    }
    score.chars = static_cast<int>(bytes.size());
    for (const char byte : bytes) {
        if (!scannerCharacter(static_cast<std::uint8_t>(byte)))
            ++score.unprintable;
    }
    score.endsWithTerminator = !bytes.empty() && (bytes.back() == '\r' || bytes.back() == '\n');
    score.matchesExpected = expected && score.lineErrors == 0 && bytes == *expected;
    if (score.lineErrors == 0 && !score.clean())
        score.implied = impliedSevenBit(format, bytes);
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
