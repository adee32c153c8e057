#include "scan_log/model/gs1_ai_table.h"

#include <array>

namespace scan_log {

namespace {

constexpr int twoDigits(std::string_view text) {
    if (text.size() < 2 || text[0] < '0' || text[0] > '9' || text[1] < '0' || text[1] > '9')
        return -1;
    return (text[0] - '0') * 10 + (text[1] - '0');
}

// Identifier length by first two digits.
struct AiLengthRange {
    int first, last, length;
};
constexpr std::array AiLengths = {
    AiLengthRange{0, 3, 2},   AiLengthRange{10, 22, 2}, AiLengthRange{30, 30, 2},
    AiLengthRange{37, 37, 2}, AiLengthRange{90, 99, 2}, AiLengthRange{23, 25, 3},
    AiLengthRange{40, 42, 3}, AiLengthRange{71, 71, 3}, AiLengthRange{31, 36, 4},
    AiLengthRange{39, 39, 4}, AiLengthRange{43, 43, 4}, AiLengthRange{70, 70, 4},
    AiLengthRange{72, 72, 4}, AiLengthRange{80, 82, 4},
};

// Pre-defined data length by first two digits (also for prefixes with no identifier yet, so
// that unknown identifiers among them can be stepped over).
struct PredefinedRange {
    int first, last, dataLength;
};
constexpr std::array PredefinedLengths = {
    PredefinedRange{0, 0, 18},   PredefinedRange{1, 3, 14},  PredefinedRange{4, 4, 16},
    PredefinedRange{11, 19, 6},  PredefinedRange{20, 20, 2}, PredefinedRange{31, 36, 6},
    PredefinedRange{41, 41, 13},
};

constexpr int lengthOfAi(std::string_view firstTwo) {
    const int prefix = twoDigits(firstTwo);
    for (const auto& range : AiLengths)
        if (prefix >= range.first && prefix <= range.last)
            return range.length;
    return 0;
}

constexpr int predefinedLength(std::string_view firstTwo) {
    const int prefix = twoDigits(firstTwo);
    for (const auto& range : PredefinedLengths)
        if (prefix >= range.first && prefix <= range.last)
            return range.dataLength;
    return 0;
}

constexpr auto Whole = AiCheck::Whole;
constexpr auto First13 = AiCheck::First13;
constexpr auto First14 = AiCheck::First14;
constexpr auto AfterLeadingZero = AiCheck::AfterLeadingZero;
constexpr auto Key = DlRole::Key;
constexpr auto Qualifier = DlRole::Qualifier;
constexpr auto Attribute = DlRole::Attribute;
constexpr auto NoCheck = AiCheck::None;
constexpr auto YYMMDDOrDay00 = AiDate::YYMMDDOrDay00;
constexpr auto YYMMDD = AiDate::YYMMDD;
constexpr auto YYMMDDHHMM = AiDate::YYMMDDHHMM;
constexpr auto YYMMDDOptYYMMDD = AiDate::YYMMDDOptYYMMDD;
constexpr auto YYMMDDOptHHMM = AiDate::YYMMDDOptHHMM;
constexpr auto YYMMDDHHOptMMOptSS = AiDate::YYMMDDHHOptMMOptSS;

constexpr AiDefinition def(std::string_view ai, std::string_view title, std::string_view format,
                           DlRole dl = Attribute, AiCheck check = AiCheck::None,
                           AiDate date = AiDate::None) {
    return {ai, '9', title, format, predefinedLength(ai) > 0, check, date, dl};
}

// An identifier whose last digit n runs from 0 to lastN.
constexpr AiDefinition defN(std::string_view ai, char lastN, std::string_view title,
                            std::string_view format) {
    return {ai,           lastN,    title, format, predefinedLength(ai) > 0, AiCheck::None,
            AiDate::None, Attribute};
}

constexpr AiDefinition measure(std::string_view ai, std::string_view title) {
    return defN(ai, '5', title, "N6");
}

// The GS1 application identifiers in common use. Titles are short names for the log; the
// format follows GS1 notation.
constexpr std::array Definitions = {
    def("00", "SSCC", "N18", Key, Whole),
    def("01", "GTIN", "N14", Key, Whole),
    def("02", "content GTIN", "N14", Attribute, Whole),
    def("03", "made-to-order GTIN", "N14", DlRole::None, Whole),
    def("10", "batch", "X..20", Qualifier),
    def("11", "production date", "N6", Attribute, NoCheck, YYMMDDOrDay00),
    def("12", "due date", "N6", Attribute, NoCheck, YYMMDDOrDay00),
    def("13", "packaging date", "N6", Attribute, NoCheck, YYMMDDOrDay00),
    def("15", "best before", "N6", Attribute, NoCheck, YYMMDDOrDay00),
    def("16", "sell by", "N6", Attribute, NoCheck, YYMMDDOrDay00),
    def("17", "expiry", "N6", Attribute, NoCheck, YYMMDDOrDay00),
    def("20", "variant", "N2"),
    def("21", "serial", "X..20", Qualifier),
    def("22", "consumer product variant", "X..20", Qualifier),
    def("235", "third-party serial extension", "X..28", Qualifier),
    def("240", "additional ID", "X..30"),
    def("241", "customer part number", "X..30"),
    def("242", "made-to-order variant", "N..6"),
    def("243", "packaging component number", "X..20"),
    def("250", "secondary serial", "X..30"),
    def("251", "reference to source", "X..30"),
    def("253", "GDTI", "N13+[X..17]", Key, First13),
    def("254", "GLN extension", "X..20", Qualifier),
    def("255", "GCN", "N13+[N..12]", Key, First13),
    def("30", "variable count", "N..8"),
    measure("310n", "net weight (kg)"),
    measure("311n", "length (m)"),
    measure("312n", "width (m)"),
    measure("313n", "height (m)"),
    measure("314n", "area (m²)"),
    measure("315n", "net volume (l)"),
    measure("316n", "net volume (m³)"),
    measure("320n", "net weight (lb)"),
    measure("321n", "length (in)"),
    measure("322n", "length (ft)"),
    measure("323n", "length (yd)"),
    measure("324n", "width (in)"),
    measure("325n", "width (ft)"),
    measure("326n", "width (yd)"),
    measure("327n", "height (in)"),
    measure("328n", "height (ft)"),
    measure("329n", "height (yd)"),
    measure("330n", "gross weight (kg)"),
    measure("331n", "logistic length (m)"),
    measure("332n", "logistic width (m)"),
    measure("333n", "logistic height (m)"),
    measure("334n", "logistic area (m²)"),
    measure("335n", "logistic volume (l)"),
    measure("336n", "logistic volume (m³)"),
    measure("337n", "kg per m²"),
    measure("340n", "gross weight (lb)"),
    measure("341n", "logistic length (in)"),
    measure("342n", "logistic length (ft)"),
    measure("343n", "logistic length (yd)"),
    measure("344n", "logistic width (in)"),
    measure("345n", "logistic width (ft)"),
    measure("346n", "logistic width (yd)"),
    measure("347n", "logistic height (in)"),
    measure("348n", "logistic height (ft)"),
    measure("349n", "logistic height (yd)"),
    measure("350n", "area (in²)"),
    measure("351n", "area (ft²)"),
    measure("352n", "area (yd²)"),
    measure("353n", "logistic area (in²)"),
    measure("354n", "logistic area (ft²)"),
    measure("355n", "logistic area (yd²)"),
    measure("356n", "net weight (troy oz)"),
    measure("357n", "net volume (oz)"),
    measure("360n", "net volume (US quart)"),
    measure("361n", "net volume (US gallon)"),
    measure("362n", "logistic volume (US quart)"),
    measure("363n", "logistic volume (US gallon)"),
    measure("364n", "net volume (in³)"),
    measure("365n", "net volume (ft³)"),
    measure("366n", "net volume (yd³)"),
    measure("367n", "logistic volume (in³)"),
    measure("368n", "logistic volume (ft³)"),
    measure("369n", "logistic volume (yd³)"),
    def("37", "count", "N..8"),
    defN("390n", '9', "amount", "N..15"),
    defN("391n", '9', "amount with currency", "N3+N..15"),
    defN("392n", '9', "price", "N..15"),
    defN("393n", '9', "price with currency", "N3+N..15"),
    defN("394n", '3', "percent off", "N4"),
    defN("395n", '5', "price per unit of measure", "N6"),
    def("400", "order number", "X..30"),
    def("401", "GINC", "X..30", Key),
    def("402", "GSIN", "N17", Key, Whole),
    def("403", "route", "X..30"),
    def("410", "ship to GLN", "N13", Attribute, Whole),
    def("411", "bill to GLN", "N13", Attribute, Whole),
    def("412", "purchased from GLN", "N13", Attribute, Whole),
    def("413", "ship for GLN", "N13", Attribute, Whole),
    def("414", "location GLN", "N13", Key, Whole),
    def("415", "pay to GLN", "N13", Key, Whole),
    def("416", "production or service location GLN", "N13", Attribute, Whole),
    def("417", "party GLN", "N13", Key, Whole),
    def("420", "ship to postal code", "X..20"),
    def("421", "ship to postal code with country", "N3+X..9"),
    def("422", "country of origin", "N3"),
    def("423", "countries of initial processing", "N3+N..12"),
    def("424", "country of processing", "N3"),
    def("425", "countries of disassembly", "N3+N..12"),
    def("426", "country of full process", "N3"),
    def("427", "origin subdivision", "X..3"),
    def("7001", "NATO stock number", "N13"),
    def("7002", "meat cut", "X..30"),
    def("7003", "expiry time", "N10", Attribute, NoCheck, YYMMDDHHMM),
    def("7004", "active potency", "N..4"),
    def("7005", "catch area", "X..12"),
    def("7006", "first freeze date", "N6", Attribute, NoCheck, YYMMDD),
    def("7007", "harvest date", "N6+[N6]", Attribute, NoCheck, YYMMDDOptYYMMDD),
    def("7008", "aquatic species", "X..3"),
    def("7009", "fishing gear type", "X..10"),
    def("7010", "production method", "X..2"),
    def("7011", "test by date", "N6+[N4]", Attribute, NoCheck, YYMMDDOptHHMM),
    def("7020", "refurbishment lot", "X..20"),
    def("7021", "functional status", "X..20"),
    def("7022", "revision status", "X..20"),
    def("7023", "GIAI of assembly", "X..30"),
    defN("703n", '9', "processor with country", "N3+X..27"),
    def("710", "national healthcare number, Germany (PZN)", "X..20"),
    def("711", "national healthcare number, France (CIP)", "X..20"),
    def("712", "national healthcare number, Spain (CN)", "X..20"),
    def("713", "national healthcare number, Brazil (DRN)", "X..20"),
    def("714", "national healthcare number, Portugal (AIM)", "X..20"),
    def("715", "national healthcare number, USA (NDC)", "X..20"),
    def("8001", "roll dimensions", "N14"),
    def("8002", "mobile phone ID", "X..20"),
    def("8003", "GRAI", "N14+[X..16]", Key, AfterLeadingZero),
    def("8004", "GIAI", "X..30", Key),
    def("8005", "price per unit", "N6"),
    def("8006", "ITIP", "N14+N2+N2", Key, First14),
    def("8007", "IBAN", "X..34"),
    def("8008", "production time", "N8+[N..4]", Attribute, NoCheck, YYMMDDHHOptMMOptSS),
    def("8009", "optically readable sensor indicator", "X..50"),
    def("8010", "CPID", "Y..30", Key),
    def("8011", "CPID serial", "N..12", Qualifier),
    def("8012", "software version", "X..20"),
    def("8013", "GMN", "X..25", Key),
    def("8014", "MUDI", "X..25", DlRole::None),
    def("8017", "GSRN provider", "N18", Key, Whole),
    def("8018", "GSRN recipient", "N18", Key, Whole),
    def("8019", "service relation instance", "N..10", Qualifier),
    def("8020", "payment slip reference", "X..25", Qualifier),
    def("8026", "ITIP content", "N14+N2+N2", Attribute, First14),
    def("8110", "coupon code", "X..70"),
    def("8111", "loyalty points", "N4"),
    def("8112", "paperless coupon code", "X..70"),
    def("8200", "product URL", "X..70", DlRole::None),
    def("90", "internal", "X..30"),
    def("91", "company internal", "X..90"),
    def("92", "company internal", "X..90"),
    def("93", "company internal", "X..90"),
    def("94", "company internal", "X..90"),
    def("95", "company internal", "X..90"),
    def("96", "company internal", "X..90"),
    def("97", "company internal", "X..90"),
    def("98", "company internal", "X..90"),
    def("99", "company internal", "X..90"),
};

// Every identifier has the length its first two digits give it.
constexpr bool lengthsAgree() {
    for (const AiDefinition& row : Definitions)
        if (static_cast<int>(row.ai.size()) != lengthOfAi(row.ai))
            return false;
    return true;
}
static_assert(lengthsAgree(), "an identifier's length disagrees with its first two digits");

constexpr std::array QualifierOrders = {
    DlQualifierOrder{"01", {"22", "10", "21"}},
    DlQualifierOrder{"01", {"235"}},
    DlQualifierOrder{"8006", {"22", "10", "21"}},
    DlQualifierOrder{"414", {"254"}},
    DlQualifierOrder{"414", {"7040"}},
    DlQualifierOrder{"417", {"7040"}},
    DlQualifierOrder{"415", {"8020"}},
    DlQualifierOrder{"8004", {"7040"}},
    DlQualifierOrder{"8010", {"8011"}},
    DlQualifierOrder{"8017", {"8019"}},
    DlQualifierOrder{"8018", {"8019"}},
};

// The table is typed by hand: no identifier twice, every format readable, keys with check
// digits numeric, and the predefined lengths those of the identifiers' first two digits.
constexpr bool definitionsAreConsistent() {
    for (std::size_t i = 0; i < Definitions.size(); ++i) {
        const AiDefinition& row = Definitions[i];
        for (std::size_t j = i + 1; j < Definitions.size(); ++j)
            if (Definitions[j].ai == row.ai)
                return false;
        if (row.title.empty() || row.format.empty() ||
            std::string_view("NXY[").find(row.format[0]) == std::string_view::npos)
            return false;
        if (row.check != AiCheck::None && row.format[0] != 'N')
            return false;
        if (row.predefinedLength != (predefinedLength(row.ai.substr(0, 2)) > 0))
            return false;
    }
    return true;
}
static_assert(definitionsAreConsistent());

} // namespace

std::span<const DlQualifierOrder> dlQualifierOrders() {
    return QualifierOrders;
}

int aiLength(std::string_view firstTwoDigits) {
    return lengthOfAi(firstTwoDigits);
}

int predefinedDataLength(std::string_view firstTwoDigits) {
    return predefinedLength(firstTwoDigits);
}

const AiDefinition* findAi(std::string_view ai) {
    for (const AiDefinition& row : Definitions) {
        if (row.ai.size() != ai.size())
            continue;
        if (row.ai.back() == 'n') {
            const std::size_t last = ai.size() - 1;
            if (row.ai.substr(0, last) == ai.substr(0, last) && ai[last] >= '0' &&
                ai[last] <= row.lastN)
                return &row;
        } else if (row.ai == ai) {
            return &row;
        }
    }
    return nullptr;
}

int aiDecimals(std::string_view ai) {
    if (ai.size() != 4 || ai.back() < '0' || ai.back() > '9')
        return -1;
    const int prefix = twoDigits(ai);
    if ((prefix >= 31 && prefix <= 36) || (ai.substr(0, 2) == "39" && ai[2] <= '5'))
        return ai.back() - '0';
    return -1;
}

} // namespace scan_log
