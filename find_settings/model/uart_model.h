#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace find_settings {

enum class Parity { None, Even, Odd };

// The settings of one end of a serial line.
struct LineFormat {
    int baud = 9600;
    int dataBits = 8; // 7 or 8
    Parity parity = Parity::None;
    int stopBits = 1; // 1 or 2

    bool operator==(const LineFormat&) const = default;
    // "9600 8N1".
    std::string text() const;
};

// One character as a receiving UART hands it on: its value and what went wrong with it.
struct ReceivedChar {
    std::uint8_t value = 0;
    bool framingError = false; // the stop bit was low
    bool parityError = false;
    bool lineBreak = false; // all bits low, stop bit too: the line held at space

    bool operator==(const ReceivedChar&) const = default;
};

// What a receiver at `receiver` takes from a line that a sender at `sender` drives with `scans`,
// one after the other with `gapBits` of the sender's bit times of idle line between them (and
// before the first). The line is idle (high) before and after; the receiver waits for a falling
// edge, samples the start bit in its middle (a high start bit is no character), then each bit in
// its middle, and the first stop bit; data bits least significant first. 7-bit characters hand
// on the 7 bits.
std::vector<ReceivedChar> receiveLine(const LineFormat& sender, const LineFormat& receiver,
                                      std::span<const std::string> scans, double gapBits = 2000);

// The six formats and eight rates a search tries: those of the settings dialog.
std::span<const LineFormat> candidateFormats();

} // namespace find_settings
