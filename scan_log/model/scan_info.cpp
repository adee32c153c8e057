#include "scan_log/model/scan_info.h"

#include "scan_log/model/aim_identifier.h"
#include "scan_log/model/gs1_check_digit.h"
#include "scan_log/model/gs1_parser.h"
#include "scan_log/model/gs1_syntax_check.h"
#include "scan_log/model/noise.h"
#include "scan_log/model/scan_splitter.h"
#include "scan_log/model/visible_bytes.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace scan_log {

namespace {

constexpr char STX = '\x02';
constexpr char ETX = '\x03';
// A format 05 envelope (GS1 data) from ISO/IEC 15434, and its trailer.
constexpr std::string_view EnvelopeStart = "[)>\x1E"
                                           "05\x1D";
constexpr std::string_view EnvelopeEnd = "\x1E\x04";

// One check text for all the checked keys among `fields`: "ok" when all are right, else the
// wrong ones.
std::string checkOfFields(const std::vector<Gs1Field>& fields) {
    std::vector<const Gs1Field*> checked;
    for (const Gs1Field& field : fields)
        if (!field.check.empty())
            checked.push_back(&field);
    if (checked.empty())
        return {};
    if (checked.size() == 1)
        return checked.front()->check;
    std::string text;
    for (const Gs1Field* field : checked) {
        if (field->check == "ok")
            continue;
        if (!text.empty())
            text += "; ";
        text += '(' + field->ai + ") " + field->check;
    }
    return text.empty() ? "ok" : text;
}

void showFields(ScanInfo& info, std::vector<Gs1Field> fields) {
    // zint's syntax check, beside the parser's own: it knows every identifier GS1 assigns, so an
    // identifier missing from the parser's table is no problem when zint takes the whole.
    const Gs1SyntaxCheck syntax = checkGs1Syntax(fields);
    if (syntax.checked && !syntax.finding) {
        for (Gs1Field& field : fields) {
            if (field.problems.size() == 1 && field.problems[0] == gs1_problem::UnknownIdentifier)
                field.problems.clear();
        }
    }
    info.gs1Fields = gs1Summary(fields);
    info.check = checkOfFields(fields);
    // One verdict: right check digits do not make a scan whose fields have problems "ok".
    const bool problems = std::any_of(fields.begin(), fields.end(), [](const Gs1Field& field) {
        return !field.problems.empty();
    });
    const bool wrongCheck = !info.check.empty() && info.check != "ok";
    // zint's finding is said where the parser found nothing wrong itself.
    if (syntax.finding && !problems && !wrongCheck)
        info.gs1Fields += "; GS1 syntax check: " + *syntax.finding;
    if ((problems || syntax.finding) && (info.check.empty() || info.check == "ok"))
        info.check = "problem in the GS1 fields";
}

bool isCleanParse(const std::vector<Gs1Field>& fields) {
    for (const Gs1Field& field : fields)
        if (!field.problems.empty())
            return false;
    return !fields.empty();
}

// A bare GTIN after an EAN/UPC or ITF identifier; an add-on, in the same packet or as a second
// identifier, is left out of the check.
std::string gtinCheck(const AimIdentifier& aim, std::string_view data) {
    const std::size_t second = data.find("]E");
    if (second != std::string_view::npos)
        data = data.substr(0, second);
    if (aim.id == "]E3" && (data.size() == 15 || data.size() == 18))
        data = data.substr(0, 13);
    if (aim.id == "]I1" && data.size() != 14)
        return {};
    // ]E0 carries EAN-13, UPC-A (13 digits) and UPC-E, which keeps its 8 digits.
    if (aim.id == "]E0" && data.size() == 8)
        return upcECheckText(data);
    return checkDigitText(data);
}

void guess(ScanInfo& info, std::string_view data, int currentYear) {
    info.isGuess = true;
    if (data.starts_with(GS)) {
        info.symbology = "GS1 element string";
        showFields(info, parseElementString(data, currentYear));
        return;
    }
    if (data.starts_with(EnvelopeStart)) {
        data.remove_prefix(EnvelopeStart.size());
        if (data.ends_with(EnvelopeEnd))
            data.remove_suffix(EnvelopeEnd.size());
        info.symbology = "GS1 data in an ISO/IEC 15434 envelope";
        showFields(info, parseElementString(data, currentYear));
        return;
    }
    // Eight digits are an EAN-8 or a UPC-E, told apart by whose check digit they end with (both
    // may hold).
    if (data.size() == 8 && allDigits(data)) {
        const bool ean8 = checkDigitText(data) == "ok";
        const bool upcE = upcECheckText(data) == "ok";
        if (ean8 || upcE) {
            info.symbology = ean8 && upcE ? "EAN-8 or UPC-E" : ean8 ? "EAN-8" : "UPC-E";
            info.check = "ok";
            return;
        }
    }
    if (allDigits(data) && checkDigitText(data) == "ok") {
        switch (data.size()) {
        case 12:
            info.symbology = "UPC-A";
            break;
        case 13:
            info.symbology = "EAN-13";
            break;
        case 14:
            info.symbology = "GTIN-14";
            break;
        default:
            break;
        }
        if (!info.symbology.empty()) {
            info.check = "ok";
            return;
        }
    }
    if (const auto fields = parseDigitalLink(data, currentYear)) {
        info.symbology = "GS1 Digital Link";
        showFields(info, *fields);
        return;
    }
    info.symbology = "text";
}

ScanVerdict verdictOf(const ScanInfo& info) {
    if (!info.check.empty() && info.check != "ok")
        return ScanVerdict::Problem;
    if (info.check == "ok" || !info.gs1Fields.empty())
        return ScanVerdict::Good;
    return ScanVerdict::Unknown;
}

// What to do about a line that brings garbage or errors.
constexpr std::string_view WrongSettingsHint = "wrong baud rate, data bits or parity? Tools > "
                                               "Find Settings";

std::string lineErrorsText(int errors) {
    return errors == 1 ? "1 line error" : std::to_string(errors) + " line errors";
}

int yearNow() {
    using namespace std::chrono;
    const year_month_day today{floor<days>(system_clock::now())};
    return static_cast<int>(today.year());
}

// Everything but the verdict, which sums it up.
ScanInfo describeScan(std::string_view bytes, int currentYear);

} // namespace

