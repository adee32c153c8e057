#include "scan_log/model/gs1_parser.h"

#include "scan_log/model/gs1_ai_table.h"
#include "scan_log/model/gs1_check_digit.h"
#include "scan_log/model/visible_bytes.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace scan_log {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// CSET 82: the characters GS1 allows in alphanumeric values.
bool inCset82(char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || isDigit(c))
        return true;
    return std::string_view("!\"%&'()*+,-./:;<=>?_").find(c) != std::string_view::npos;
}

// CSET 39: upper-case letters, digits, # - /.
bool inCset39(char c) {
    return (c >= 'A' && c <= 'Z') || isDigit(c) || c == '#' || c == '-' || c == '/';
}

// A format such as "N13+[X..17]" taken apart.
struct FormatPart {
    char set = 'N';
    int min = 0;
    int max = 0;
    bool optional = false;
};
struct Format {
    std::array<FormatPart, 4> parts{};
    int count = 0;
    int minTotal = 0;
    int maxTotal = 0;
};

int number(std::string_view text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

Format readFormat(std::string_view format) {
    Format result;
    while (!format.empty() && result.count < static_cast<int>(result.parts.size())) {
        const std::size_t plus = format.find('+');
        std::string_view piece = format.substr(0, plus);
        format = plus == std::string_view::npos ? std::string_view() : format.substr(plus + 1);
        FormatPart part;
        if (piece.size() >= 2 && piece.front() == '[') {
            part.optional = true;
            piece = piece.substr(1, piece.size() - 2);
        }
        part.set = piece.empty() ? 'N' : piece.front();
        piece.remove_prefix(std::min<std::size_t>(1, piece.size()));
        if (piece.starts_with("..")) {
            part.min = 1;
            part.max = number(piece.substr(2));
        } else {
            part.min = part.max = number(piece);
        }
        if (!part.optional)
            result.minTotal += part.min;
        result.maxTotal += part.max;
        result.parts[result.count++] = part;
    }
    return result;
}

void addProblem(Gs1Field& field, std::string_view problem) {
    if (std::find(field.problems.begin(), field.problems.end(), problem) == field.problems.end())
        field.problems.emplace_back(problem);
}

int daysInMonth(int year, int month) {
    static constexpr std::array<int, 12> Days = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : Days[month - 1];
}

std::string twoDigitText(int value) {
    return {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
}

// A date YYMMDD as YYYY-MM-DD; day 00, where allowed, is the month's last day.
std::optional<std::string> readDate(std::string_view yymmdd, bool day00, int currentYear) {
    const int year = yearFromTwoDigits(number(yymmdd.substr(0, 2)), currentYear);
    const int month = number(yymmdd.substr(2, 2));
    int day = number(yymmdd.substr(4, 2));
    if (month < 1 || month > 12)
        return std::nullopt;
    const bool noDay = day == 0;
    if (noDay && !day00)
        return std::nullopt;
    if (noDay)
        day = daysInMonth(year, month);
    if (day > daysInMonth(year, month))
        return std::nullopt;
    std::string text = std::to_string(year) + '-' + twoDigitText(month) + '-' + twoDigitText(day);
    if (noDay)
        text += " (day 00)";
    return text;
}

// Hours, minutes and seconds, two digits each, as HH:MM[:SS].
std::optional<std::string> readTime(std::string_view digits) {
    std::string text;
    for (std::size_t at = 0; at + 1 < digits.size(); at += 2) {
        const int value = number(digits.substr(at, 2));
        if (value > (at == 0 ? 23 : 59))
            return std::nullopt;
        if (at > 0)
            text += ':';
        text += digits.substr(at, 2);
    }
    if (digits.size() == 2)
        text += ":00";
    return text;
}

// The value of a date identifier as text, or the problem with it.
void describeDate(Gs1Field& field, AiDate kind, std::string_view value, int currentYear) {
    const bool day00 = kind == AiDate::YYMMDDOrDay00;
    const auto date = readDate(value.substr(0, 6), day00, currentYear);
    if (!date) {
        addProblem(field, gs1_problem::NoSuchDate);
        return;
    }
    std::string text = *date;
    const std::string_view rest = value.substr(6);
    switch (kind) {
    case AiDate::YYMMDDOptYYMMDD:
        if (!rest.empty()) {
            const auto until = readDate(rest, false, currentYear);
            if (!until) {
                addProblem(field, gs1_problem::NoSuchDate);
                return;
            }
            text += " to " + *until;
        }
        break;
    case AiDate::YYMMDDHHMM:
    case AiDate::YYMMDDOptHHMM:
    case AiDate::YYMMDDHHOptMMOptSS:
        if (!rest.empty()) {
            const auto time = readTime(rest);
            if (!time) {
                addProblem(field, gs1_problem::NoSuchTime);
                return;
            }
            text += ' ' + *time;
        }
        break;
    default:
        break;
    }
    field.value = std::move(text);
}

// Digits with `decimals` of them after a point, leading zeros dropped: "001250", 3 -> "1.250".
std::string withDecimals(std::string_view digits, int decimals) {
    const std::size_t point = digits.size() > static_cast<std::size_t>(decimals)
                                  ? digits.size() - static_cast<std::size_t>(decimals)
                                  : 0;
    std::string whole(digits.substr(0, point));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size()));
    if (whole.empty())
        whole = "0";
    if (decimals == 0)
        return whole;
    std::string fraction(static_cast<std::size_t>(decimals) - (digits.size() - point), '0');
    fraction += digits.substr(point);
    return whole + '.' + fraction;
}

