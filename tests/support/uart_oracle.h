#pragma once

// The test's own account of a serial line, worked out bit by bit, apart from the program's UART
// model: what a receiving UART takes from a line that a sender drives. The tests of the settings
// search get their characters from here, so a mistake in the model (a parity rule turned round,
// bits in the wrong order) cannot hide behind a search that was tested on the same mistake.
//
// The line is a list of levels, one a sender's bit: idle (high) between scans, then per
// character a low start bit, the data bits least significant first, the parity bit that makes
// the count of ones even (even parity) or odd (odd parity), and the stop bits, high. The sender's
// clock runs 0.2 % slow, as no two crystals agree: no sample then falls exactly on an edge, where
// a real receiver could read either level. The receiver hunts for a high-to-low edge, checks the
// start bit low half a bit later, samples each further bit in its middle, and hunts again from
// the middle of its stop bit.

#include "find_settings/model/uart_model.h"

#include <cmath>
#include <span>
#include <string>
#include <vector>

namespace uart_oracle {

inline std::vector<bool> senderLevels(const find_settings::LineFormat& sender,
                                      std::span<const std::string> scans, int gapBits) {
    std::vector<bool> levels;
    for (const std::string& scan : scans) {
        levels.insert(levels.end(), std::size_t(gapBits), true);
        for (const char c : scan) {
            const auto byte = static_cast<unsigned char>(c);
            levels.push_back(false);
            int ones = 0;
            for (int bit = 0; bit < sender.dataBits; ++bit) {
                const bool one = ((byte >> bit) & 1) != 0;
                ones += one ? 1 : 0;
                levels.push_back(one);
            }
            if (sender.parity == find_settings::Parity::Even)
                levels.push_back(ones % 2 == 1);
            else if (sender.parity == find_settings::Parity::Odd)
                levels.push_back(ones % 2 == 0);
            levels.insert(levels.end(), std::size_t(sender.stopBits), true);
        }
    }
    levels.insert(levels.end(), std::size_t(gapBits), true);
    return levels;
}

inline std::vector<find_settings::ReceivedChar> receive(const find_settings::LineFormat& sender,
                                                        const find_settings::LineFormat& receiver,
                                                        std::span<const std::string> scans,
                                                        int gapBits = 2000) {
    const std::vector<bool> levels = senderLevels(sender, scans, gapBits);
    const double senderBit = 1.002 / sender.baud; // seconds, the slow clock
    const double bit = 1.0 / receiver.baud;
    const auto indexAt = [&](double t) {
        return static_cast<long long>(std::floor(t / senderBit));
    };
    const auto level = [&](double t) {
        const long long i = indexAt(t);
        return i < 0 || i >= static_cast<long long>(levels.size()) || levels[std::size_t(i)];
    };

    std::vector<find_settings::ReceivedChar> taken;
    double t = 0;
    for (;;) {
        // The next edge from high to low after t: at the start of a low bit after a high one.
        long long edge = indexAt(t) + 1;
        while (edge < static_cast<long long>(levels.size()) &&
               !(levels[std::size_t(edge - 1)] && !levels[std::size_t(edge)]))
            ++edge;
        if (edge >= static_cast<long long>(levels.size()))
            break;
        const double start = double(edge) * senderBit;
        if (level(start + bit / 2)) { // a glitch, no start bit
            t = start + bit / 2;
            continue;
        }
        // Every bit of the frame after the start bit, sampled in its middle.
        std::vector<bool> samples;
        const int frameBits =
            receiver.dataBits + (receiver.parity == find_settings::Parity::None ? 0 : 1) + 1;
        for (int i = 1; i <= frameBits; ++i)
            samples.push_back(level(start + bit * (i + 0.5)));
        find_settings::ReceivedChar c;
        int ones = 0;
        for (int i = 0; i < receiver.dataBits; ++i) {
            if (samples[std::size_t(i)]) {
                c.value = static_cast<std::uint8_t>(c.value | (1u << i));
                ++ones;
            }
        }
        const bool stopHigh = samples.back();
        bool allLow = !stopHigh && c.value == 0;
        if (receiver.parity != find_settings::Parity::None) {
            const bool parityHigh = samples[std::size_t(receiver.dataBits)];
            const int total = ones + (parityHigh ? 1 : 0);
            c.parityError =
                receiver.parity == find_settings::Parity::Even ? total % 2 != 0 : total % 2 == 0;
            allLow = allLow && !parityHigh;
        }
        c.framingError = !stopHigh;
        // The line held low for the whole frame is a break, and only a break.
        c.lineBreak = allLow;
        if (allLow)
            c.parityError = false;
        taken.push_back(c);
        t = start + bit * (frameBits + 0.5);
    }
    return taken;
}

} // namespace uart_oracle
