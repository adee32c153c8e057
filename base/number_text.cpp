#include "base/number_text.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace base {

QString decimalText(qint64 n) {
    if (n < 0)
        return QString::number(n);
    return QLatin1Char(' ') + QString::number(n);
}

namespace {

bool isDecimalDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int digitValue(QChar c, int base) {
    const char16_t u = c.unicode();
    int value = base;
    if (u >= u'0' && u <= u'9')
        value = u - u'0';
    else if (u >= u'a' && u <= u'f')
        value = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        value = u - u'A' + 10;
    return value < base ? value : -1;
}

QString withoutBlanks(const QString& text) {
    QString kept;
    kept.reserve(text.size());
    for (QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            kept.append(c);
    }
    return kept;
}

// Digits after "&H" or "&O", as a 16-bit or 32-bit two's-complement number by the size of the
// value, so that the familiar 16-bit spellings such as &HFFFF for -1 keep their meaning.
Result<double, NumberOverflow> readRadix(const QString& text, int base) {
    qsizetype end = 2;
    while (end < text.size() && digitValue(text[end], base) >= 0)
        ++end;

    quint64 value = 0;
    for (qsizetype i = 2; i < end; ++i) {
        value = value * base + digitValue(text[i], base);
        if (value > 0xFFFFFFFFu)
            return Failed{NumberOverflow{NumberOverflow::Kind::Radix, text.left(end)}};
    }
    if (value <= 0xFFFFu)
        return value >= 0x8000u ? double(qint64(value) - 0x10000) : double(value);
    return value >= 0x80000000u ? double(qint64(value) - 0x100000000) : double(value);
}

// Decimal exponent of the leading digit, roughly; only used to tell a value too large for a
// double from one too small, which lie hundreds of powers of ten apart.
qint64 magnitude(QStringView intDigits, QStringView fracDigits, qint64 exponent) {
    for (qsizetype i = 0; i < intDigits.size(); ++i) {
        if (intDigits[i] != QLatin1Char('0'))
            return (intDigits.size() - i) + exponent;
    }
    for (qsizetype i = 0; i < fracDigits.size(); ++i) {
        if (fracDigits[i] != QLatin1Char('0'))
            return -i + exponent;
    }
    return exponent;
}

} // namespace

namespace {

// The longest leading decimal number: sign, the digits before and after the point, and the
// exponent when digits follow the E and its sign; `end` is where it stops.
struct DecimalSpan {
    bool negative = false;
    QStringView intDigits, fracDigits, expDigits;
    bool expNegative = false;
    qsizetype end = 0;
};

// A sign at `pos`, stepped over; true for a minus.
bool readSign(const QString& text, qsizetype& pos) {
    if (pos >= text.size() || (text[pos] != QLatin1Char('+') && text[pos] != QLatin1Char('-')))
        return false;
    return text[pos++] == QLatin1Char('-');
}

QStringView readDigits(const QString& text, qsizetype& pos) {
    const qsizetype start = pos;
    while (pos < text.size() && isDecimalDigit(text[pos]))
        ++pos;
    return QStringView(text).mid(start, pos - start);
}

// The span, or nullopt when there are no digits before or after the point.
std::optional<DecimalSpan> decimalSpan(const QString& text) {
    DecimalSpan span;
    qsizetype pos = 0;
    span.negative = readSign(text, pos);
    span.intDigits = readDigits(text, pos);
    if (pos < text.size() && text[pos] == QLatin1Char('.')) {
        qsizetype fracEnd = pos + 1;
        span.fracDigits = readDigits(text, fracEnd);
        if (!span.intDigits.isEmpty() || !span.fracDigits.isEmpty())
            pos = fracEnd;
    }
    if (span.intDigits.isEmpty() && span.fracDigits.isEmpty())
        return std::nullopt;
    if (pos < text.size() && (text[pos] == QLatin1Char('E') || text[pos] == QLatin1Char('e'))) {
        qsizetype expPos = pos + 1;
        const bool expNegative = readSign(text, expPos);
        const QStringView expDigits = readDigits(text, expPos);
        if (!expDigits.isEmpty()) {
            span.expNegative = expNegative;
            span.expDigits = expDigits;
            pos = expPos;
        }
    }
    span.end = pos;
    return span;
}

// The span's value; too large for a double is an overflow, too small is zero.
Result<double, NumberOverflow> valueOf(const DecimalSpan& span, const QString& text) {
    // Everything in the span is ASCII; from_chars reads it the same in every locale.
    std::string ascii = span.intDigits.isEmpty() ? "0" : span.intDigits.toLatin1().toStdString();
    ascii += '.';
    ascii += span.fracDigits.toLatin1().toStdString();
    if (!span.expDigits.isEmpty()) {
        ascii += span.expNegative ? "e-" : "e";
        ascii += span.expDigits.toLatin1().toStdString();
    }

    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    Q_UNUSED(end);
    if (error == std::errc::result_out_of_range) {
        qint64 exponent = 0;
        for (QChar c : span.expDigits)
            exponent = std::min<qint64>(exponent * 10 + (c.unicode() - u'0'), 1'000'000'000);
        if (magnitude(span.intDigits, span.fracDigits, span.expNegative ? -exponent : exponent) > 0)
            return Failed{NumberOverflow{NumberOverflow::Kind::Double, text.left(span.end)}};
        value = 0;
    }
    return span.negative ? -value : value;
}

} // namespace

Result<double, NumberOverflow> readNumber(const QString& original) {
    const QString text = withoutBlanks(original);
    if (text.size() >= 2 && text[0] == QLatin1Char('&')) {
        const QChar prefix = text[1].toUpper();
        if (prefix == QLatin1Char('H'))
            return readRadix(text, 16);
        if (prefix == QLatin1Char('O'))
            return readRadix(text, 8);
        return 0.0;
    }
    const std::optional<DecimalSpan> span = decimalSpan(text);
    if (!span)
        return 0.0;
    return valueOf(*span, text);
}

Result<qint16, NumberOverflow> toInt16(double value) {
    if (!std::isfinite(value))
        return Failed{NumberOverflow{NumberOverflow::Kind::Finite, {}}};

    const double below = std::floor(value);
    const double fraction = value - below;
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0.0))
        rounded = below + 1;

    if (rounded < -32768.0 || rounded > 32767.0)
        return Failed{NumberOverflow{NumberOverflow::Kind::Int16,
                                     QString::number(value, 'g', QLocale::FloatingPointShortest)}};
    return static_cast<qint16>(rounded);
}

} // namespace base