// The field for a known identifier and its raw value: length, characters, check digit, date.
Gs1Field describe(const AiDefinition& definition, std::string_view ai, std::string_view value,
                  int currentYear) {
    Gs1Field field{std::string(ai), std::string(definition.title), {}, {}, {}, std::string(value)};
    const Format format = readFormat(definition.format);
    bool lengthOk = std::cmp_greater_equal(value.size(), format.minTotal) &&
                    std::cmp_less_equal(value.size(), format.maxTotal);
    bool charactersOk = true;
    std::size_t at = 0;
    for (int i = 0; i < format.count; ++i) {
        const FormatPart& part = format.parts[i];
        const std::size_t left = value.size() - at;
        if (left == 0) {
            if (!part.optional)
                lengthOk = false;
            break;
        }
        if (part.min == part.max && std::cmp_less(left, part.max))
            lengthOk = false;
        const std::string_view piece = value.substr(at, static_cast<std::size_t>(part.max));
        for (const char c : piece) {
            if (part.set == 'N' && !isDigit(c)) {
                addProblem(field, gs1_problem::LetterForDigit);
                charactersOk = false;
            } else if ((part.set == 'X' && !inCset82(c)) || (part.set == 'Y' && !inCset39(c))) {
                addProblem(field, gs1_problem::CharacterNotAllowed);
                charactersOk = false;
            }
        }
        at += piece.size();
    }
    if (at < value.size())
        lengthOk = false;
    if (definition.date == AiDate::YYMMDDHHOptMMOptSS && value.size() % 2 != 0)
        lengthOk = false;
    if (!lengthOk)
        addProblem(field, gs1_problem::WrongLength);

    if (lengthOk && charactersOk) {
        switch (definition.check) {
        case AiCheck::Whole:
            field.check = checkDigitText(value);
            break;
        case AiCheck::First13:
            field.check = checkDigitText(value.substr(0, 13));
            break;
        case AiCheck::First14:
            field.check = checkDigitText(value.substr(0, 14));
            break;
        case AiCheck::AfterLeadingZero:
            field.check = checkDigitText(value.substr(1, 13));
            break;
        case AiCheck::None:
            break;
        }
        if (definition.date != AiDate::None)
            describeDate(field, definition.date, value, currentYear);
        const int decimals = aiDecimals(ai);
        if (decimals >= 0 && format.parts[0].max == 3 && format.count == 2)
            field.value =
                std::string(value.substr(0, 3)) + ' ' + withDecimals(value.substr(3), decimals);
        else if (decimals >= 0)
            field.value = withDecimals(value, decimals);
    }
    if (field.value.empty())
        field.value = visibleForm(value);
    return field;
}

