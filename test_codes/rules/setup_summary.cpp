#include "test_codes/rules/setup_summary.h"

#include "scan_log/decode/visible_bytes.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

namespace test_codes {

namespace {

// "X" when every scan that shows it agrees, "mixed: X, Y" when they differ.
std::string agreed(const std::set<std::string>& seen, const char* none) {
    if (seen.empty())
        return none;
    if (seen.size() == 1)
        return *seen.begin();
    std::string mixed = "mixed:";
    for (const std::string& one : seen)
        mixed += " " + one + (one == *seen.rbegin() ? "" : ",");
    return mixed;
}

std::string terminatorText(scan_log::Terminator terminator) {
    const std::string_view name = scan_log::terminatorName(terminator);
    return name.empty() ? "none" : std::string(name);
}

std::string gsText(const SendingFacts& facts) {
    switch (facts.gs) {
    case GsSending::Sent:
        return "sent";
    case GsSending::Missing:
        return "not sent";
    case GsSending::Replaced:
        return "sent as \"" + scan_log::visibleForm(std::string(1, facts.gsReplacement)) + "\"";
    case GsSending::NotApplicable:
        break;
    }
    return {};
}

std::string rateText(std::span<const JudgedScan> scans) {
    std::vector<long long> gaps;
    double fastest = 0;
    for (const JudgedScan& scan : scans) {
        if (scan.gapMs)
            gaps.push_back(*scan.gapMs);
        if (scan.durationMs > 0 && scan.bytes > 1)
            fastest = std::max(fastest, double(scan.bytes - 1) * 1000.0 / double(scan.durationMs));
    }
    std::string text;
    if (!gaps.empty()) {
        std::sort(gaps.begin(), gaps.end());
        text = "Scan to scan: " + std::to_string(gaps[gaps.size() / 2]) + " ms (median). ";
    }
    if (fastest > 0) {
        // Ten bits a character on the line (start, 8 data, stop): the rate needs at least ten
        // times as many baud.
        const long long perSecond = std::llround(fastest);
        text += "Characters per second: about " + std::to_string(perSecond) +
                ", a line of at least " + std::to_string(perSecond * 10) + " baud";
        text += perSecond < 480 ? " (slow: the scanner may be set to a low baud rate)." : ".";
    } else if (!scans.empty()) {
        text += "Characters per second: each scan came in one piece (too fast to measure).";
    }
    return text;
}

} // namespace

std::string setupSummary(std::span<const JudgedScan> scans) {
    if (scans.empty())
        return "No scans yet: scan the codes to learn the scanner's settings.";
    std::set<std::string> terminators, aim, gs, checkDigits, upcA, layouts;
    bool caseChanged = false;
    for (const JudgedScan& scan : scans) {
        terminators.insert(terminatorText(scan.terminator));
        const SendingFacts& facts = scan.verdict.facts;
        aim.insert(facts.aimIdentifier.empty() ? "off" : "on");
        if (scan.verdict.kind == VerdictKind::Fail)
            continue;
        if (facts.gs != GsSending::NotApplicable)
            gs.insert(gsText(facts));
        if (facts.checkDigitSent)
            checkDigits.insert(*facts.checkDigitSent ? "sent" : "left out");
        if (facts.upcAAs13Digits)
            upcA.insert(*facts.upcAAs13Digits ? "13 digits" : "12 digits");
        if (!facts.keyboardLayout.empty())
            layouts.insert(std::string(facts.keyboardLayout));
        caseChanged = caseChanged || facts.caseChanged;
    }
    std::string text =
        "Terminator: " + agreed(terminators, "") + ". Symbology identifiers: " + agreed(aim, "") +
        ". GS in GS1 codes: " + agreed(gs, "not seen yet (scan a GS1-128 or GS1 DataMatrix code)") +
        ". Check digits: " + agreed(checkDigits, "not seen yet") +
        ". UPC-A: " + agreed(upcA, "not seen yet") + ". ";
    if (!layouts.empty())
        text += "Keyboard layout: the scanner types for US English, the computer reads " +
                agreed(layouts, "") + ". ";
    if (caseChanged)
        text += "Case: changed (Caps Lock, or a case setting of the scanner). ";
    return text + rateText(scans);
}

} // namespace test_codes
