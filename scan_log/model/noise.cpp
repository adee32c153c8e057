#include "scan_log/model/noise.h"

namespace scan_log {

namespace {

bool sentByScanners(unsigned char c) {
    return c == '\t' || c == '\n' || c == '\r' || (c >= 0x02 && c <= 0x04) ||
           (c >= 0x1C && c <= 0x1F);
}

bool asciiLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool latin1Letter(unsigned char c) {
    return c >= 0xC0 && c != 0xD7 && c != 0xF7;
}

// The length of the well-formed UTF-8 character at `at` (2 to 4), or 0.
std::size_t utf8Length(std::string_view data, std::size_t at) {
    const auto byte = [&data](std::size_t i) { return static_cast<unsigned char>(data[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;  // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > data.size())
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    return length;
}

bool letter(unsigned char c) {
    return asciiLetter(c) || latin1Letter(c);
}

// Whether the word (a run of ASCII and Latin-1 letters) starting at `start` holds an ASCII
// letter, as words with accented letters in Latin-1 text do; a lone accented letter among signs
// is noise.
bool wordHasAsciiLetter(std::string_view data, std::size_t start) {
    for (std::size_t i = start; i < data.size() && letter(static_cast<unsigned char>(data[i])); ++i)
        if (asciiLetter(static_cast<unsigned char>(data[i])))
            return true;
    return false;
}

} // namespace

NoiseCount countNoise(std::string_view data) {
    NoiseCount count;
    count.total = data.size();
    // The word the byte at hand stands in, looked at once a word (however long a scan is).
    std::size_t wordStart = 0;
    bool wordKnown = false;
    bool wordHasAscii = false;
    for (std::size_t i = 0; i < data.size();) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (letter(c) && (i == 0 || !letter(static_cast<unsigned char>(data[i - 1])))) {
            wordStart = i;
            wordKnown = false;
        }
        if (c < 0x20 || c == 0x7F) {
            count.suspect += sentByScanners(c) ? 0 : 1;
            ++i;
        } else if (c < 0x80) {
            ++i;
        } else if (const std::size_t length = utf8Length(data, i); length > 0) {
            i += length;
        } else {
            ++count.high;
            count.control1 += c <= 0x9F ? 1 : 0;
            const bool sign = c >= 0xA0 && c <= 0xBF;
            if (latin1Letter(c) && !wordKnown) {
                wordHasAscii = wordHasAsciiLetter(data, wordStart);
                wordKnown = true;
            }
            count.suspect += sign || (latin1Letter(c) && wordHasAscii) ? 0 : 1;
            ++i;
        }
    }
    return count;
}

} // namespace scan_log