Gs1Field unknownField(std::string_view ai, std::string_view value) {
    return Gs1Field{std::string(ai),
                    {},
                    visibleForm(value),
                    {},
                    {std::string(gs1_problem::UnknownIdentifier)},
                    std::string(value)};
}

bool isClean(const Gs1Field& field) {
    return field.problems.empty() && (field.check.empty() || field.check == "ok");
}

// Where the value of the element starting at `text` ends, and its identifier's length; the
// identifier length is 0 when `text` starts with no identifier of known length.
struct ElementExtent {
    std::size_t aiLength = 0;
    std::size_t valueEnd = 0;
};
ElementExtent extentOf(std::string_view text) {
    if (text.size() < 2 || !isDigit(text[0]) || !isDigit(text[1]))
        return {};
    const auto length = static_cast<std::size_t>(aiLength(text));
    if (length == 0 || text.size() < length || !allDigits(text.substr(0, length)))
        return {};
    const std::size_t gs = std::min(text.find(GS, length), text.size());
    const auto fixed = static_cast<std::size_t>(predefinedDataLength(text));
    return {length, fixed > 0 ? std::min(length + fixed, gs) : gs};
}

// Whether a known identifier with a faultless value starts `text`.
bool elementFits(std::string_view text, int currentYear) {
    const ElementExtent extent = extentOf(text);
    if (extent.aiLength == 0)
        return false;
    const std::string_view ai = text.substr(0, extent.aiLength);
    const AiDefinition* definition = findAi(ai);
    return definition &&
           isClean(describe(*definition, ai,
                            text.substr(extent.aiLength, extent.valueEnd - extent.aiLength),
                            currentYear));
}

} // namespace

int yearFromTwoDigits(int yy, int currentYear) {
    const int century = currentYear - currentYear % 100;
    const int difference = yy - currentYear % 100;
    if (difference >= 51)
        return century - 100 + yy;
    if (difference <= -50)
        return century + 100 + yy;
    return century + yy;
}

std::vector<Gs1Field> parseElementString(std::string_view data, int currentYear) {
    std::vector<Gs1Field> fields;
    std::size_t pos = 0;
    while (pos < data.size()) {
        if (data[pos] == GS) {
            ++pos;
            continue;
        }
        const std::string_view rest = data.substr(pos);
        const ElementExtent extent = extentOf(rest);
        if (extent.aiLength == 0) {
            if (rest.size() >= 2 && isDigit(rest[0]) && isDigit(rest[1]) && aiLength(rest) == 0) {
                // No identifier starts with these digits: its value has the prefix's
                // pre-defined length, or runs up to a GS.
                const auto fixed = static_cast<std::size_t>(predefinedDataLength(rest));
                std::size_t end = std::min(rest.find(GS), rest.size());
                if (fixed > 0)
                    end = std::min(end, 2 + fixed);
                fields.push_back(unknownField(rest.substr(0, 2), rest.substr(2, end - 2)));
                pos += end;
                continue;
            }
            fields.push_back(Gs1Field{
                {}, {}, visibleForm(rest), {}, {std::string(gs1_problem::NotAnIdentifier)}, {}});
            break;
        }
        const std::string_view ai = rest.substr(0, extent.aiLength);
        const AiDefinition* definition = findAi(ai);
        std::size_t valueEnd = extent.valueEnd;
        std::string missingGs;
        if (definition && !definition->predefinedLength) {
            // A faulty value may be two elements run together for want of a GS: find the
            // longest good value after which a good element follows.
            const std::string_view value = rest.substr(ai.size(), valueEnd - ai.size());
            if (!isClean(describe(*definition, ai, value, currentYear))) {
                const auto longest = std::min<std::size_t>(
                    value.size(),
                    static_cast<std::size_t>(readFormat(definition->format).maxTotal));
                for (std::size_t k = longest; k >= 1; --k) {
                    const std::string_view next = rest.substr(ai.size() + k);
                    if (k < value.size() && elementFits(next, currentYear) &&
                        isClean(describe(*definition, ai, value.substr(0, k), currentYear))) {
                        valueEnd = ai.size() + k;
                        missingGs = std::string(gs1_problem::NotEndedByGs) + " (" +
                                    std::string(next.substr(0, extentOf(next).aiLength)) + ')';
                        break;
                    }
                }
            }
        }
        const std::string_view value = rest.substr(ai.size(), valueEnd - ai.size());
        Gs1Field field =
            definition ? describe(*definition, ai, value, currentYear) : unknownField(ai, value);
        if (!missingGs.empty())
            field.problems.push_back(std::move(missingGs));
        fields.push_back(std::move(field));
        pos += valueEnd;
    }
    return fields;
}

