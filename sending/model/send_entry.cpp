#include "sending/model/send_entry.h"

#include "scan_log/model/visible_bytes.h"

#include <optional>
#include <string>

namespace sending {

namespace {

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

base::Failed<EntryError> fail(EntryError::Kind kind, qsizetype position, QStringView found) {
    return base::Failed{EntryError{kind, position, found.toString()}};
}

// How far a ">" may stand from its "<" and still close a name, known or not: "<NAME>" is an
// unknown name, "a < b ... >" a "<" left unclosed.
constexpr qsizetype LongestName = 16;

base::Result<QByteArray, EntryError> parseText(QStringView entry) {
    QByteArray bytes;
    bytes.reserve(entry.size());
    qsizetype at = 0;
    while (at < entry.size()) {
        const QChar c = entry[at];
        if (c == u'\\') {
            const QChar next = at + 1 < entry.size() ? entry[at + 1] : QChar();
            switch (next.unicode()) {
            case 'r':
                bytes.append('\r');
                break;
            case 'n':
                bytes.append('\n');
                break;
            case 't':
                bytes.append('\t');
                break;
            case '\\':
                bytes.append('\\');
                break;
            case 'x': {
                const int high = at + 2 < entry.size() ? hexValue(entry[at + 2]) : -1;
                const int low = at + 3 < entry.size() ? hexValue(entry[at + 3]) : -1;
                if (high < 0 || low < 0)
                    return fail(EntryError::Kind::BadHexEscape, at,
                                entry.mid(at, std::min<qsizetype>(4, entry.size() - at)));
                bytes.append(static_cast<char>(high * 16 + low));
                at += 4;
                continue;
            }
            default:
                // A backslash that escapes nothing stands for itself, as the Scan Log shows one.
                bytes.append('\\');
                ++at;
                continue;
            }
            at += 2;
            continue;
        }
        if (c == u'<') {
            if (at + 1 < entry.size() && entry[at + 1] == u'<') {
                bytes.append('<');
                at += 2;
                continue;
            }
            const qsizetype close = entry.indexOf(u'>', at + 1);
            if (close < 0 || close - at - 1 > LongestName || close == at + 1)
                return fail(EntryError::Kind::UnclosedName, at, entry.mid(at, 1));
            const QStringView name = entry.mid(at, close - at + 1);
            const QByteArray ascii = name.toLatin1();
            // Characters beyond ASCII read as no name.
            const std::optional<std::string> byte =
                scan_log::bytesOfVisibleForm(std::string_view(ascii.constData(), ascii.size()));
            if (!byte || byte->size() != 1)
                return fail(EntryError::Kind::UnknownName, at, name);
            bytes.append(byte->front());
            at = close + 1;
            continue;
        }
        if (c.unicode() > 0xFF)
            return fail(EntryError::Kind::BeyondOneByte, at,
                        c.isHighSurrogate() && at + 1 < entry.size() ? entry.mid(at, 2)
                                                                     : entry.mid(at, 1));
        bytes.append(static_cast<char>(c.unicode()));
        ++at;
    }
    return bytes;
}

base::Result<QByteArray, EntryError> parseHex(QStringView entry) {
    QByteArray bytes;
    bytes.reserve(entry.size() / 2);
    qsizetype at = 0;
    while (at < entry.size()) {
        const QChar c = entry[at];
        if (c == u' ' || c == u'\t') {
            ++at;
            continue;
        }
        const int high = hexValue(c);
        if (high < 0)
            return fail(EntryError::Kind::NotHexDigit, at, entry.mid(at, 1));
        if (at + 1 >= entry.size() || hexValue(entry[at + 1]) < 0) {
            if (at + 1 < entry.size() && entry[at + 1] != u' ' && entry[at + 1] != u'\t')
                return fail(EntryError::Kind::NotHexDigit, at + 1, entry.mid(at + 1, 1));
            return fail(EntryError::Kind::LoneHexDigit, at, entry.mid(at, 1));
        }
        bytes.append(static_cast<char>(high * 16 + hexValue(entry[at + 1])));
        at += 2;
    }
    return bytes;
}

} // namespace

base::Result<QByteArray, EntryError> parseEntry(QStringView entry, SendAs as) {
    auto parsed = as == SendAs::Text ? parseText(entry) : parseHex(entry);
    if (parsed.ok() && parsed.value().isEmpty())
        return fail(EntryError::Kind::Empty, 0, {});
    return parsed;
}

} // namespace sending
