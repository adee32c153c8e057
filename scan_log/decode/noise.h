#pragma once

#include <cstddef>
#include <string_view>

namespace scan_log {

// How much of a scan's data is what no scanner sends: what a receiver at the wrong baud rate,
// data bits or parity makes of a code.
//
// Suspect are NUL and the control characters a scanner does not send (all of 00h-1Fh and DEL
// but TAB, LF, CR, STX, ETX, EOT and the separators FS, GS, RS and US), bytes 80h-9Fh that are
// not part of a UTF-8 character (no Latin-1 text has them), and bytes C0h-FFh that are neither
// part of a UTF-8 character nor a Latin-1 letter within two characters of an ASCII letter
// (as in "Größe" or "café"). Valid UTF-8 and the Latin-1 signs A0h-BFh (°, §, µ, ½) are not.
struct NoiseCount {
    std::size_t suspect = 0;
    std::size_t total = 0;

    // A quarter or more of the bytes suspect: a line at the wrong settings, not a code. A stray
    // control character in a long code is not enough.
    bool isGarbage() const { return suspect > 0 && suspect * 4 >= total; }
};

NoiseCount countNoise(std::string_view data);

} // namespace scan_log
