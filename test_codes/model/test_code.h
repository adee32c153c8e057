#pragma once

#include <span>
#include <string_view>

namespace test_codes {

enum class Symbology {
    Ean13,
    Ean8,
    UpcA,
    UpcE,
    Code128,
    Code39,
    Itf14,
    Gs1_128,
    DataBarOmni,
    DataBarExpanded,
    QrCode,
    QrDigitalLink,
    DataMatrix,
    Gs1DataMatrix,
    Pdf417,
    Aztec,
    MicroQr,
    MaxiCode,
};

// One code the person scans. `input` is what the encoder takes: GS1 element strings in the
// bracketed form "[01]0952...", numeric codes with their check digit (ITF-14 without: the encoder
// adds it), DataBar Omnidirectional its GTIN alone; `content` is what a scanner with default
// settings sends for it: no symbology identifier, no terminator, GS (1Dh) after a variable-length
// GS1 field that is not the last.
struct TestCode {
    Symbology symbology;
    std::string_view name;
    std::string_view input;
    std::string_view content;
    // The last digit is a check digit that a scanner may be set to leave out.
    bool checkDigitLast = false;
    // GS1 element strings, in which GS ends a variable-length field.
    bool gs1 = false;
    // Why this code is in the list: the set-up fault it shows.
    std::string_view catches;
    // The symbology identifier a scanner sends before it when identifiers are on.
    std::string_view aimIdentifier;
};

// The codes in the order the window, the sheet and the simulator show them.
std::span<const TestCode> testCodes();

} // namespace test_codes
