#pragma once

#include <span>
#include <string_view>

namespace scan_log {

// Which digits of a GS1 value carry the mod-10 check digit.
enum class AiCheck {
    None,
    Whole,            // the whole value (GTIN, SSCC, GLN, GSIN, GSRN)
    First13,          // the first 13 digits (GDTI, GCN)
    First14,          // the first 14 digits (ITIP)
    AfterLeadingZero, // the 13 digits after a leading 0 (GRAI)
};

// How a GS1 value holds a date.
enum class AiDate {
    None,
    YYMMDDOrDay00,      // YYMMDD; day 00 means the last day of the month
    YYMMDD,             // YYMMDD, a real day
    YYMMDDHHMM,         // date and time
    YYMMDDOptYYMMDD,    // one date, or a from-to pair
    YYMMDDOptHHMM,      // date, time optional
    YYMMDDHHOptMMOptSS, // date and hour, minutes and seconds optional
};

// The role of an identifier in a GS1 Digital Link address.
enum class DlRole { None, Key, Qualifier, Attribute };

// One GS1 application identifier. `ai` holds the digits; a trailing 'n' stands for a last
// digit from 0 to `lastN` (the decimals of a measure or amount, or a number of its own).
// `format` is the data's format in GS1 notation without the identifier: N digits,
// X the 82 characters of CSET 82, Y the 39 of CSET 39; "N14" exactly 14, "X..20" 1 to 20,
// "[...]" an optional part, "+" parts in a row.
struct AiDefinition {
    std::string_view ai;
    char lastN;
    std::string_view title;
    std::string_view format;
    bool predefinedLength; // no GS follows it (goes by the identifier's first two digits)
    AiCheck check;
    AiDate date;
    DlRole dl;
};

// The definition for identifier `ai`, if it is in the table.
const AiDefinition* findAi(std::string_view ai);

// How many digits an identifier starting with these two digits has: 2, 3 or 4; 0 when no
// identifier starts with them.
int aiLength(std::string_view firstTwoDigits);

// The data length of identifiers whose first two digits have a pre-defined length; 0 for
// the others, which end at a GS or at the end of the data.
int predefinedDataLength(std::string_view firstTwoDigits);

// Whether the value of `ai` is shown with decimals, and how many: the identifier's last digit
// for measures and amounts, -1 for other identifiers.
int aiDecimals(std::string_view ai);

// The key qualifiers a Digital Link key may carry, each row in its order.
struct DlQualifierOrder {
    std::string_view key;
    std::string_view qualifiers[3];
};
std::span<const DlQualifierOrder> dlQualifierOrders();

} // namespace scan_log
