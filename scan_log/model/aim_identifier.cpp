#include "scan_log/model/aim_identifier.h"

#include <array>

namespace scan_log {

namespace {

using enum AimContent;

// ISO/IEC 15424 code characters and the modifiers that change how the data reads. Where
// sources disagree, every form they list is here.
constexpr std::array Symbologies = {
    AimSymbology{'A', '0', "Code 39", Plain},
    AimSymbology{'A', '1', "Code 39, check character verified", Plain},
    AimSymbology{'A', '2', "Code 39, check character removed", Plain},
    AimSymbology{'A', '3', "Code 39, check character verified and removed", Plain},
    AimSymbology{'A', '4', "Code 39 Full ASCII", Plain},
    AimSymbology{'A', '5', "Code 39 Full ASCII, check character verified", Plain},
    AimSymbology{'A', '6', "Code 39 Full ASCII, check character removed", Plain},
    AimSymbology{'A', '7', "Code 39 Full ASCII, check character verified and removed", Plain},
    AimSymbology{'A', '*', "Code 39", Plain},
    AimSymbology{'B', '*', "Telepen", Plain},
    AimSymbology{'C', '0', "Code 128", Plain},
    AimSymbology{'C', '1', "GS1-128", Gs1},
    AimSymbology{'C', '2', "Code 128 with AIM application indicator", Plain},
    AimSymbology{'C', '4', "ISBT 128 concatenation", Plain},
    AimSymbology{'C', '*', "Code 128", Plain},
    AimSymbology{'D', '*', "Code One", Plain},
    AimSymbology{'d', '0', "Data Matrix ECC 000-140", Plain},
    AimSymbology{'d', '1', "Data Matrix", Plain},
    AimSymbology{'d', '2', "GS1 DataMatrix", Gs1},
    AimSymbology{'d', '3', "Data Matrix with AIM application indicator", Plain},
    AimSymbology{'d', '4', "Data Matrix with ECI", Plain},
    AimSymbology{'d', '5', "GS1 DataMatrix with ECI", Gs1},
    AimSymbology{'d', '6', "Data Matrix with AIM application indicator and ECI", Plain},
    AimSymbology{'d', '7', "Data Matrix, rectangular extension", Plain},
    AimSymbology{'d', '8', "GS1 DataMatrix, rectangular extension", Gs1Unconfirmed},
    AimSymbology{'d', '*', "Data Matrix", Plain},
    AimSymbology{'E', '0', "EAN-13 or UPC-A", Gtin},
    AimSymbology{'E', '1', "EAN/UPC 2-digit add-on", Plain},
    AimSymbology{'E', '2', "EAN/UPC 5-digit add-on", Plain},
    AimSymbology{'E', '3', "EAN-13 or UPC-A with add-on", Gtin},
    AimSymbology{'E', '4', "EAN-8", Gtin},
    AimSymbology{'E', '*', "EAN/UPC", Plain},
    AimSymbology{'e', '0', "GS1 DataBar", Gs1},
    AimSymbology{'e', '1', "GS1 Composite, after a symbol separator", Gs1},
    AimSymbology{'e', '2', "GS1 Composite, after an escape character", Gs1},
    AimSymbology{'e', '3', "GS1 Composite with ECI", Gs1},
    AimSymbology{'e', '*', "GS1 DataBar", Gs1Unconfirmed},
    AimSymbology{'F', '0', "Codabar", Plain},
    AimSymbology{'F', '1', "Codabar, check character verified", Plain},
    AimSymbology{'F', '3', "Codabar, check character removed", Plain},
    AimSymbology{'F', '4', "Codabar, check character removed", Plain},
    AimSymbology{'F', '*', "Codabar", Plain},
    AimSymbology{'G', '*', "Code 93", Plain},
    AimSymbology{'g', '*', "Grid Matrix", Plain},
    AimSymbology{'H', '0', "Code 11, one check digit verified", Plain},
    AimSymbology{'H', '1', "Code 11, two check digits verified", Plain},
    AimSymbology{'H', '3', "Code 11, check digits verified and removed", Plain},
    AimSymbology{'H', '*', "Code 11", Plain},
    AimSymbology{'h', '0', "Han Xin", Plain},
    AimSymbology{'h', '1', "Han Xin with ECI", Plain},
    AimSymbology{'h', '2', "Han Xin with GS1 data", Gs1Unconfirmed},
    AimSymbology{'h', '*', "Han Xin", Plain},
    AimSymbology{'I', '0', "Interleaved 2 of 5", Plain},
    AimSymbology{'I', '1', "Interleaved 2 of 5, check digit verified", Gtin},
    AimSymbology{'I', '3', "Interleaved 2 of 5, check digit verified and removed", Plain},
    AimSymbology{'I', '*', "Interleaved 2 of 5", Plain},
    AimSymbology{'J', '0', "DotCode", Plain},
    AimSymbology{'J', '1', "GS1 DotCode", Gs1},
    AimSymbology{'J', '*', "DotCode", Plain},
    AimSymbology{'K', '0', "Code 16K", Plain},
    AimSymbology{'K', '1', "Code 16K with GS1 data", Gs1Unconfirmed},
    AimSymbology{'K', '2', "Code 16K with AIM application indicator", Plain},
    AimSymbology{'K', '4', "Code 16K, D1 pad", Plain},
    AimSymbology{'K', '*', "Code 16K", Plain},
    AimSymbology{'L', '0', "PDF417", Plain},
    AimSymbology{'L', '1', "PDF417 with ECI", Plain},
    AimSymbology{'L', '2', "PDF417, basic channel", Plain},
    AimSymbology{'L', '3', "MicroPDF417, GS1-128 emulation", Gs1},
    AimSymbology{'L', '4', "MicroPDF417, GS1-128 emulation", Gs1},
    AimSymbology{'L', '5', "MicroPDF417, GS1-128 emulation", Gs1},
    AimSymbology{'L', '*', "PDF417", Plain},
    // MSI modifiers disagree between sources; the raw modifier is shown instead.
    AimSymbology{'M', '0', "MSI (modifier 0)", Plain},
    AimSymbology{'M', '*', "MSI", Plain},
    AimSymbology{'N', '*', "Anker code", Plain},
    AimSymbology{'O', '4', "Codablock F", Plain},
    AimSymbology{'O', '5', "Codablock F with GS1 data", Gs1Unconfirmed},
    AimSymbology{'O', '*', "Codablock", Plain},
    AimSymbology{'P', '*', "Plessey code", Plain},
    AimSymbology{'Q', '0', "QR Code Model 1", Plain},
    AimSymbology{'Q', '1', "QR Code", Plain},
    AimSymbology{'Q', '2', "QR Code with ECI", Plain},
    AimSymbology{'Q', '3', "QR Code with GS1 data", Gs1},
    AimSymbology{'Q', '4', "QR Code with GS1 data and ECI", Gs1},
    AimSymbology{'Q', '5', "QR Code with AIM application indicator", Plain},
    AimSymbology{'Q', '6', "QR Code with AIM application indicator and ECI", Plain},
    AimSymbology{'Q', '*', "QR Code", Plain},
    AimSymbology{'R', '*', "2 of 5 (non-interleaved)", Plain},
    AimSymbology{'S', '*', "2 of 5 (non-interleaved)", Plain},
    AimSymbology{'T', '*', "Code 49", Plain},
    AimSymbology{'U', '0', "MaxiCode mode 4 or 5", Plain},
    AimSymbology{'U', '1', "MaxiCode mode 2 or 3", Plain},
    AimSymbology{'U', '2', "MaxiCode mode 4 or 5 with ECI", Plain},
    AimSymbology{'U', '3', "MaxiCode mode 2 or 3 with ECI", Plain},
    AimSymbology{'U', '*', "MaxiCode", Plain},
    AimSymbology{'X', '0', "other symbology (ISBN, ISSN, Trioptic and others)", Plain},
    AimSymbology{'X', 'F', "DX film edge", Plain},
    AimSymbology{'X', '*', "other symbology", Plain},
    AimSymbology{'Z', '*', "not from a barcode (keyboard entry)", Plain},
    AimSymbology{'z', '0', "Aztec", Plain},
    AimSymbology{'z', '1', "Aztec with GS1 data", Gs1},
    AimSymbology{'z', '2', "Aztec with AIM application indicator", Plain},
    AimSymbology{'z', '3', "Aztec with ECI", Plain},
    AimSymbology{'z', '4', "Aztec with GS1 data and ECI", Gs1},
    AimSymbology{'z', '5', "Aztec with AIM application indicator and ECI", Plain},
    AimSymbology{'z', '6', "Aztec, structured append", Plain},
    AimSymbology{'z', '7', "Aztec, structured append, GS1 data", Gs1},
    AimSymbology{'z', '8', "Aztec, structured append, AIM application indicator", Plain},
    AimSymbology{'z', '9', "Aztec, structured append, ECI", Plain},
    AimSymbology{'z', 'A', "Aztec, structured append, ECI, GS1 data", Gs1},
    AimSymbology{'z', 'B', "Aztec, structured append, ECI, AIM application indicator", Plain},
    AimSymbology{'z', 'C', "Aztec Rune", Plain},
    AimSymbology{'z', '*', "Aztec", Plain},
};

constexpr bool isModifier(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

// The table is typed by hand: no row twice, and every code character has a row for the
// modifiers it does not list.
constexpr bool symbologiesAreConsistent() {
    for (std::size_t i = 0; i < Symbologies.size(); ++i) {
        bool family = false;
        for (std::size_t j = 0; j < Symbologies.size(); ++j) {
            if (i != j && Symbologies[i].code == Symbologies[j].code &&
                Symbologies[i].modifier == Symbologies[j].modifier)
                return false;
            family = family ||
                     (Symbologies[j].code == Symbologies[i].code && Symbologies[j].modifier == '*');
        }
        if (!family)
            return false;
    }
    return true;
}
static_assert(symbologiesAreConsistent());

} // namespace

std::optional<AimIdentifier> readAimIdentifier(std::string_view data) {
    if (data.size() < 3 || data[0] != ']' || !isModifier(data[2]))
        return std::nullopt;
    const char code = data[1];
    const char modifier = data[2];
    const AimSymbology* family = nullptr;
    for (const AimSymbology& row : Symbologies) {
        if (row.code != code)
            continue;
        if (row.modifier == modifier)
            return AimIdentifier{std::string(data.substr(0, 3)), std::string(row.name),
                                 row.content};
        if (row.modifier == '*')
            family = &row;
    }
    if (!family)
        return std::nullopt;
    // Modifier 0 is the plain form of a symbology without modifiers of its own.
    std::string name(family->name);
    if (modifier != '0') {
        name += " (modifier ";
        name += modifier;
        name += ')';
    }
    return AimIdentifier{std::string(data.substr(0, 3)), std::move(name), family->content};
}

} // namespace scan_log
