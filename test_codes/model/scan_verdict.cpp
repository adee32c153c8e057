#include "test_codes/model/scan_verdict.h"

#include "scan_log/model/aim_identifier.h"
#include "scan_log/model/gs1_check_digit.h"
#include "scan_log/model/gs1_parser.h"
#include "scan_log/model/visible_bytes.h"
#include "test_codes/model/keyboard_layouts.h"

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
    // Sent so that an application reads it wrong (GS left out): still this code, but a failure.
    std::optional<std::string> failure;
};

// The same variant as the scan carries it: its bytes as they would arrive, and what that adds.
struct Form {
    std::string bytes;
    std::optional<std::string> difference;
    bool utf8 = false;
    std::string_view layout;
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

// "STX (02h)", "\"#\"", "\"AB\"": a single control character by its name and code, anything
// else in quotes.
std::string named(std::string_view bytes) {
    if (bytes.size() == 1)
        if (std::string name = scan_log::controlNameWithCode(static_cast<unsigned char>(bytes[0]));
            !name.empty())
            return name;
    return quoted(bytes);
}

// The code's Latin-1 text as UTF-8; none when it is ASCII (nothing would differ).
std::optional<std::string> asUtf8(std::string_view latin1) {
    std::string out;
    bool high = false;
    for (const char c : latin1) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
            continue;
        }
        high = true;
        out += static_cast<char>(0xC0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3F));
    }
    if (!high)
        return std::nullopt;
    return out;
}

// Characters typed into the keyboard field (UTF-8) as the bytes a port would have brought for
// them (Latin-1); none when one of them has no byte.
std::optional<std::string> asLatin1(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            out += utf8[i];
            continue;
        }
        if ((lead & 0xE0) != 0xC0 || lead > 0xC3 || i + 1 >= utf8.size() ||
            (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) != 0x80)
            return std::nullopt;
        out += static_cast<char>(((lead & 0x03) << 6) | (utf8[i + 1] & 0x3F));
        ++i;
    }
    return out;
}

// The forms of a content that one scanner setting makes; none where the setting changes nothing.
std::optional<Variant> thirteenDigits(const Variant& v) {
    Variant made = v;
    made.bytes.insert(made.bytes.begin(), '0');
    made.differences.push_back("UPC-A sent as 13 digits (a 0 added in front)");
    made.facts.upcADigits = *made.facts.upcADigits + 1;
    return made;
}

std::optional<Variant> withoutCheckDigit(const Variant& v) {
    Variant made = v;
    made.bytes.pop_back();
    made.differences.push_back("check digit left out");
    made.facts.checkDigitSent = false;
    if (made.facts.upcADigits)
        made.facts.upcADigits = *made.facts.upcADigits - 1;
    return made;
}

std::optional<Variant> withoutLeadingZeros(const Variant& v) {
    const std::size_t first = v.bytes.find_first_not_of('0');
    if (v.facts.upcADigits.value_or(12) > 12 || first == 0 || first == std::string::npos)
        return std::nullopt;
    Variant made = v;
    made.bytes.erase(0, first);
    made.differences.push_back("leading zeros dropped");
    made.facts.leadingZerosDropped = true;
    return made;
}

std::optional<Variant> expandedUpcE(const Variant& v) {
    const std::optional<std::string> upcA = scan_log::expandUpcE(v.bytes);
    if (!upcA)
        return std::nullopt;
    Variant made = v;
    made.bytes = *upcA;
    made.differences.push_back("UPC-E sent as the UPC-A it stands for (" + *upcA + ")");
    made.facts.upcEExpanded = true;
    return made;
}

// "GS (1Dh) not sent after the variable-length field (10), so (21) is read as part of it": the
// fields on either side of the first GS of `content`.
std::string gsMissingText(std::string_view content) {
    const std::size_t at = content.find(Gs);
    const auto before = scan_log::parseElementString(content.substr(0, at), 2026);
    const auto after = scan_log::parseElementString(content.substr(at + 1), 2026);
    std::string text = "GS (1Dh) not sent after the variable-length field";
    if (!before.empty())
        text += " (" + before.back().ai + ")";
    if (!after.empty())
        text += ", so (" + after.front().ai + ") is read as part of it";
    return text;
}

std::optional<Variant> withoutGs(const Variant& v, std::string_view content) {
    Variant made = v;
    std::erase(made.bytes, Gs);
    made.failure = gsMissingText(content);
    made.facts.gs = GsSending::Missing;
    return made;
}

