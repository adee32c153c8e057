#pragma once

#include "scan_log/model/scan_splitter.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scan_log {

// A scan typed into the keyboard field: what the keys gave (UTF-8, with the Enter or Tab that
// ended it as CR or TAB), when the first and the last key came, and the median time between
// keys.
struct TypedScan {
    std::string bytes;
    Terminator terminator = Terminator::None;
    std::chrono::milliseconds first{0}, last{0};
    std::optional<std::chrono::milliseconds> medianKeyGap; // none for a single key
    bool cut = false; // reached the length limit without Enter or Tab; the rest is the next scan
};

// A scanner in keyboard mode types a key every 1 to 30 ms, a person every 100 to 300 ms: a scan
// whose keys came this slowly or slower was probably typed by hand.
inline constexpr std::chrono::milliseconds HandTypedKeyGap{60};
inline bool typedByHand(std::chrono::milliseconds medianKeyGap) {
    return medianKeyGap >= HandTypedKeyGap;
}

// A person types slower than any silence a scanner needs: keys at a hand's pace (or a single
// key so far) end a scan only after this long without a key, or at Enter or Tab.
inline constexpr std::chrono::milliseconds HandSilence{2000};

// Turns keys typed into the keyboard field into scans: a scan ends at Enter or Tab (as scanners
// send them), when no key came for the silence (HandSilence at least while the keys so far
// came at a hand's pace, so that a code typed by hand stays one scan), or at the length limit
// that ends a scan on the port. Every key costs the same however long its scan is.
class KeyboardScans {
public:
    using Sink = std::function<void(const TypedScan&)>;
    static constexpr std::size_t MaxScanBytes = ScanSplitter::MaxScanBytes;

    void setSilence(std::chrono::milliseconds silence) { silence_ = silence; }

    // One key's text at its time: "\r" for Enter, "\t" for Tab, else what it types (UTF-8).
    void key(std::string_view text, std::chrono::milliseconds at, const Sink& sink);
    // Ends the waiting scan if the silence has passed by `now`.
    void tick(std::chrono::milliseconds now, const Sink& sink);
    // When the waiting scan ends by silence; none when nothing waits.
    std::optional<std::chrono::milliseconds> deadline() const;

private:
    void finish(Terminator terminator, const Sink& sink);
    std::optional<std::chrono::milliseconds> medianGap() const;
    std::chrono::milliseconds silenceNow() const;

    std::chrono::milliseconds silence_{50};
    std::optional<TypedScan> current_;
    std::vector<std::chrono::milliseconds> keyTimes_;
    // Gaps between the keys of the waiting scan at a hand's pace and faster: which is the more
    // decides the silence, without sorting the gaps at every key.
    std::size_t slowGaps_ = 0;
    std::size_t fastGaps_ = 0;
};

} // namespace scan_log
