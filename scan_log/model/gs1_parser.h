#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scan_log {

// The group separator (1Dh) that ends a GS1 field whose length is not pre-defined.
inline constexpr char GS = '\x1D';

// One GS1 element: an application identifier with its value, as the log shows it.
struct Gs1Field {
    std::string ai;    // the identifier's digits
    std::string title; // e.g. "GTIN"; empty for an unknown identifier
    std::string value; // dates as YYYY-MM-DD, measures with their decimal point, bytes visible
    std::string check; // "ok", "check digit should be 7", or empty without a check digit
    std::vector<std::string> problems; // e.g. "wrong length", "date does not exist"
    std::string raw;                   // the value as it came (percent-decoded in a Digital Link)

    bool operator==(const Gs1Field&) const = default;
};

// Problem names.
namespace gs1_problem {
inline constexpr std::string_view UnknownIdentifier = "unknown identifier";
inline constexpr std::string_view NotAnIdentifier = "not an application identifier";
inline constexpr std::string_view WrongLength = "wrong length";
inline constexpr std::string_view LetterForDigit = "letter where digits belong";
inline constexpr std::string_view CharacterNotAllowed = "character not allowed";
inline constexpr std::string_view NoSuchDate = "date does not exist";
inline constexpr std::string_view NoSuchTime = "time does not exist";
// Followed by the identifier that came next, e.g. "not ended by GS before (21)".
inline constexpr std::string_view NotEndedByGs = "not ended by GS before";
// Digital Link addresses only.
inline constexpr std::string_view NotAQualifier = "not a qualifier of this key";
inline constexpr std::string_view QualifierOrder = "qualifier out of order";
inline constexpr std::string_view BelongsInPath = "belongs in the path";
inline constexpr std::string_view NotAnAttribute = "not allowed in the query";
inline constexpr std::string_view Repeated = "repeated";
inline constexpr std::string_view BadPercentEncoding = "bad percent-encoding";
} // namespace gs1_problem

// The year in which a two-digit year YY falls, seen from `currentYear`: at most 49 years back
// and 50 years ahead.
int yearFromTwoDigits(int yy, int currentYear);

// Parses GS1 element strings: identifiers with their values, GS (1Dh) after each value whose
// length is not pre-defined. A leading GS (FNC1 in first position, sent as GS), a GS after a
// pre-defined-length value and a trailing GS are tolerated. Dates use `currentYear` for their
// century.
std::vector<Gs1Field> parseElementString(std::string_view data, int currentYear);

// The elements of a GS1 Digital Link address: key and qualifiers from the path, attributes
// from the query. None when `text` is no Digital Link address.
std::optional<std::vector<Gs1Field>> parseDigitalLink(std::string_view text, int currentYear);

// One line: "(01) GTIN 04006381333931 ok; (17) expiry 2026-12-31; (10) batch LOT-7", problems
// in brackets after the value.
std::string gs1Summary(const std::vector<Gs1Field>& fields);

} // namespace scan_log