// GS sent as the character the scan holds where the first GS belongs, if that is not GS.
std::optional<Variant> gsReplaced(const Variant& v, std::string_view data) {
    const std::size_t at = v.bytes.find(Gs);
    if (at == std::string::npos)
        return std::nullopt;
    // The character the scan holds where the GS belongs, the scan's extras around the code left
    // aside: tried at every place the rest of the code would let it stand.
    std::optional<char> in;
    for (std::size_t start = 0; start + v.bytes.size() <= data.size(); ++start) {
        if (data.compare(start, at, v.bytes, 0, at) == 0 &&
            data.substr(start + at + 1, v.bytes.size() - at - 1) ==
                std::string_view(v.bytes).substr(at + 1)) {
            in = data[start + at];
            break;
        }
    }
    if (!in || *in == Gs)
        return std::nullopt;
    Variant made = v;
    std::replace(made.bytes.begin(), made.bytes.end(), Gs, *in);
    made.differences.push_back("GS (1Dh) sent as " + named(std::string_view(&*in, 1)));
    made.facts.gs = GsSending::Replaced;
    made.facts.gsReplacement = *in;
    return made;
}

// The forms the scanner settings make of the code's content, alone and combined: a 0 before
// UPC-A, UPC-E as UPC-A, the check digit left out, leading zeros dropped, GS left out or sent as
// another character.
std::vector<Variant> variantsOf(const TestCode& code, std::string_view data) {
    Variant content{std::string(code.content), {}, {}, std::nullopt};
    content.facts.symbology = code.symbology;
    const bool upcA = code.symbology == Symbology::UpcA;
    const bool hasGs = code.gs1 && code.content.find(Gs) != std::string_view::npos;
    if (upcA)
        content.facts.upcADigits = 12;
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
    if (code.symbology == Symbology::UpcE) {
        addEach(expandedUpcE);
        // and that UPC-A as 13 digits, as ]E0 sends it
        addEach([](const Variant& v) -> std::optional<Variant> {
            if (!v.facts.upcEExpanded)
                return std::nullopt;
            Variant made = v;
            made.bytes.insert(made.bytes.begin(), '0');
            made.differences.back() += " as 13 digits";
            return made;
        });
    }
    if (upcA)
        addEach(thirteenDigits);
    if (code.checkDigitLast)
        addEach(withoutCheckDigit);
    addEach(withoutLeadingZeros);
    if (hasGs) {
        addEach([&code](const Variant& v) { return withoutGs(v, code.content); });
        addEach([data](const Variant& v) {
            return v.facts.gs == GsSending::Sent ? gsReplaced(v, data) : std::nullopt;
        });
    }
    return variants;
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

namespace {

// How the scan differs from the content, for a scan that is not this code as any setting sends
// it.
std::string mismatch(const TestCode& code, std::string_view data) {
    const std::string_view content = code.content;
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
    // Only the check digit differs: a misread, or a code made with the wrong one; said with the
    // digit the code's own rule gives (UPC-E's is that of the UPC-A it stands for).
    if (code.checkDigitLast && at + 1 == content.size() && data.size() == content.size())
        return "the check digit is \"" + std::string(1, data[at]) + "\" where \"" +
               std::string(1, content[at]) + "\" belongs (a misread: scan it again)";
    return "character " + std::to_string(at + 1) + " is " + quoted(data.substr(at, 1)) + " where " +
           quoted(content.substr(at, 1)) + " belongs; expected " + quoted(content) + ", received " +
           quoted(data);
}

// The forms a variant arrives in: as it is, as UTF-8 where its Latin-1 text has letters beyond
// ASCII, and typed on each keyboard layout that changes it.
std::vector<Form> formsOf(const Variant& variant) {
    std::vector<Form> forms{{variant.bytes, std::nullopt, false, {}}};
    if (const std::optional<std::string> utf8 = asUtf8(variant.bytes))
        forms.push_back({*utf8, "sent as UTF-8, not Latin-1", true, {}});
    for (const KeyboardLayout& layout : keyboardLayouts()) {
        const std::optional<std::string> typed = typedOnLayout(layout.xkbName, variant.bytes);
        if (typed && *typed != variant.bytes)
            forms.push_back({*typed,
                             "the scanner's keyboard country does not match this computer's "
                             "layout (" +
                                 std::string(layout.name) + "?)",
                             false, layout.name});
    }
    return forms;
}

// The identifier at the end of `before`, if the scanner added one for this code: "]" and the
// code's symbology character (any modifier: ]E4 is as good as ]E0 to tell EAN apart).
std::optional<std::string> identifierBefore(std::string_view before, const TestCode& code) {
    if (before.size() < 3)
        return std::nullopt;
    const std::string_view tail = before.substr(before.size() - 3);
    const auto aim = scan_log::readAimIdentifier(tail);
    if (!aim || aim->id.size() != 3 || code.aimIdentifier.size() < 2 ||
        aim->id[1] != code.aimIdentifier[1])
        return std::nullopt;
    return aim->id;
}

// How much a verdict differs, for choosing among several: a pass with fewer differences first
// (bytes added around the code weigh twice: a setting that explains them is the likelier), then a
// failure that is still this code (GS left out), then the rest.
std::size_t weight(const Verdict& verdict, bool identified) {
    std::size_t differences = verdict.differences.size();
    differences += verdict.facts.prefix.empty() ? 0 : 1;
    differences += verdict.facts.suffix.empty() ? 0 : 1;
    if (verdict.kind != VerdictKind::Fail)
        return differences;
    return identified ? 1000 + differences : std::size_t(-1);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether bytes added next to a code could be a scanner's framing: a digit right after a code's
// digit (or a letter after a letter) is more of the same text, not a suffix; "12" after an
// EAN-13 is its add-on or a misread, never framing.
bool apart(char framing, char code) {
    return !(isDigit(framing) && isDigit(code)) && !(isLetter(framing) && isLetter(code));
}

// The learned framing taken off the scan, where the scan has it.
std::string_view withoutFraming(std::string_view data, const Framing& learned) {
    if (learned.prefix.empty() && learned.suffix.empty())
        return data;
    if (data.size() < learned.prefix.size() + learned.suffix.size() ||
        !data.starts_with(learned.prefix) || !data.ends_with(learned.suffix))
        return data;
    data.remove_prefix(learned.prefix.size());
    data.remove_suffix(learned.suffix.size());
    return data;
}

// The verdict of the best place `form` of `variant` stands in the scan, with what lies before
// (a prefix and an identifier) and after (a suffix); none when it stands nowhere or the extras
// are more than a scanner adds.
std::optional<Verdict> placed(const TestCode& code, const Variant& variant, const Form& form,
                              std::string_view data) {
    const std::size_t size = form.bytes.size();
    if (size > data.size())
        return std::nullopt;
    std::optional<Verdict> best;
    const std::size_t last = data.size() - size;
    const std::size_t first = last > MaxFramingBytes ? last - MaxFramingBytes : 0;
    const std::size_t until = std::min(last, MaxFramingBytes + 3);
    for (std::size_t at = first; at <= until; ++at) {
        const std::string_view piece = data.substr(at, size);
        const bool exact = piece == form.bytes;
        if (!exact && !(form.layout.empty() && !form.utf8 && equalIgnoringCase(piece, form.bytes)))
            continue;
        std::string_view before = data.substr(0, at);
        const std::string_view after = data.substr(at + size);
        Verdict verdict;
        verdict.facts = variant.facts;
        if (const std::optional<std::string> aim = identifierBefore(before, code)) {
            verdict.facts.aimIdentifier = *aim;
            before.remove_suffix(3);
        }
        if (before.size() > MaxFramingBytes)
            continue;
        if ((!before.empty() && !apart(before.back(), piece.front())) ||
            (!after.empty() && !apart(after.front(), piece.back())))
            continue;
        // Scanners add a prefix, then the identifier, then the code, then a suffix.
        if (scan_log::readAimIdentifier(before) && before.size() == 3)
            continue; // an identifier of another symbology: not this code
        verdict.facts.prefix = std::string(before);
        verdict.facts.suffix = std::string(after);
        verdict.facts.utf8 = form.utf8;
        verdict.facts.keyboardLayout = form.layout;
        verdict.facts.caseChanged = !exact;
        if (!before.empty())
            verdict.differences.push_back(named(before) + " added before the code");
        if (!verdict.facts.aimIdentifier.empty())
            verdict.differences.push_back("symbology identifier " + verdict.facts.aimIdentifier +
                                          " added");
        verdict.differences.insert(verdict.differences.end(), variant.differences.begin(),
                                   variant.differences.end());
        if (form.difference)
            verdict.differences.push_back(*form.difference);
        if (!exact)
            verdict.differences.push_back("case changed (Caps Lock, or a case setting of the "
                                          "scanner)");
        if (!after.empty())
            verdict.differences.push_back(named(after) + " added after it");
        verdict.kind =
            verdict.differences.empty() ? VerdictKind::Pass : VerdictKind::PassWithDifferences;
        if (variant.failure) {
            verdict.kind = VerdictKind::Fail;
            verdict.differences.insert(verdict.differences.begin(), *variant.failure);
        }
        if (!best || weight(verdict, true) < weight(*best, true))
            best = std::move(verdict);
    }
    return best;
}

// The verdict on the scan's data, already as the characters it stands for.
std::optional<Verdict> bestPlacement(const TestCode& code, std::string_view data,
                                     std::string_view raw) {
    std::optional<Verdict> best;
    for (const Variant& variant : variantsOf(code, data)) {
        for (const Form& form : formsOf(variant)) {
            // A form in UTF-8 or typed on a layout stands in the scan as it arrived.
            const std::string_view in = form.utf8 || !form.layout.empty() ? raw : data;
            std::optional<Verdict> verdict = placed(code, variant, form, in);
            if (verdict && (!best || weight(*verdict, true) < weight(*best, true)))
                best = std::move(verdict);
        }
    }
    return best;
}

} // namespace

Verdict judge(const TestCode& code, std::string_view received, Arrival arrival,
              const Framing& learned) {
    // Characters typed by a keyboard-mode scanner are compared as characters: the keyboard field
    // gives "Größe" as UTF-8, where a port would have brought the code's Latin-1 bytes.
    std::string characters;
    std::string_view raw = received;
    std::string_view data = received;
    if (arrival == Arrival::Characters) {
        if (const std::optional<std::string> latin1 = asLatin1(received)) {
            characters = *latin1;
            data = characters;
        }
    }
    if (std::optional<Verdict> found = bestPlacement(code, data, raw))
        return *found;
    // What differs is said of the scan without what the scanner adds around every code.
    std::string_view core = withoutFraming(data, learned);
    Verdict failed;
    failed.facts.symbology = code.symbology;
    if (const auto identifier = scan_log::readAimIdentifier(core)) {
        failed.facts.aimIdentifier = identifier->id;
        core.remove_prefix(identifier->id.size());
    }
    failed.differences.push_back(mismatch(code, core));
    return failed;
}

namespace {

// The edit distance between two texts, or more than `limit` (limit + 1) as soon as it must be:
// a long scan is not compared character by character with every code.
std::size_t distance(std::string_view a, std::string_view b, std::size_t limit) {
    const std::size_t gap = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
    if (gap > limit)
        return limit + 1;
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        std::size_t least = row[0];
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] =
                std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
            least = std::min(least, row[j]);
        }
        if (least > limit)
            return limit + 1;
    }
    return row[b.size()];
}

