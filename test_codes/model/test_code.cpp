#include "test_codes/model/test_code.h"

#include <array>

namespace test_codes {

namespace {

using S = Symbology;

// The check digits of the numeric codes are the GS1 mod-10 ones; a test holds them to it.
constexpr std::array Codes = {
    TestCode{S::Ean13, "EAN-13", "4006381333931", "4006381333931", true, false,
             "the check digit, and EAN-13 enabled at all", "]E0"},
    TestCode{S::Ean8, "EAN-8", "96385074", "96385074", true, false,
             "EAN-8, often disabled by default", "]E4"},
    TestCode{S::UpcA, "UPC-A", "036000291452", "036000291452", true, false,
             "a leading zero, and UPC-A sent as 13 digits", "]E0"},
    // A UPC-E whose check digit (that of the UPC-A 042100005264 it stands for) differs from
    // the one an EAN-8 of the same digits would have (0): a scanner or a program that checks it
    // the wrong way shows here.
    TestCode{S::UpcE, "UPC-E", "04252614", "04252614", true, false,
             "UPC-E sent short or expanded to UPC-A, and its own check digit", "]E0"},
    TestCode{S::Code128, "Code 128", "Linnet-128/$x9", "Linnet-128/$x9", false, false,
             "mixed case, '-', '/' and '$' through a keyboard layout", "]C0"},
    TestCode{S::Code39, "Code 39", "LT-39/$ 0042", "LT-39/$ 0042", false, false,
             "Code 39 enabled, a blank and leading zeros kept", "]A0"},
    TestCode{S::Itf14, "ITF-14", "1540014128876", "15400141288763", true, false,
             "Interleaved 2 of 5 enabled for 14 digits", "]I1"},
    TestCode{S::Gs1_128, "GS1-128", "[01]09521234543213[10]ABC123[21]12345",
             "0109521234543213"
             "10ABC123\x1D"
             "2112345",
             false, true, "GS after the batch, and FNC1 not sent as text", "]C1"},
    TestCode{S::DataBarOmni, "GS1 DataBar Omnidirectional", "09521234543213", "0109521234543213",
             false, true, "GS1 DataBar enabled", "]e0"},
    TestCode{S::DataBarExpanded, "GS1 DataBar Expanded", "[01]09521234543213[10]AB-12[21]S/N5",
             "0109521234543213"
             "10AB-12\x1D"
             "21S/N5",
             false, true, "GS in DataBar Expanded, '-' and '/' in GS1 fields", "]e0"},
    TestCode{S::QrCode, "QR Code",
             "Linnet QR: Gr\xF6\xDF"
             "e 42, caf\xE9, 0042",
             "Linnet QR: Gr\xF6\xDF"
             "e 42, caf\xE9, 0042",
             false, false, "Latin-1 characters sent as their bytes", "]Q1"},
    TestCode{S::QrDigitalLink, "QR Code (GS1 Digital Link)",
             "https://id.gs1.org/01/09521234543213/10/ABC123?17=261231",
             "https://id.gs1.org/01/09521234543213/10/ABC123?17=261231", false, false,
             "a web address with '/', '?' and '=' sent whole", "]Q1"},
    TestCode{S::DataMatrix, "Data Matrix", "Linnet DM-0042/abc", "Linnet DM-0042/abc", false, false,
             "Data Matrix enabled, mixed case", "]d1"},
    TestCode{S::Gs1DataMatrix, "GS1 DataMatrix", "[01]09521234543213[17]261231[10]ABC123[21]12345",
             "0109521234543213"
             "17261231"
             "10ABC123\x1D"
             "2112345",
             false, true, "GS in a 2D GS1 code", "]d2"},
    TestCode{S::Pdf417, "PDF417",
             "Linnet PDF417 long payload: 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ "
             "abcdefghijklmnopqrstuvwxyz 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ "
             "abcdefghijklmnopqrstuvwxyz 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ end",
             "Linnet PDF417 long payload: 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ "
             "abcdefghijklmnopqrstuvwxyz 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ "
             "abcdefghijklmnopqrstuvwxyz 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ end",
             false, false, "a long scan at a low baud rate, and a small input buffer", "]L2"},
    TestCode{S::Aztec, "Aztec", "Aztec 0042 Mixed/Case", "Aztec 0042 Mixed/Case", false, false,
             "Aztec enabled", "]z0"},
    TestCode{S::MicroQr, "Micro QR", "Mqr-0042", "Mqr-0042", false, false, "Micro QR enabled",
             "]Q1"},
    TestCode{S::MaxiCode, "MaxiCode", "Linnet MaxiCode 0042", "Linnet MaxiCode 0042", false, false,
             "MaxiCode enabled", "]U0"},
};

} // namespace

std::span<const TestCode> testCodes() {
    return Codes;
}

} // namespace test_codes
