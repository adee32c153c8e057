#pragma once

#include "scan_log/model/gs1_parser.h"

#include <optional>
#include <string>
#include <vector>

namespace scan_log {

struct Gs1SyntaxCheck {
    bool checked = false;               // zint could be asked about the fields
    std::optional<std::string> finding; // what it found wrong; none: nothing
};

// What zint's GS1 syntax check finds wrong with the fields, as zint says it (its first finding,
// bytes made visible), e.g. "AI (17) position 3: Invalid month '13'". zint's table comes from
// GS1's Barcode Syntax Dictionary: it knows every assigned identifier and checks dates, check
// digits, character sets, IBANs and country codes. It does not see a missing GS, association
// rules or Digital Link order; the parser's own checks cover those. Not checked when the fields
// cannot be put to it (an unidentified part, a bracket in a value).
Gs1SyntaxCheck checkGs1Syntax(const std::vector<Gs1Field>& fields);

} // namespace scan_log
