#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scan_log {

// What ended a scan. None: the scan ended after a silence, was cut, or was flushed.
enum class Terminator { None, CR, LF, CRLF, Tab };

// "CR", "LF", "CR LF", "TAB", or "" for none.
std::string_view terminatorName(Terminator terminator);

// The terminator at the end of `bytes`, as the splitter would have found it.
Terminator terminatorOf(std::string_view bytes);

// Bytes per terminator: 0, 1 or 2.
std::size_t terminatorLength(Terminator terminator);

// One scan as a scanner sent it: the bytes in arrival order, terminator included.
struct Scan {
    std::string bytes;
    std::chrono::milliseconds firstArrival{0}; // arrival time of the first byte
    std::chrono::milliseconds lastArrival{0};  // arrival time of the last byte
    Terminator terminator = Terminator::None;
    bool cut = false; // reached the length limit without a terminator; the rest is the next scan

    bool operator==(const Scan&) const = default;
};

// A scan as the splitter hands it to a sink: its bytes are valid only during the call.
struct ScanView {
    std::string_view bytes;
    std::chrono::milliseconds firstArrival{0};
    std::chrono::milliseconds lastArrival{0};
    Terminator terminator = Terminator::None;
    bool cut = false;

    Scan toScan() const { return {std::string(bytes), firstArrival, lastArrival, terminator, cut}; }
};

// Receives each scan the splitter completes, in order.
using ScanSink = std::function<void(const ScanView&)>;

// Splits received bytes into scans where a scanner ends them: after a terminator (CR, LF,
// CR LF or TAB, which stays part of the scan), after a silence, or at the length limit.
//
// A CR may be followed by an LF that belongs to it, and the LF may come in a later read. So a
// scan ending in CR is held back until the next byte shows what it is: an LF arriving less
// than a silence after the CR joins the scan as CR LF; anything else, or the silence running
// out (seen by `tick` or by the time of the next bytes), lets the scan go with CR alone.
//
// Times are milliseconds on any clock that does not jump, supplied by the owner; the splitter
// reads no clock itself. Times that run backwards count as no time passing.
class ScanSplitter {
public:
    using Milliseconds = std::chrono::milliseconds;

    static constexpr Milliseconds DefaultSilence{50};
    static constexpr Milliseconds MinSilence{5};
    static constexpr Milliseconds MaxSilence{2000};
    // A scan holds at most this many bytes, except that the LF of a CR LF ending exactly at
    // the limit still joins it.
    static constexpr std::size_t MaxScanBytes = 64 * 1024;

    // Sets the silence that ends a scan, kept within MinSilence..MaxSilence.
    void setSilence(Milliseconds silence);
    Milliseconds silence() const { return silence_; }

    // Hands `sink` the scans completed by `bytes`, which arrived at `arrival`, in order. Bytes
    // that end no scan yet are kept for later. A scan that lies whole in `bytes` is handed on
    // where it lies, without a copy.
    void feed(std::string_view bytes, Milliseconds arrival, const ScanSink& sink);

    // Hands `sink` the scan waiting for more bytes, if a silence has passed since its last byte
    // at `now`.
    void tick(Milliseconds now, const ScanSink& sink);

    // The line was busy until `now`: bytes arrived that the owner has not read yet (it was late
    // reading them). The waiting scan's silence starts again from `now`.
    void extend(Milliseconds now);

    // Whatever is waiting, as a scan (the port closed, or the log is being cleared).
    std::vector<Scan> flush();

    // Drops whatever is waiting.
    void reset();

    // Whether bytes are waiting for the rest of their scan.
    bool pending() const { return started_; }

    // When `tick` would let the waiting scan go; none when nothing waits. An owner arms one
    // timer for this moment instead of polling.
    std::optional<Milliseconds> deadline() const;

private:
    void finish(const ScanSink& sink, Terminator terminator, bool cut);
    void start(Milliseconds arrival);
    void append(std::string_view piece, Milliseconds arrival);
    std::size_t endHeldCR(std::string_view bytes, Milliseconds arrival, const ScanSink& sink);

    Milliseconds silence_ = DefaultSilence;
    // The scan still arriving: its bytes so far (terminator and cut unused).
    Scan current_;
    bool started_ = false;
    bool heldAfterCR_ = false; // current_ ends with a CR that may still gain an LF
};

} // namespace scan_log
