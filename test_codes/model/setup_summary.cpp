#include "test_codes/model/setup_summary.h"

#include "scan_log/model/visible_bytes.h"

#include <algorithm>
#include <cmath>
#include <map>
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

// "STX (02h)", "\"AB\"", or "none".
std::string framingText(std::string_view bytes) {
    if (bytes.empty())
        return "none";
    if (bytes.size() == 1)
        if (std::string name = scan_log::controlNameWithCode(static_cast<unsigned char>(bytes[0]));
            !name.empty())
            return name;
    return "\"" + scan_log::visibleForm(bytes) + "\"";
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

// UPC-A as it came: its digits counted as they arrived, and what made them so many.
bool upcAAs13(int digits, std::optional<bool> checkDigitSent) {
    return digits + (checkDigitSent == false ? 1 : 0) == 13;
}

std::string upcAText(int digits, std::optional<bool> checkDigitSent) {
    const bool as13 = upcAAs13(digits, checkDigitSent);
    const bool noCheck = checkDigitSent == false;
    std::string text = std::to_string(digits) + " digits";
    if (as13 && noCheck)
        return text + " (a 0 in front, check digit left out)";
    if (as13)
        return text + " (a 0 in front)";
    if (noCheck)
        return text + " (check digit left out)";
    return text;
}

bool has2DText(Symbology symbology) {
    return symbology == Symbology::QrCode;
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

// The latest scan judged against each code, by code.
std::map<std::size_t, const JudgedScan*> latestByCode(std::span<const JudgedScan> scans) {
    std::map<std::size_t, const JudgedScan*> latest;
    for (const JudgedScan& scan : scans)
        if (scan.code)
            latest[*scan.code] = &scan;
    return latest;
}

bool passed(const JudgedScan& scan) {
    return scan.verdict.kind != VerdictKind::Fail;
}

std::string_view familyOf(Symbology symbology) {
    switch (symbology) {
    case Symbology::Ean13:
    case Symbology::Ean8:
    case Symbology::UpcA:
    case Symbology::UpcE:
        return "EAN/UPC";
    case Symbology::Itf14:
        return "Interleaved 2 of 5";
    default:
        break;
    }
    return {};
}

} // namespace

std::string setupSummary(std::span<const JudgedScan> scans) {
    if (scans.empty())
        return "No scans yet: scan the codes to learn the scanner's settings.";
    std::set<std::string> terminators, prefixes, suffixes, aim, gs, checkDigits, upcA, upcE,
        encodings, layouts;
    bool caseChanged = false;
    for (const JudgedScan& scan : scans) {
        terminators.insert(terminatorText(scan.terminator));
        const SendingFacts& facts = scan.verdict.facts;
        aim.insert(facts.aimIdentifier.empty() ? "off" : "on");
        // A scan that is not a code read right says nothing of how codes are sent, but GS
        // left out is how it was sent.
        if (scan.verdict.kind == VerdictKind::Fail && facts.gs != GsSending::Missing)
            continue;
        prefixes.insert(framingText(facts.prefix));
        suffixes.insert(framingText(facts.suffix));
        if (facts.gs != GsSending::NotApplicable)
            gs.insert(gsText(facts));
        if (facts.checkDigitSent)
            checkDigits.insert(*facts.checkDigitSent ? "sent" : "left out");
        if (facts.upcADigits)
            upcA.insert(upcAText(*facts.upcADigits, facts.checkDigitSent));
        if (facts.symbology == Symbology::UpcE)
            upcE.insert(facts.upcEExpanded ? "sent as UPC-A" : "8 digits");
        if (has2DText(facts.symbology))
            encodings.insert(facts.utf8 ? "UTF-8" : "Latin-1");
        if (!facts.keyboardLayout.empty())
            layouts.insert(std::string(facts.keyboardLayout));
        caseChanged = caseChanged || facts.caseChanged;
    }
    std::string text =
        "Terminator: " + agreed(terminators, "") + ". Prefix: " + agreed(prefixes, "not seen yet") +
        ". Suffix: " + agreed(suffixes, "not seen yet") +
        ". Symbology identifiers: " + agreed(aim, "") +
        ". GS in GS1 codes: " + agreed(gs, "not seen yet (scan a GS1-128 or GS1 DataMatrix code)") +
        ". Check digits: " + agreed(checkDigits, "not seen yet") +
        ". UPC-A: " + agreed(upcA, "not seen yet") + ". ";
    if (!upcE.empty())
        text += "UPC-E: " + agreed(upcE, "") + ". ";
    if (!encodings.empty())
        text += "Text of 2D codes: " + agreed(encodings, "") + ". ";
    if (!layouts.empty())
        text += "Keyboard layout: the scanner types for US English, the computer reads " +
                agreed(layouts, "") + ". ";
    if (caseChanged)
        text += "Case: changed (Caps Lock, or a case setting of the scanner). ";
    return text + rateText(scans);
}

std::vector<std::string> setupAdvice(std::span<const JudgedScan> scans) {
    std::vector<std::string> advice;
    const auto add = [&advice](std::string line) {
        if (std::find(advice.begin(), advice.end(), line) == advice.end())
            advice.push_back(std::move(line));
    };
    std::set<std::string> terminators;
    for (const JudgedScan& scan : scans)
        terminators.insert(terminatorText(scan.terminator));
    if (terminators.contains("none"))
        add("Set the suffix to CR LF (or CR): without one at the end of every code, a program "
            "cannot tell where a scan ends.");
    std::set<std::string> prefixes, suffixes;
    for (const auto& [code, scan] : latestByCode(scans)) {
        const SendingFacts& facts = scan->verdict.facts;
        const bool read = passed(*scan) || facts.gs == GsSending::Missing;
        if (!read)
            continue;
        if (!facts.prefix.empty())
            prefixes.insert(framingText(facts.prefix));
        if (!facts.suffix.empty())
            suffixes.insert(framingText(facts.suffix));
        if (!facts.aimIdentifier.empty())
            add("Turn off the code identifier (AIM symbology identifier), unless the application "
                "reads it.");
        if (facts.checkDigitSent == false)
            add("Turn on 'transmit check digit' for " + std::string(familyOf(facts.symbology)) +
                ".");
        if (facts.upcADigits && upcAAs13(*facts.upcADigits, facts.checkDigitSent))
            add("Turn off 'UPC-A as EAN-13' (convert UPC-A to EAN-13).");
        if (facts.leadingZerosDropped)
            add("Turn on 'transmit number system digit' (the leading 0) for UPC-A.");
        if (facts.upcEExpanded)
            add("Turn off 'convert UPC-E to UPC-A'.");
        if (facts.gs == GsSending::Missing)
            add("Set FNC1 to be sent as GS (1Dh): without it the next GS1 field is read into the "
                "one before.");
        if (facts.gs == GsSending::Replaced)
            add("Set FNC1 to be sent as GS (1Dh), not \"" +
                scan_log::visibleForm(std::string(1, facts.gsReplacement)) + "\".");
        if (facts.utf8)
            add("Set the character encoding of 2D codes to ISO 8859-1 (Latin-1), or make sure "
                "the application reads UTF-8.");
        if (facts.caseChanged)
            add("Turn off Caps Lock, and set the scanner's case conversion to none.");
        if (!facts.keyboardLayout.empty())
            add("Set the keyboard country (keyboard layout) to " +
                std::string(facts.keyboardLayout) + ".");
    }
    for (const std::string& prefix : prefixes)
        add("The scanner adds the prefix " + prefix +
            " before every code: set the prefix to none unless the application expects it.");
    for (const std::string& suffix : suffixes)
        add("The scanner adds the suffix " + suffix +
            " after every code: set it to none unless the application expects it.");
    return advice;
}

Framing learnedFraming(std::span<const JudgedScan> scans) {
    std::vector<Framing> recent;
    for (auto it = scans.rbegin(); it != scans.rend() && recent.size() < 5; ++it)
        if (passed(*it))
            recent.push_back({it->verdict.facts.prefix, it->verdict.facts.suffix});
    Framing best;
    std::size_t bestCount = 0;
    for (const Framing& framing : recent) {
        const auto count = std::size_t(std::count(recent.begin(), recent.end(), framing));
        if (count > bestCount) {
            best = framing;
            bestCount = count;
        }
    }
    return best;
}

Tally tallyOf(std::span<const JudgedScan> scans, std::size_t codes) {
    Tally tally;
    const auto latest = latestByCode(scans);
    for (std::size_t code = 0; code < codes; ++code) {
        const auto found = latest.find(code);
        if (found == latest.end()) {
            ++tally.notScanned;
            continue;
        }
        switch (found->second->verdict.kind) {
        case VerdictKind::Pass:
            ++tally.passed;
            break;
        case VerdictKind::PassWithDifferences:
            ++tally.withDifferences;
            break;
        case VerdictKind::Fail:
            ++tally.failed;
            break;
        }
    }
    return tally;
}

std::string tallyText(const Tally& tally) {
    return std::to_string(tally.passed) + " passed, " + std::to_string(tally.withDifferences) +
           " with differences, " + std::to_string(tally.failed) + " failed, " +
           std::to_string(tally.notScanned) + " not scanned";
}

} // namespace test_codes
