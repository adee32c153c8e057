#include "scan_log/model/keyboard_scans.h"

#include <algorithm>

namespace scan_log {

void KeyboardScans::key(std::string_view text, std::chrono::milliseconds at, const Sink& sink) {
    if (text.empty())
        return;
    if (current_ && at - current_->last >= silenceNow())
        finish(Terminator::None, sink);
    if (current_ && current_->bytes.size() + text.size() > MaxScanBytes) {
        current_->cut = true;
        finish(Terminator::None, sink);
    }
    if (!current_) {
        current_ = TypedScan{};
        current_->first = at;
        keyTimes_.clear();
        slowGaps_ = fastGaps_ = 0;
    }
    if (!keyTimes_.empty())
        ++(typedByHand(at - keyTimes_.back()) ? slowGaps_ : fastGaps_);
    current_->last = at;
    keyTimes_.push_back(at);
    current_->bytes += text;
    if (text == "\r")
        finish(Terminator::CR, sink);
    else if (text == "\t")
        finish(Terminator::Tab, sink);
}

void KeyboardScans::tick(std::chrono::milliseconds now, const Sink& sink) {
    if (current_ && now - current_->last >= silenceNow())
        finish(Terminator::None, sink);
}

std::optional<std::chrono::milliseconds> KeyboardScans::deadline() const {
    if (!current_)
        return std::nullopt;
    return current_->last + silenceNow();
}

std::optional<std::chrono::milliseconds> KeyboardScans::medianGap() const {
    if (keyTimes_.size() < 2)
        return std::nullopt;
    std::vector<std::chrono::milliseconds> gaps;
    for (std::size_t i = 1; i < keyTimes_.size(); ++i)
        gaps.push_back(keyTimes_[i] - keyTimes_[i - 1]);
    std::nth_element(gaps.begin(), gaps.begin() + std::ptrdiff_t(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

std::chrono::milliseconds KeyboardScans::silenceNow() const {
    // The median gap (the upper one of an even count) is at a hand's pace exactly when the
    // faster gaps are no more than half of them.
    const std::size_t gaps = slowGaps_ + fastGaps_;
    if (gaps == 0 || fastGaps_ <= gaps / 2)
        return std::max(silence_, HandSilence);
    return silence_;
}

void KeyboardScans::finish(Terminator terminator, const Sink& sink) {
    TypedScan scan = std::move(*current_);
    current_.reset();
    scan.terminator = terminator;
    scan.medianKeyGap = medianGap();
    keyTimes_.clear();
    slowGaps_ = fastGaps_ = 0;
    sink(scan);
}

} // namespace scan_log
