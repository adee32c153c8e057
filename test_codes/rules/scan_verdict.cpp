#include "test_codes/rules/scan_verdict.h"

#include "scan_log/decode/aim_identifier.h"
#include "scan_log/decode/visible_bytes.h"
#include "test_codes/rules/keyboard_layouts.h"

#include <algorithm>
#include <array>
#include <utility>

namespace test_codes {

namespace {

constexpr char Gs = '\x1D';

// A form of the content that a scanner setting produces, and the settings that produced it.
struct Variant {
    std::string bytes;
    std::vector<std::string> differences;
    SendingFacts facts;
};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

std::string characters(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " character" : " characters");
}

// In quotes, in the visible form; a long scan by its start and its length, so that a verdict
// stays a line however much a scan holds (garbage that never ends is cut at 64 KiB).
std::string quoted(std::string_view bytes) {
    constexpr std::size_t MostShown = 60;
    if (bytes.size() <= MostShown)
        return "\"" + scan_log::visibleForm(bytes) + "\"";
    return "\"" + scan_log::visibleForm(bytes.substr(0, MostShown)) + "...\" (" +
           std::to_string(bytes.size()) + " bytes)";
}

// The forms of a content that one scanner setting makes; none where the setting changes nothing.
std::optional<Variant> thirteenDigits(const Variant& v) {
    Variant made = v;
    made.bytes.insert(made.bytes.begin(), '0');
    made.differences.push_back("UPC-A sent as 13 digits (a 0 added in front)");
    made.facts.upcAAs13Digits = true;
    return made;
}

std::optional<Variant> withoutCheckDigit(const Variant& v) {
    Variant made = v;
    made.bytes.pop_back();
    made.differences.push_back("check digit left out");
    made.facts.checkDigitSent = false;
    return made;
}

std::optional<Variant> withoutLeadingZeros(const Variant& v) {
    const std::size_t first = v.bytes.find_first_not_of('0');
    if (v.facts.upcAAs13Digits.value_or(false) || first == 0 || first == std::string::npos)
        return std::nullopt;
    Variant made = v;
    made.bytes.erase(0, first);
    made.differences.push_back("leading zeros dropped");
    made.facts.leadingZerosDropped = true;
    return made;
}

std::optional<Variant> withoutGs(const Variant& v) {
    Variant made = v;
    std::erase(made.bytes, Gs);
    made.differences.push_back("GS (1Dh) not sent after a variable-length field");
    made.facts.gs = GsSending::Missing;
    return made;
}

// GS sent as the character the scan holds where the first GS belongs, if that is not GS.
std::optional<Variant> gsReplaced(const Variant& v, std::string_view data) {
    const std::size_t at = v.bytes.find(Gs);
    if (at == std::string::npos || data.size() != v.bytes.size() || data[at] == Gs)
        return std::nullopt;
    Variant made = v;
    std::replace(made.bytes.begin(), made.bytes.end(), Gs, data[at]);
    made.differences.push_back("GS (1Dh) sent as " + quoted(data.substr(at, 1)));
    made.facts.gs = GsSending::Replaced;
    made.facts.gsReplacement = data[at];
    return made;
}

// The forms the scanner settings make of the code's content, alone and combined: a 0 before
// UPC-A, the check digit left out, leading zeros dropped, GS left out or sent as another
// character.
std::vector<Variant> variantsOf(const TestCode& code, std::string_view data) {
    Variant content{std::string(code.content), {}, {}};
    const bool upcA = code.symbology == Symbology::UpcA;
    const bool hasGs = code.gs1 && code.content.find(Gs) != std::string_view::npos;
    if (upcA)
        content.facts.upcAAs13Digits = false;
    if (code.checkDigitLast)
        content.facts.checkDigitSent = true;
    if (hasGs)
        content.facts.gs = GsSending::Sent;
    std::vector<Variant> variants{std::move(content)};
    const auto addEach = [&variants](auto make) {
        const std::size_t count = variants.size();
        for (std::size_t i = 0; i < count; ++i) {
            if (std::optional<Variant> made = make(variants[i]))
                variants.push_back(std::move(*made));
        }
    };
    if (upcA)
        addEach(thirteenDigits);
    if (code.checkDigitLast)
        addEach(withoutCheckDigit);
    addEach(withoutLeadingZeros);
    if (hasGs) {
        addEach(withoutGs);
        addEach([data](const Variant& v) { return gsReplaced(v, data); });
    }
    return variants;
}

// How the scan differs from the content, for a scan that is not this code as any setting sends it.
std::string mismatch(std::string_view content, std::string_view data) {
    if (data.empty())
        return "nothing came but the terminator; expected " + quoted(content);
    const auto [c, d] = std::mismatch(content.begin(), content.end(), data.begin(), data.end());
    const std::size_t at = std::size_t(c - content.begin());
    if (d == data.end())
        return "the scan stops after " + std::to_string(at) + " of " + characters(content.size()) +
               "; missing " + quoted(content.substr(at));
    if (c == content.end())
        return characters(data.size() - at) +
               " more than expected at the end: " + quoted(data.substr(at));
    return "character " + std::to_string(at + 1) + " is " + quoted(data.substr(at, 1)) + " where " +
           quoted(content.substr(at, 1)) + " belongs; expected " + quoted(content) + ", received " +
           quoted(data);
}

std::size_t weight(const Verdict& verdict) {
    return verdict.kind == VerdictKind::Fail ? std::size_t(-1) : verdict.differences.size();
}

} // namespace

