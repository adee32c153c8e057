#include "find_settings/model/uart_model.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>

namespace find_settings {

namespace {

// The line as runs of one level, each a number of the sender's bit times long.
struct Run {
    bool high;
    double bits;
};

int ones(unsigned value) {
    return std::popcount(value);
}

// Whether the parity bit is high for `value` (its low `dataBits`).
bool parityBit(unsigned value, Parity parity) {
    const bool odd = ones(value) % 2 == 1;
    return parity == Parity::Even ? odd : !odd;
}

std::vector<Run> driveLine(const LineFormat& sender, std::span<const std::string> scans,
                           double gapBits) {
    std::vector<Run> runs;
    const auto add = [&runs](bool high, double bits) {
        if (!runs.empty() && runs.back().high == high)
            runs.back().bits += bits;
        else
            runs.push_back({high, bits});
    };
    for (const std::string& scan : scans) {
        add(true, gapBits);
        for (const char c : scan) {
            const unsigned value = static_cast<std::uint8_t>(c) & ((1u << sender.dataBits) - 1);
            add(false, 1); // start bit
            for (int bit = 0; bit < sender.dataBits; ++bit)
                add(((value >> bit) & 1) != 0, 1);
            if (sender.parity != Parity::None)
                add(parityBit(value, sender.parity), 1);
            add(true, sender.stopBits);
        }
    }
    add(true, gapBits);
    return runs;
}

// The line's level at a time (in seconds) along the runs, each run `bitTime` seconds a bit.
class Line {
public:
    Line(std::vector<Run> runs, double bitTime) : runs_(std::move(runs)) {
        double at = 0;
        for (const Run& run : runs_) {
            starts_.push_back(at);
            at += run.bits * bitTime;
        }
        end_ = at;
    }
    double end() const { return end_; }
    bool levelAt(double t) const {
        if (t >= end_ || t < 0)
            return true;
        const auto next = std::upper_bound(starts_.begin(), starts_.end(), t);
        return runs_[std::size_t(next - starts_.begin()) - 1].high;
    }
    // The first time at or after `t` where the line falls from high to low.
    double nextFall(double t) const {
        const auto from = std::upper_bound(starts_.begin(), starts_.end(), t);
        for (auto i = std::size_t(from - starts_.begin()); i < runs_.size(); ++i) {
            if (!runs_[i].high && i > 0 && runs_[i - 1].high)
                return starts_[i];
        }
        return end_;
    }
    // Whether the run holding `t` is low and began at or before `t`.
    bool lowAt(double t) const { return !levelAt(t); }

private:
    std::vector<Run> runs_;
    std::vector<double> starts_;
    double end_ = 0;
};

} // namespace

std::string LineFormat::text() const {
    const char parityLetter = parity == Parity::None ? 'N' : parity == Parity::Even ? 'E' : 'O';
    return std::to_string(baud) + ' ' + std::to_string(dataBits) + parityLetter +
           std::to_string(stopBits);
}

std::vector<ReceivedChar> receiveLine(const LineFormat& sender, const LineFormat& receiver,
                                      std::span<const std::string> scans, double gapBits) {
    const Line line(driveLine(sender, scans, gapBits), 1.0 / sender.baud);
    const double bit = 1.0 / receiver.baud;
    std::vector<ReceivedChar> received;
    double t = 0;
    while (true) {
        const double fall = line.nextFall(t);
        if (fall >= line.end())
            break;
        // A start bit must still be low in its middle.
        if (!line.lowAt(fall + bit / 2)) {
            t = fall + bit / 2;
            continue;
        }
        unsigned value = 0;
        for (int i = 0; i < receiver.dataBits; ++i) {
            if (line.levelAt(fall + bit * (1.5 + i)))
                value |= 1u << i;
        }
        double at = fall + bit * (1.5 + receiver.dataBits);
        ReceivedChar c;
        c.value = static_cast<std::uint8_t>(value);
        if (receiver.parity != Parity::None) {
            c.parityError = line.levelAt(at) != parityBit(value, receiver.parity);
            at += bit;
        }
        const bool stop = line.levelAt(at);
        c.framingError = !stop;
        // A break is the line held at space for the whole frame: start, data, parity and stop
        // bits all low. The UART reports it as a break alone, whatever the parity bit should have
        // been (at odd parity a low parity bit is also a parity error, which a break hides).
        c.lineBreak =
            !stop && value == 0 && (receiver.parity == Parity::None || !line.levelAt(at - bit));
        if (c.lineBreak)
            c.parityError = false;
        received.push_back(c);
        // The receiver looks for the next start after the middle of the stop bit.
        t = at;
    }
    return received;
}

std::span<const LineFormat> candidateFormats() {
    static const std::vector<LineFormat> all = [] {
        constexpr std::array rates{9600, 115200, 38400, 19200, 57600, 4800, 2400, 600};
        constexpr std::array formats{
            LineFormat{0, 8, Parity::None, 1}, LineFormat{0, 7, Parity::Even, 1},
            LineFormat{0, 7, Parity::Odd, 1},  LineFormat{0, 8, Parity::Even, 1},
            LineFormat{0, 8, Parity::Odd, 1},  LineFormat{0, 7, Parity::None, 2}};
        std::vector<LineFormat> list;
        for (const int rate : rates)
            for (LineFormat format : formats) {
                format.baud = rate;
                list.push_back(format);
            }
        return list;
    }();
    return all;
}

} // namespace find_settings
