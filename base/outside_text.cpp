#include "base/outside_text.h"

namespace base {

namespace outside_text {

namespace {

// Characters that show nothing themselves but change what stands around them: control
// characters, format characters (bidirectional controls, zero-width joiners and spaces, the
// byte-order mark), line and paragraph separators, and halves of surrogate pairs that have no
// partner.
bool hides(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0))
        return true;
    switch (QChar::category(c)) {
    case QChar::Other_Format:
    case QChar::Other_Control:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

void appendEscape(QString& out, char32_t c) {
    switch (c) {
    case U'\n':
        out += QStringLiteral("\\n");
        return;
    case U'\r':
        out += QStringLiteral("\\r");
        return;
    case U'\t':
        out += QStringLiteral("\\t");
        return;
    default:
        break;
    }
    if (c < 0x100)
        out += QStringLiteral("\\x") + QString::number(c, 16).toUpper().rightJustified(2, u'0');
    else if (c < 0x10000)
        out += QStringLiteral("\\u") + QString::number(c, 16).toUpper().rightJustified(4, u'0');
    else
        out += QStringLiteral("\\U") + QString::number(c, 16).toUpper().rightJustified(8, u'0');
}

void appendVisible(QString& out, char32_t c) {
    if (c == U'\\')
        out += QStringLiteral("\\\\");
    else if (hides(c))
        appendEscape(out, c);
    else
        out += QString::fromUcs4(&c, 1);
}

} // namespace

QString visible(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text.at(i);
        char32_t c = unit.unicode();
        if (unit.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(unit, text.at(i + 1));
            ++i;
        }
        appendVisible(out, c);
    }
    return out;
}

QString visible(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes.at(i));
        const qsizetype length = lead < 0x80             ? 1
                                 : (lead & 0xE0) == 0xC0 ? 2
                                 : (lead & 0xF0) == 0xE0 ? 3
                                 : (lead & 0xF8) == 0xF0 ? 4
                                                         : 0;
        bool valid = length > 0 && i + length <= bytes.size();
        for (qsizetype k = 1; valid && k < length; ++k)
            valid = (static_cast<unsigned char>(bytes.at(i + k)) & 0xC0) == 0x80;
        if (valid) {
            // The decoder turns what UTF-8 forbids (overlong forms, surrogates) into U+FFFD;
            // only an encoded U+FFFD itself may come out as one.
            const QByteArrayView sequence = QByteArrayView(bytes).sliced(i, length);
            const QString character = QString::fromUtf8(sequence);
            if (!character.contains(QChar::ReplacementCharacter) || sequence == "\xEF\xBF\xBD") {
                out += visible(character);
                i += length;
                continue;
            }
        }
        appendEscape(out, lead);
        ++i;
    }
    return out;
}

QString fromVisible(const QString& shown) {
    QString out;
    out.reserve(shown.size());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QChar c = shown.at(i);
        if (c != u'\\' || i + 1 >= shown.size()) {
            out += c;
            continue;
        }
        const QChar kind = shown.at(i + 1);
        const qsizetype digits = kind == u'x' ? 2 : kind == u'u' ? 4 : kind == u'U' ? 8 : 0;
        bool ok = false;
        const uint code = digits > 0 ? shown.mid(i + 2, digits).toUInt(&ok, 16) : 0;
        if (kind == u'\\' || kind == u'n' || kind == u'r' || kind == u't') {
            out += kind == u'n' ? u'\n' : kind == u'r' ? u'\r' : kind == u't' ? u'\t' : u'\\';
            ++i;
        } else if (ok && i + 2 + digits <= shown.size() && code <= 0x10FFFF) {
            const auto character = static_cast<char32_t>(code);
            out += QString::fromUcs4(&character, 1);
            i += 1 + digits;
        } else {
            out += c; // a backslash that escapes nothing stands for itself
        }
    }
    return out;
}

QString toolTip(const QString& plain) {
    // A paragraph tag makes Qt take the tip as rich text without guessing; pre-wrap keeps the
    // text's own spaces and line breaks.
    return QStringLiteral("<p style='white-space:pre-wrap'>") + plain.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace outside_text

} // namespace base