std::string Verdict::text() const {
    std::string joined;
    for (const std::string& difference : differences)
        joined += (joined.empty() ? "" : "; ") + difference;
    switch (kind) {
    case VerdictKind::Pass:
        return "Pass";
    case VerdictKind::PassWithDifferences:
        return "Pass with differences: " + joined;
    case VerdictKind::Fail:
        break;
    }
    return "Fail: " + joined;
}

Verdict judge(const TestCode& code, std::string_view received) {
    std::string_view data = received;
    std::string aim;
    if (const auto identifier = scan_log::readAimIdentifier(received)) {
        aim = identifier->id;
        data.remove_prefix(identifier->id.size());
    }

    std::optional<Verdict> best;
    const auto consider = [&](const Variant& variant, std::optional<std::string> extra,
                              const auto& note) {
        Verdict verdict;
        verdict.facts = variant.facts;
        verdict.facts.aimIdentifier = aim;
        if (!aim.empty())
            verdict.differences.push_back("symbology identifier " + aim + " added");
        verdict.differences.insert(verdict.differences.end(), variant.differences.begin(),
                                   variant.differences.end());
        if (extra) {
            verdict.differences.push_back(*extra);
            note(verdict.facts);
        }
        verdict.kind =
            verdict.differences.empty() ? VerdictKind::Pass : VerdictKind::PassWithDifferences;
        if (!best || verdict.differences.size() < best->differences.size())
            best = std::move(verdict);
    };
    const auto nothing = [](SendingFacts&) {};
    for (const Variant& variant : variantsOf(code, data)) {
        if (variant.bytes == data) {
            consider(variant, std::nullopt, nothing);
            continue;
        }
        if (equalIgnoringCase(variant.bytes, data)) {
            consider(variant, "case changed (Caps Lock, or a case setting of the scanner)",
                     [](SendingFacts& facts) { facts.caseChanged = true; });
            continue;
        }
        // A scanner in keyboard mode types for one country; a computer set to another reads
        // other characters off the same keys.
        for (const KeyboardLayout& layout : keyboardLayouts()) {
            const std::optional<std::string> typed = typedOnLayout(layout.xkbName, variant.bytes);
            if (typed && *typed == data && *typed != variant.bytes)
                consider(variant,
                         "the scanner's keyboard country does not match this computer's layout (" +
                             std::string(layout.name) + "?)",
                         [&layout](SendingFacts& facts) { facts.keyboardLayout = layout.name; });
        }
    }
    if (best)
        return *best;
    Verdict failed;
    failed.facts.aimIdentifier = aim;
    failed.differences.push_back(mismatch(code.content, data));
    return failed;
}

Match matchScan(std::span<const TestCode> codes, std::string_view received,
                std::optional<std::size_t> shown) {
    std::optional<Match> best;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        Verdict verdict = judge(codes[i], received);
        if (verdict.kind == VerdictKind::Fail)
            continue;
        const bool better = !best || weight(verdict) < weight(best->verdict) ||
                            (weight(verdict) == weight(best->verdict) && shown == i);
        if (better)
            best = Match{i, std::move(verdict)};
    }
    if (best)
        return *best;
    if (shown && *shown < codes.size())
        return Match{shown, judge(codes[*shown], received)};
    Verdict none;
    none.differences.push_back("this scan matches no test code: " + quoted(received));
    return Match{std::nullopt, std::move(none)};
}

} // namespace test_codes