namespace {

int hexValue(char c) {
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// `text` percent-decoded (and '+' as a space in a query); false on a bad or %00 escape.
bool percentDecode(std::string_view text, bool plusIsSpace, std::string& out) {
    out.clear();
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '+' && plusIsSpace) {
            out.push_back(' ');
        } else if (c == '%') {
            if (at + 2 >= text.size())
                return false;
            const int high = hexValue(text[at + 1]);
            const int low = hexValue(text[at + 2]);
            if (high < 0 || low < 0 || (high == 0 && low == 0))
                return false;
            out.push_back(static_cast<char>(high * 16 + low));
            at += 2;
        } else {
            out.push_back(c);
        }
    }
    return true;
}

constexpr std::string_view DomainForbidden = "_~?#@!$&'()*+,;=%";

// The scheme's length, or 0 without one: http:// or https://, all lower or all upper case.
std::size_t schemeLength(std::string_view text) {
    for (const std::string_view scheme : {"https://", "http://", "HTTPS://", "HTTP://"})
        if (text.starts_with(scheme))
            return scheme.size();
    return 0;
}

struct DlParts {
    std::vector<std::string_view> segments; // path segments after the domain
    std::size_t key = 0;                    // index of the key identifier among them
    std::string_view query;
};

std::optional<DlParts> splitDigitalLink(std::string_view text) {
    const std::size_t scheme = schemeLength(text);
    if (scheme == 0)
        return std::nullopt;
    std::string_view rest = text.substr(scheme);
    rest = rest.substr(0, rest.find('#'));
    DlParts parts;
    const std::size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        parts.query = rest.substr(question + 1);
        rest = rest.substr(0, question);
    }
    const std::size_t slash = rest.find('/');
    const std::string_view domain = rest.substr(0, slash);
    if (slash == std::string_view::npos || domain.empty() ||
        domain.find_first_of(DomainForbidden) != std::string_view::npos)
        return std::nullopt;
    std::string_view path = rest.substr(slash + 1);
    while (!path.empty()) {
        const std::size_t next = path.find('/');
        parts.segments.push_back(path.substr(0, next));
        path = next == std::string_view::npos ? std::string_view() : path.substr(next + 1);
    }
    // The key is the last /AI/value pair, counted from the end, whose AI is a key identifier.
    for (std::size_t end = parts.segments.size(); end >= 2; end -= 2) {
        const AiDefinition* definition = findAi(parts.segments[end - 2]);
        if (definition && definition->dl == DlRole::Key) {
            parts.key = end - 2;
            return parts;
        }
    }
    return std::nullopt;
}

// Whether `ai` may qualify `key` at all.
bool qualifies(std::string_view key, std::string_view ai) {
    for (const DlQualifierOrder& order : dlQualifierOrders())
        if (order.key == key &&
            std::ranges::find(order.qualifiers, ai) != std::end(order.qualifiers))
            return true;
    return false;
}

