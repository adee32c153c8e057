#pragma once

#include "find_settings/model/candidate_score.h"
#include "find_settings/model/uart_model.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace find_settings {

// The order a search tries the settings in: `current` (the port's own) first when it is one of
// them, then the most common ones, then the rest.
std::vector<LineFormat> searchOrder(const std::optional<LineFormat>& current);

enum class LineError { Break, Framing, Parity };

// How long things take.
struct SearchPace {
    std::int64_t scanQuietMs = 100;      // quiet that ends a scan
    std::int64_t silenceLimitMs = 30000; // nothing at all for this long ends the search
    int confirmingScans = 2; // clean scans in a row that find a setting (without an expected code)
    // A scan ends at this many characters even without a quiet: a line that never rests (noise,
    // a stream) is scored a piece at a time, and what a scan keeps stays bounded.
    std::size_t maxScanChars = 4096;
};

// What the scans at one setting looked like, summed over its scans.
struct TriedSetting {
    LineFormat format;
    int scans = 0;
    int chars = 0;
    int lineErrors = 0;
    int unprintable = 0;
    int endedWithTerminator = 0; // scans whose last character was CR or LF
    bool matchedExpected = false;
    std::string lastScan; // as received, at 7 data bits the low seven bits
    // The first characters received at this setting, as lastScan, at most FirstCharsKept.
    std::string firstChars;
    static constexpr std::size_t FirstCharsKept = 32;
};

// A setting tried, in a word: the one found; clean (no line error, only what scanners send);
// line errors; garbage (characters no scanner sends); silent (nothing arrived at it).
enum class TriedResult { Found, Clean, LineErrors, Garbage, Silent };
TriedResult triedResult(const TriedSetting& setting, const std::optional<LineFormat>& found);

struct SearchOutcome {
    enum class Kind {
        Found,        // `found` is the setting, with its evidence
        Silence,      // nothing arrived for the silence limit
        NothingClean, // every setting tried, none clean
    };
    Kind kind = Kind::NothingClean;
    std::optional<TriedSetting> found;
    // Found after every setting was tried, as the only one whose characters were clean, not by
    // confirmingScans clean scans in a row or the chosen code.
    bool unconfirmed = false;
    // Found so, and no scan at it ended with CR or LF: the scanner probably ends its scans with
    // something else or nothing.
    bool withoutTerminator = false;
    // Nothing clean: the settings whose scans had no error and only printable characters but
    // no CR or LF at the end, more than one (any could be it).
    std::vector<LineFormat> possible;
    std::vector<TriedSetting> tried; // in the order tried
};

// Finds the line settings of a scanner from what arrives while the person scans. The caller
// sets the port to current(), hands over what arrives and calls tick() now and then; when a tick
// says so it sets the port to the new current(). Each scan (characters up to a quiet of
// scanQuietMs) is scored at the setting it arrived at: a setting is found by a match with the
// expected code when there is one, or by confirmingScans clean scans in a row (no line error, all
// printable, CR or LF at the end). A clean scan that is not the expected code keeps the setting. A
// scan at 8N1 whose eighth bits are parity bits sends the search to that 7-bit format next. There
// is no silent default: the outcome says found, silence or nothing clean, with everything seen.
class SettingsSearch {
public:
    // `expected` judges a scan (without its CR/LF) against the code the person scans; none: any
    // code.
    using Expected = std::function<bool(std::string_view)>;

    SettingsSearch(std::vector<LineFormat> order, Expected expected, SearchPace pace,
                   std::int64_t startMs);

    const LineFormat& current() const { return order_[position_]; }

    void received(std::string_view bytes, std::int64_t ms);
    void lineError(LineError error, std::int64_t ms);

    // Ends a scan whose quiet has come and decides what follows; true when current() changed.
    bool tick(std::int64_t nowMs);

    const std::optional<SearchOutcome>& outcome() const { return outcome_; }
    int settingsTried() const { return static_cast<int>(tried_.size()); }
    // The settings scans were heard at so far, in the order tried.
    const std::vector<TriedSetting>& tried() const { return tried_; }
    // The place of the setting listened to in the order of trying: 1 for the first. The one
    // count the window shows, in its progress and its status alike.
    int currentNumber() const { return static_cast<int>(position_) + 1; }
    int settingsTotal() const { return static_cast<int>(order_.size()); }
    int scansHeard() const { return scansHeard_; }
    // Milliseconds since the last character arrived (since the start when none has).
    std::int64_t quietForMs(std::int64_t nowMs) const { return nowMs - lastActivityMs_; }
    // The scans at the setting being listened to.
    const TriedSetting* atCurrent() const;

private:
    void endScan();
    void moveOn(const std::optional<LineFormat>& hint);
    void finish(SearchOutcome::Kind kind);
    TriedSetting& record(const LineFormat& format);

    std::vector<LineFormat> order_;
    std::size_t position_ = 0;
    Expected expected_;
    SearchPace pace_;
    std::vector<TriedSetting> tried_;
    std::vector<ReceivedChar> scan_;
    bool errorPending_ = false;
    LineError pendingError_ = LineError::Framing;
    // Whatever arrives before the first quiet may be the end of a scan already under way.
    bool settled_ = false;
    std::size_t unsettledChars_ = 0;
    std::int64_t lastActivityMs_;
    int cleanInARow_ = 0;
    int scansHeard_ = 0;
    std::optional<SearchOutcome> outcome_;
};

} // namespace find_settings
