#include "find_settings/model/settings_search.h"

#include <algorithm>
#include <array>

namespace find_settings {

std::vector<LineFormat> searchOrder(const std::optional<LineFormat>& current) {
    const std::span<const LineFormat> all = candidateFormats();
    std::vector<LineFormat> order;
    auto add = [&](const LineFormat& format) {
        if (std::find(all.begin(), all.end(), format) != all.end() &&
            std::find(order.begin(), order.end(), format) == order.end())
            order.push_back(format);
    };
    if (current)
        add(*current);
    // Scanners leave the factory at 9600 or 115200 8N1; 7E1 is the usual other choice.
    constexpr std::array common{
        LineFormat{9600, 8, Parity::None, 1},   LineFormat{115200, 8, Parity::None, 1},
        LineFormat{9600, 7, Parity::Even, 1},   LineFormat{38400, 8, Parity::None, 1},
        LineFormat{19200, 8, Parity::None, 1},  LineFormat{57600, 8, Parity::None, 1},
        LineFormat{4800, 8, Parity::None, 1},   LineFormat{2400, 8, Parity::None, 1},
        LineFormat{19200, 7, Parity::Even, 1},  LineFormat{38400, 7, Parity::Even, 1},
        LineFormat{115200, 7, Parity::Even, 1}, LineFormat{57600, 7, Parity::Even, 1},
    };
    for (const LineFormat& format : common)
        add(format);
    for (const LineFormat& format : all)
        add(format);
    return order;
}

SettingsSearch::SettingsSearch(std::vector<LineFormat> order, Expected expected, SearchPace pace,
                               std::int64_t startMs)
    : order_(std::move(order)), expected_(std::move(expected)), pace_(pace),
      lastActivityMs_(startMs) {
    if (order_.empty())
        order_.push_back(LineFormat{});
}

void SettingsSearch::received(std::string_view bytes, std::int64_t ms) {
    if (outcome_ || bytes.empty())
        return;
    lastActivityMs_ = ms;
    if (!settled_) {
        // A line that never rests has no scan under way to wait out: after a scan's length the
        // search begins anyway.
        unsettledChars_ += bytes.size();
        settled_ = unsettledChars_ >= pace_.maxScanChars;
        return;
    }
    for (const char byte : bytes) {
        ReceivedChar c;
        c.value = static_cast<std::uint8_t>(byte);
        if (errorPending_) {
            c.framingError = pendingError_ == LineError::Framing;
            c.parityError = pendingError_ == LineError::Parity;
            errorPending_ = false;
        }
        // A full scan takes no more: the next tick scores it and moves the port on, and what
        // comes meanwhile is of the setting being left.
        if (scan_.size() >= pace_.maxScanChars)
            return;
        scan_.push_back(c);
    }
}

void SettingsSearch::lineError(LineError error, std::int64_t ms) {
    if (outcome_)
        return;
    lastActivityMs_ = ms;
    if (!settled_)
        return;
    // A break brings no character; the others mark the character that follows.
    if (error == LineError::Break) {
        if (scan_.size() >= pace_.maxScanChars)
            return;
        ReceivedChar c;
        c.lineBreak = true;
        c.framingError = true;
        scan_.push_back(c);
        return;
    }
    errorPending_ = true;
    pendingError_ = error;
}

bool SettingsSearch::tick(std::int64_t nowMs) {
    if (outcome_)
        return false;
    const std::int64_t quiet = nowMs - lastActivityMs_;
    if (!settled_) {
        settled_ = quiet >= pace_.scanQuietMs;
        if (quiet >= pace_.silenceLimitMs)
            finish(SearchOutcome::Kind::Silence);
        return false;
    }
    if (scan_.empty()) {
        if (quiet >= pace_.silenceLimitMs)
            finish(SearchOutcome::Kind::Silence);
        return false;
    }
    if (quiet < pace_.scanQuietMs && scan_.size() < pace_.maxScanChars)
        return false;
    const LineFormat before = current();
    endScan();
    return !outcome_ && !(current() == before);
}

TriedResult triedResult(const TriedSetting& setting, const std::optional<LineFormat>& found) {
    if (found && setting.format == *found)
        return TriedResult::Found;
    // Errors first: a setting at the wrong rate shows them whatever characters it made of them.
    if (setting.lineErrors > 0)
        return TriedResult::LineErrors;
    if (setting.chars == 0)
        return TriedResult::Silent;
    if (setting.unprintable > 0)
        return TriedResult::Garbage;
    return TriedResult::Clean;
}

const TriedSetting* SettingsSearch::atCurrent() const {
    for (const TriedSetting& setting : tried_)
        if (setting.format == current())
            return &setting;
    return nullptr;
}

TriedSetting& SettingsSearch::record(const LineFormat& format) {
    for (TriedSetting& setting : tried_)
        if (setting.format == format)
            return setting;
    TriedSetting setting;
    setting.format = format;
    tried_.push_back(std::move(setting));
    return tried_.back();
}

void SettingsSearch::endScan() {
    const LineFormat format = current();
    const CandidateScore score = scoreCandidate(format, scan_);
    std::string text = receivedText(format, scan_);
    scan_.clear();
    errorPending_ = false;
    ++scansHeard_;

    TriedSetting& setting = record(format);
    ++setting.scans;
    setting.chars += score.chars;
    setting.lineErrors += score.lineErrors;
    setting.unprintable += score.unprintable;
    setting.endedWithTerminator += score.endsWithTerminator ? 1 : 0;
    if (setting.firstChars.size() < TriedSetting::FirstCharsKept)
        setting.firstChars +=
            text.substr(0, TriedSetting::FirstCharsKept - setting.firstChars.size());
    setting.lastScan = text;

    if (expected_) {
        std::string_view content = text;
        while (!content.empty() && (content.back() == '\r' || content.back() == '\n'))
            content.remove_suffix(1);
        if (score.lineErrors == 0 && expected_(content)) {
            setting.matchedExpected = true;
            finish(SearchOutcome::Kind::Found);
            return;
        }
    }
    // A clean scan that is not the chosen code may be another code picked up by mistake: the
    // setting is kept, and two clean scans find it as they do without a chosen code.
    if (score.clean()) {
        if (++cleanInARow_ >= pace_.confirmingScans)
            finish(SearchOutcome::Kind::Found);
        return;
    }
    moveOn(score.implied);
}

void SettingsSearch::moveOn(const std::optional<LineFormat>& hint) {
    cleanInARow_ = 0;
    auto untried = [this](std::size_t index) {
        return std::none_of(tried_.begin(), tried_.end(), [&](const TriedSetting& setting) {
            return setting.format == order_[index];
        });
    };
    // The setting the eighth bits point at comes next.
    if (hint) {
        const auto at = std::find(order_.begin() + static_cast<std::ptrdiff_t>(position_) + 1,
                                  order_.end(), *hint);
        if (at != order_.end() && untried(static_cast<std::size_t>(at - order_.begin()))) {
            std::rotate(order_.begin() + static_cast<std::ptrdiff_t>(position_) + 1, at, at + 1);
            ++position_;
            return;
        }
    }
    for (std::size_t next = position_ + 1; next < order_.size(); ++next) {
        if (untried(next)) {
            position_ = next;
            return;
        }
    }
    finish(SearchOutcome::Kind::NothingClean);
}

void SettingsSearch::finish(SearchOutcome::Kind kind) {
    SearchOutcome outcome;
    outcome.kind = kind;
    outcome.tried = tried_;
    if (kind == SearchOutcome::Kind::Found) {
        outcome.found = *atCurrent();
    } else if (kind == SearchOutcome::Kind::NothingClean) {
        // Clean but for the terminator: one such setting is the answer, more are a choice.
        // A receiver slower than the sender takes only a few characters of each scan, which
        // may be clean by chance: those with less than half the most characters a scan drop out.
        std::vector<const TriedSetting*> clean;
        double most = 0;
        auto perScan = [](const TriedSetting& setting) {
            return double(setting.chars) / std::max(setting.scans, 1);
        };
        for (const TriedSetting& setting : tried_) {
            if (setting.chars > 0 && setting.lineErrors == 0 && setting.unprintable == 0) {
                clean.push_back(&setting);
                most = std::max(most, perScan(setting));
            }
        }
        std::erase_if(clean,
                      [&](const TriedSetting* setting) { return perScan(*setting) < most / 2; });
        if (clean.size() == 1) {
            // Said as the evidence shows it: without a terminator only where no scan had one.
            outcome.kind = SearchOutcome::Kind::Found;
            outcome.found = *clean.front();
            outcome.withoutTerminator = clean.front()->endedWithTerminator == 0;
            outcome.unconfirmed = true;
        } else {
            for (const TriedSetting* setting : clean)
                outcome.possible.push_back(setting->format);
        }
    }
    outcome_ = std::move(outcome);
}

} // namespace find_settings