// Marks qualifiers that do not belong to `key` or come out of its order. A key with two
// orders (01: 22, 10, 21 or 235 alone) is judged by the order that holds most of them.
void checkQualifiers(std::string_view key, std::span<Gs1Field> qualifiers) {
    const auto indexIn = [](const DlQualifierOrder& order, std::string_view ai) {
        for (int i = 0; i < 3; ++i)
            if (!order.qualifiers[i].empty() && order.qualifiers[i] == ai)
                return i;
        return -1;
    };
    const DlQualifierOrder* best = nullptr;
    long bestCount = -1;
    for (const DlQualifierOrder& order : dlQualifierOrders()) {
        if (order.key != key)
            continue;
        const long count = std::ranges::count_if(
            qualifiers, [&](const Gs1Field& field) { return indexIn(order, field.ai) >= 0; });
        if (count > bestCount) {
            best = &order;
            bestCount = count;
        }
    }
    int reached = -1;
    for (Gs1Field& field : qualifiers) {
        const int index = best ? indexIn(*best, field.ai) : -1;
        if (index < 0)
            addProblem(field, gs1_problem::NotAQualifier);
        else if (index <= reached)
            addProblem(field, gs1_problem::QualifierOrder);
        else
            reached = index;
    }
}

Gs1Field dlField(std::string_view ai, std::string_view encoded, bool query, int currentYear) {
    if (ai.empty() || !allDigits(ai))
        return Gs1Field{{},
                        {},
                        visibleForm(ai) + '/' + visibleForm(encoded),
                        {},
                        {std::string(gs1_problem::NotAnIdentifier)},
                        {}};
    std::string value;
    const bool decoded = percentDecode(encoded, query, value);
    if (!decoded)
        value = encoded;
    const AiDefinition* definition = findAi(ai);
    Gs1Field field =
        definition ? describe(*definition, ai, value, currentYear) : unknownField(ai, value);
    if (!decoded)
        addProblem(field, gs1_problem::BadPercentEncoding);
    return field;
}

} // namespace

std::optional<std::vector<Gs1Field>> parseDigitalLink(std::string_view text, int currentYear) {
    const auto parts = splitDigitalLink(text);
    if (!parts)
        return std::nullopt;
    std::vector<Gs1Field> fields;
    const std::string_view key = parts->segments[parts->key];
    for (std::size_t at = parts->key; at + 1 < parts->segments.size(); at += 2)
        fields.push_back(dlField(parts->segments[at], parts->segments[at + 1], false, currentYear));
    checkQualifiers(key, std::span(fields).subspan(1));

    std::string_view query = parts->query;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view parameter = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string_view name = parameter.substr(0, equals);
        // Names that are not numbers (linkType and the like) are no AI data.
        if (name.empty() || !allDigits(name))
            continue;
        Gs1Field field = dlField(name, parameter.substr(equals + 1), true, currentYear);
        const AiDefinition* definition = findAi(name);
        if (definition) {
            if (qualifies(key, name))
                addProblem(field, gs1_problem::BelongsInPath);
            else if (definition->dl != DlRole::Attribute)
                addProblem(field, gs1_problem::NotAnAttribute);
        }
        if (std::ranges::any_of(fields, [&](const Gs1Field& other) { return other.ai == name; }))
            addProblem(field, gs1_problem::Repeated);
        fields.push_back(std::move(field));
    }
    return fields;
}

std::string gs1Summary(const std::vector<Gs1Field>& fields) {
    std::string text;
    for (const Gs1Field& field : fields) {
        if (!text.empty())
            text += "; ";
        if (!field.ai.empty())
            text += '(' + field.ai + ") ";
        if (!field.title.empty())
            text += field.title + ' ';
        text += field.value;
        if (!field.check.empty())
            text += ' ' + field.check;
        if (!field.problems.empty()) {
            text += " [";
            for (std::size_t i = 0; i < field.problems.size(); ++i)
                text += (i ? ", " : "") + field.problems[i];
            text += ']';
        }
    }
    return text;
}

} // namespace scan_log
