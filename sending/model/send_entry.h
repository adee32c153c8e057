#pragma once

#include "base/result.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace sending {

// How an entry is read.
enum class SendAs {
    // Characters as they are (U+0000 to U+00FF, one byte each), with \r, \n, \t, \\ and \xHH
    // (a backslash before anything else stands for itself), and the Scan Log's visible names:
    // <CR>, <GS> and the other control characters, <e9> for a byte, << for "<". So what the Scan
    // Log shows of a scan sends the scan's bytes, unless the scan holds one of the escapes.
    Text,
    // Pairs of hexadecimal digits, blanks between them allowed: "16 54 0d".
    Hex,
};

// Why an entry cannot be sent, and where (the index of the character in the entry).
struct EntryError {
    enum class Kind {
        Empty,         // nothing to send
        BadHexEscape,  // \x not followed by two hexadecimal digits
        UnclosedName,  // "<" with no ">" after a name (a lone "<" is written "<<")
        UnknownName,   // <NAME> that is no control character's name nor a byte like <e9>
        BeyondOneByte, // a character above U+00FF
        NotHexDigit,   // in hexadecimal: a character that is neither a digit nor a blank
        LoneHexDigit,  // in hexadecimal: a digit without its pair
    };
    Kind kind;
    qsizetype position = 0;
    // The text at fault: the escape, the name, the character.
    QString found;
};

base::Result<QByteArray, EntryError> parseEntry(QStringView entry, SendAs as);

} // namespace sending
