#include "ui/number_text.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <string>

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

    const qsizetype size = text.size();
    qsizetype pos = 0;
    bool negative = false;
    if (pos < size && (text[pos] == QLatin1Char('+') || text[pos] == QLatin1Char('-'))) {
        negative = text[pos] == QLatin1Char('-');
        ++pos;
    }

    const qsizetype intStart = pos;
    while (pos < size && isDecimalDigit(text[pos]))
        ++pos;
    const QStringView intDigits = QStringView(text).mid(intStart, pos - intStart);

    QStringView fracDigits;
    if (pos < size && text[pos] == QLatin1Char('.')) {
        const qsizetype fracStart = pos + 1;
        qsizetype fracEnd = fracStart;
        while (fracEnd < size && isDecimalDigit(text[fracEnd]))
            ++fracEnd;
        fracDigits = QStringView(text).mid(fracStart, fracEnd - fracStart);
        if (!intDigits.isEmpty() || !fracDigits.isEmpty())
            pos = fracEnd;
    }
    if (intDigits.isEmpty() && fracDigits.isEmpty())
        return 0;

    // The exponent belongs to the number only when digits follow the E and its sign.
    QStringView expDigits;
    bool expNegative = false;
    if (pos < size && (text[pos] == QLatin1Char('E') || text[pos] == QLatin1Char('e'))) {
        qsizetype expPos = pos + 1;
        if (expPos < size &&
            (text[expPos] == QLatin1Char('+') || text[expPos] == QLatin1Char('-'))) {
            expNegative = text[expPos] == QLatin1Char('-');
            ++expPos;
        }
        const qsizetype expStart = expPos;
        while (expPos < size && isDecimalDigit(text[expPos]))
            ++expPos;
        if (expPos > expStart) {
            expDigits = QStringView(text).mid(expStart, expPos - expStart);
            pos = expPos;
        }
    }

    // Everything in the span is ASCII by now; from_chars reads it the same in every locale.
    std::string ascii;
    ascii.reserve(intDigits.size() + fracDigits.size() + expDigits.size() + 4);
    ascii += intDigits.toLatin1().toStdString();
    ascii += '.';
    ascii += fracDigits.toLatin1().toStdString();
    if (!expDigits.isEmpty()) {
        ascii += expNegative ? "e-" : "e";
        ascii += expDigits.toLatin1().toStdString();
    }
    if (intDigits.isEmpty())
        ascii.insert(ascii.begin(), '0');

    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    Q_UNUSED(end);
    if (error == std::errc::result_out_of_range) {
        qint64 exponent = 0;
        for (QChar c : expDigits)
            exponent = std::min<qint64>(exponent * 10 + (c.unicode() - u'0'), 1'000'000'000);
        if (magnitude(intDigits, fracDigits, expNegative ? -exponent : exponent) > 0)
            return Failed{NumberOverflow{NumberOverflow::Kind::Double, text.left(pos)}};
        value = 0;
    }
    return negative ? -value : value;
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