// How many characters may differ for a scan still to be taken for a misread of `content`.
std::size_t closeEnough(std::string_view content) {
    return std::max<std::size_t>(2, content.size() / 4);
}

} // namespace

Match matchScan(std::span<const TestCode> codes, std::string_view received,
                std::optional<std::size_t> shown, Arrival arrival, const Framing& learned) {
    // The identifier the scan starts with (after the learned prefix) names the symbology: a scan
    // is compared with the codes of that symbology alone.
    std::string_view core = withoutFraming(received, learned);
    const auto identifier = scan_log::readAimIdentifier(core);
    const auto sameSymbology = [&identifier](const TestCode& code) {
        return !identifier ||
               (code.aimIdentifier.size() >= 2 && code.aimIdentifier[1] == identifier->id[1]);
    };
    std::optional<Match> best;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        Verdict verdict = judge(codes[i], received, arrival, learned);
        const bool identified =
            verdict.kind != VerdictKind::Fail || verdict.facts.gs == GsSending::Missing;
        if (!identified)
            continue;
        const bool better = !best || weight(verdict, true) < weight(best->verdict, true) ||
                            (weight(verdict, true) == weight(best->verdict, true) && shown == i);
        if (better)
            best = Match{i, std::move(verdict)};
    }
    if (best)
        return *best;
    if (identifier)
        core.remove_prefix(identifier->id.size());
    if (core.empty() && shown && *shown < codes.size())
        return Match{shown, judge(codes[*shown], received, arrival, learned)};
    // Read wrong: the code it is closest to, if it is close to one.
    std::optional<std::size_t> closest;
    std::size_t closestDistance = 0;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (!sameSymbology(codes[i]))
            continue;
        const std::size_t limit = closeEnough(codes[i].content);
        const std::size_t d = distance(core, codes[i].content, limit);
        if (d > limit)
            continue;
        if (!closest || d < closestDistance || (d == closestDistance && shown == i)) {
            closest = i;
            closestDistance = d;
        }
    }
    if (closest)
        return Match{closest, judge(codes[*closest], received, arrival, learned)};
    Verdict none;
    none.differences.push_back("this scan matches no test code: " + quoted(received));
    return Match{std::nullopt, std::move(none)};
}

} // namespace test_codes
