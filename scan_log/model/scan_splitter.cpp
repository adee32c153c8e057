#include "scan_log/model/scan_splitter.h"

#include <algorithm>

namespace scan_log {

std::string_view terminatorName(Terminator terminator) {
    switch (terminator) {
    case Terminator::CR:
        return "CR";
    case Terminator::LF:
        return "LF";
    case Terminator::CRLF:
        return "CR LF";
    case Terminator::Tab:
        return "TAB";
    case Terminator::None:
        break;
    }
    return "";
}

Terminator terminatorOf(std::string_view bytes) {
    if (bytes.empty())
        return Terminator::None;
    switch (bytes.back()) {
    case '\r':
        return Terminator::CR;
    case '\t':
        return Terminator::Tab;
    case '\n':
        return bytes.size() >= 2 && bytes[bytes.size() - 2] == '\r' ? Terminator::CRLF
                                                                    : Terminator::LF;
    default:
        return Terminator::None;
    }
}

std::size_t terminatorLength(Terminator terminator) {
    switch (terminator) {
    case Terminator::None:
        return 0;
    case Terminator::CRLF:
        return 2;
    default:
        return 1;
    }
}

namespace {

// The first CR, LF or TAB in `bytes`, or npos. A plain loop: find_first_of calls memchr for
// every byte, which is slow on long runs of data.
std::size_t findTerminator(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        const char c = bytes[at];
        if (c <= '\r' && (c == '\r' || c == '\n' || c == '\t'))
            return at;
    }
    return std::string_view::npos;
}

} // namespace

void ScanSplitter::setSilence(Milliseconds silence) {
    silence_ = std::clamp(silence, MinSilence, MaxSilence);
}

std::optional<ScanSplitter::Milliseconds> ScanSplitter::deadline() const {
    if (!started_)
        return std::nullopt;
    return current_.lastArrival + silence_;
}

void ScanSplitter::start(Milliseconds arrival) {
    started_ = true;
    current_.firstArrival = arrival;
    current_.lastArrival = arrival;
}

void ScanSplitter::finish(const ScanSink& sink, Terminator terminator, bool cut) {
    sink(ScanView{current_.bytes, current_.firstArrival, current_.lastArrival, terminator, cut});
    // The bytes' room stays for the next scan.
    current_.bytes.clear();
    started_ = false;
    heldAfterCR_ = false;
}

namespace {

ScanSink collectInto(std::vector<Scan>& out) {
    return [&out](const ScanView& scan) { out.push_back(scan.toScan()); };
}

} // namespace

void ScanSplitter::feed(std::string_view bytes, Milliseconds arrival, const ScanSink& sink) {
    if (bytes.empty())
        return;
    // A silence before these bytes ends what was waiting.
    if (started_ && arrival - current_.lastArrival >= silence_)
        finish(sink, heldAfterCR_ ? Terminator::CR : Terminator::None, false);

    std::size_t at = heldAfterCR_ ? endHeldCR(bytes, arrival, sink) : 0;

    while (at < bytes.size()) {
        // Look for a terminator only as far as the scan may still grow.
        const std::size_t room = MaxScanBytes - (started_ ? current_.bytes.size() : 0);
        const std::string_view window = bytes.substr(at, room);
        const std::size_t found = findTerminator(window);
        if (found == std::string_view::npos) {
            append(window, arrival);
            at += window.size();
            if (current_.bytes.size() == MaxScanBytes)
                finish(sink, Terminator::None, true);
            continue;
        }
        std::size_t end = at + found + 1; // past the terminator
        Terminator terminator = Terminator::CR;
        switch (window[found]) {
        case '\n':
            terminator = Terminator::LF;
            break;
        case '\t':
            terminator = Terminator::Tab;
            break;
        default: // CR: its LF may be the next byte, here or in a later read
            if (end == bytes.size()) {
                append(bytes.substr(at, end - at), arrival);
                heldAfterCR_ = true;
                return;
            }
            if (bytes[end] == '\n') {
                ++end;
                terminator = Terminator::CRLF;
            }
        }
        if (!started_) {
            // The whole scan lies in these bytes.
            sink(ScanView{bytes.substr(at, end - at), arrival, arrival, terminator, false});
        } else {
            append(bytes.substr(at, end - at), arrival);
            finish(sink, terminator, false);
        }
        at = end;
    }
}

// Adds bytes to the scan that is waiting, starting one if none is.
void ScanSplitter::append(std::string_view piece, Milliseconds arrival) {
    if (!started_)
        start(arrival);
    current_.lastArrival = arrival;
    current_.bytes.append(piece);
}

// A CR ended the last read: an LF first in these bytes belongs to it. Returns how many bytes
// that took.
std::size_t ScanSplitter::endHeldCR(std::string_view bytes, Milliseconds arrival,
                                    const ScanSink& sink) {
    if (bytes.front() != '\n') {
        finish(sink, Terminator::CR, false);
        return 0;
    }
    append(bytes.substr(0, 1), arrival);
    finish(sink, Terminator::CRLF, false);
    return 1;
}

void ScanSplitter::tick(Milliseconds now, const ScanSink& sink) {
    if (started_ && now - current_.lastArrival >= silence_)
        finish(sink, heldAfterCR_ ? Terminator::CR : Terminator::None, false);
}

void ScanSplitter::extend(Milliseconds now) {
    if (started_)
        current_.lastArrival = std::max(current_.lastArrival, now);
}

std::vector<Scan> ScanSplitter::flush() {
    std::vector<Scan> out;
    if (started_)
        finish(collectInto(out), heldAfterCR_ ? Terminator::CR : Terminator::None, false);
    return out;
}

void ScanSplitter::reset() {
    current_ = Scan{};
    started_ = false;
    heldAfterCR_ = false;
}

} // namespace scan_log
