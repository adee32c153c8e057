#pragma once

#include <cstddef>
#include <string_view>

namespace scan_log {

// How much of a scan's data is what no scanner sends: what a receiver at the wrong baud rate,
// data bits or parity makes of a code.
//
// Text is printable ASCII, TAB, LF, CR, STX, ETX, EOT and the separators FS, GS, RS and US,
// well-formed UTF-8, the Latin-1 signs A0h-BFh (°, §, µ, ½), and Latin-1 letters (C0h-FFh)
// in a word with ASCII letters (as in "Größe" or "café"). Everything else is
// suspect: NUL, the other control characters and DEL, bytes 80h-9Fh (no Latin-1 text has them),
// and high bytes that are neither UTF-8 nor such letters.
struct NoiseCount {
    std::size_t suspect = 0;
    std::size_t total = 0;
    std::size_t high = 0;     // bytes 80h-FFh that are not part of a UTF-8 character
    std::size_t control1 = 0; // of them, bytes 80h-9Fh

    // An eighth or more of the bytes suspect; or bytes 80h-9Fh, which neither Latin-1 nor UTF-8
    // text has, among a fifth or more of high bytes: a line at the wrong settings, not a code.
    // (A scanner sends none of the suspect bytes; at a wrong rate a scan shrinks to a few
    // characters, one or two of them suspect.) A stray control character in a long code is not
    // enough.
    bool isGarbage() const {
        return (suspect > 0 && suspect * 8 >= total) || (control1 > 0 && high * 5 >= total);
    }
};

NoiseCount countNoise(std::string_view data);

} // namespace scan_log