ScanInfo decodeScan(std::string_view bytes, LineFacts line) {
    return decodeScan(bytes, yearNow(), line);
}

std::string_view ScanInfo::verdictText() const {
    switch (verdict) {
    case ScanVerdict::Good:
        return "good";
    case ScanVerdict::Problem:
        return "problem";
    case ScanVerdict::Unknown:
        break;
    }
    return "unknown";
}

ScanInfo decodeScan(std::string_view bytes, int currentYear, LineFacts line) {
    const std::string_view data =
        bytes.substr(0, bytes.size() - terminatorLength(terminatorOf(bytes)));
    // A 2D code (QR, Data Matrix, PDF417, Aztec, MaxiCode, Han Xin) may carry binary data or
    // text in other encodings: with its identifier in front, only line errors say the line is
    // wrong.
    std::string_view unframed = data;
    if (unframed.starts_with(STX))
        unframed.remove_prefix(1);
    const auto aim = readAimIdentifier(unframed);
    const bool mayBeBinary =
        aim && std::string_view("QdLzUh").find(aim->id[1]) != std::string_view::npos;
    const NoiseCount noise = mayBeBinary ? NoiseCount{} : countNoise(data);
    if (noise.isGarbage()) {
        // Nothing else is read into it: a wrong setting can make any symbology's look.
        ScanInfo info;
        info.terminator = terminatorName(terminatorOf(bytes));
        info.data = visibleForm(data);
        info.symbology = "none";
        info.check = std::to_string(noise.suspect) + " of " + std::to_string(noise.total) +
                     " bytes are no scanner's (NUL, control characters, bytes no text has)";
        if (line.errors > 0)
            info.check += ", " + lineErrorsText(line.errors);
        info.check += ": " + std::string(WrongSettingsHint);
        info.verdict = ScanVerdict::Problem;
        return info;
    }
    ScanInfo info = describeScan(bytes, currentYear);
    if (line.errors > 0) {
        const bool otherProblem = !info.check.empty() && info.check != "ok";
        info.check = lineErrorsText(line.errors) + ": " + std::string(WrongSettingsHint) +
                     (otherProblem ? "; " + info.check : std::string());
    }
    info.verdict = verdictOf(info);
    return info;
}

namespace {

ScanInfo describeScan(std::string_view bytes, int currentYear) {
    ScanInfo info;
    const Terminator terminator = terminatorOf(bytes);
    std::string_view data = bytes.substr(0, bytes.size() - terminatorLength(terminator));
    info.terminator = terminatorName(terminator);
    info.data = visibleForm(data);

    // A frame of STX ... ETX around the message is the scanner's, not the symbol's.
    if (data.starts_with(STX))
        data.remove_prefix(1);
    if (data.ends_with(ETX))
        data.remove_suffix(1);
    if (data.empty())
        return info;

    const auto aim = readAimIdentifier(data);
    if (!aim) {
        guess(info, data, currentYear);
        return info;
    }
    info.symbology = aim->symbology;
    data.remove_prefix(aim->id.size());
    if (aim->id == "]E0" && data.size() == 8 && allDigits(data))
        info.symbology = "UPC-E";
    switch (aim->content) {
    case AimContent::Gs1:
        showFields(info, parseElementString(data, currentYear));
        break;
    case AimContent::Gs1Unconfirmed: {
        // Only one weak source says GS1 data follows: show elements only when they parse.
        const auto fields = parseElementString(data, currentYear);
        if (isCleanParse(fields))
            showFields(info, fields);
        break;
    }
    case AimContent::Gtin:
        info.check = gtinCheck(*aim, data);
        break;
    case AimContent::Plain:
        if (const auto fields = parseDigitalLink(data, currentYear))
            showFields(info, *fields);
        break;
    }
    return info;
}

} // namespace

} // namespace scan_log
