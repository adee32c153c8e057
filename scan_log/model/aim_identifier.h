#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace scan_log {

// What the data after a symbology identifier holds.
enum class AimContent {
    Plain,          // data of the symbol's own kind
    Gs1,            // GS1 element strings (FNC1 in first position)
    Gs1Unconfirmed, // GS1 element strings according to one weak source only
    Gtin,           // a bare GTIN with its check digit, no application identifier
};

// One row of the symbology identifier table. A modifier of '*' stands for every modifier the
// table does not list for that code character.
struct AimSymbology {
    char code;
    char modifier;
    std::string_view name;
    AimContent content;
};

struct AimIdentifier {
    std::string id;        // the three characters, e.g. "]C1"
    std::string symbology; // e.g. "GS1-128"
    AimContent content = AimContent::Plain;

    bool announcesGs1() const { return content == AimContent::Gs1; }
};

// The symbology identifier at the start of `data`, if it starts with one: "]", a code
// character from the table and a modifier 0-9 or A-Z. A modifier the table does not list is
// shown as it is, after the symbology's name.
std::optional<AimIdentifier> readAimIdentifier(std::string_view data);

} // namespace scan_log
