#include "sending/window/send_texts.h"

#include "base/outside_text.h"
#include "scan_log/model/visible_bytes.h"

#include <QLocale>

namespace sending {

namespace {

QString shown(const QString& path) {
    return base::outside_text::visible(path);
}

QString count(qint64 n) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

QString bytesText(qint64 n) {
    return n == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(count(n));
}

// What the problem of a file means, in the system's words where it gave any.
QString problemText(const base::FileProblem& problem) {
    switch (problem.kind) {
    case base::FileProblem::Kind::NotRegular:
        return QStringLiteral("it is not a regular file (a link, a pipe or a device), so it is "
                              "left alone");
    case base::FileProblem::Kind::TooLarge:
        return QStringLiteral("it is too large");
    case base::FileProblem::Kind::Unreadable:
    case base::FileProblem::Kind::Unwritable:
        return problem.reason;
    }
    return problem.reason;
}

} // namespace

QString entryErrorText(const EntryError& error, SendAs as) {
    const QString where = QStringLiteral("At character %1: ").arg(error.position + 1);
    // The person's own entry, shown as typed.
    const QString& found = error.found;
    switch (error.kind) {
    case EntryError::Kind::Empty:
        return as == SendAs::Hex ? QStringLiteral("Nothing to send: type pairs of hexadecimal "
                                                  "digits, such as 16 54 0d.")
                                 : QStringLiteral("Nothing to send: type the text to send.");
    case EntryError::Kind::BadHexEscape:
        return where +
               QStringLiteral("%1: \\x takes two hexadecimal digits, as in \\x0d.").arg(found);
    case EntryError::Kind::UnclosedName:
        return where + QStringLiteral("\"<\" starts a name such as <CR> that is not closed. "
                                      "Write << for the character \"<\" itself.");
    case EntryError::Kind::UnknownName:
        return where + QStringLiteral("%1 is no name the program knows. Use a control "
                                      "character's name such as <CR>, <SYN> or <GS>, two "
                                      "lower-case hexadecimal digits for a byte from 80h, such "
                                      "as <e9>, or << for \"<\".")
                           .arg(found);
    case EntryError::Kind::BeyondOneByte:
        return where + QStringLiteral("%1 (U+%2) cannot be sent: each character goes out as "
                                      "one byte, so only U+0000 to U+00FF can. Write other "
                                      "bytes as \\xHH.")
                           .arg(found, QStringLiteral("%1")
                                           .arg(error.found.toUcs4().value(0), 4, 16, QChar(u'0'))
                                           .toUpper());
    case EntryError::Kind::NotHexDigit:
        return where + QStringLiteral("%1 is not a hexadecimal digit. Type pairs of digits 0-9 "
                                      "and a-f, blanks between them allowed: 16 54 0d.")
                           .arg(found);
    case EntryError::Kind::LoneHexDigit:
        return where +
               QStringLiteral("%1 has no second digit. Every byte takes two, as in 05.").arg(found);
    }
    return {};
}

QString sentText(const QByteArray& bytes) {
    constexpr qsizetype Shown = 200;
    std::string form = scan_log::visibleForm(
        std::string_view(bytes.constData(), std::size_t(std::min(bytes.size(), Shown))));
    if (bytes.size() > Shown)
        form += "...";
    return QStringLiteral("Sent %1: %2").arg(bytesText(bytes.size()), QString::fromStdString(form));
}

QString repeatStoppedText() {
    return QStringLiteral("Repeat stopped: the port is closed.");
}

QString fileProgressText(qint64 sent, qint64 total) {
    return QStringLiteral("Sending the file: %1 of %2.").arg(count(sent), bytesText(total));
}

QString fileSentText(const QString& name, qint64 total) {
    return QStringLiteral("Sent %1 from %2.").arg(bytesText(total), shown(name));
}

QString fileCancelledText(qint64 sent, qint64 total) {
    return QStringLiteral("Cancelled after %1 of %2.").arg(count(sent), bytesText(total));
}

QString fileStoppedText(qint64 sent, qint64 total, const QString& why) {
    return QStringLiteral("Stopped after %1 of %2: %3").arg(count(sent), bytesText(total), why);
}

QString fileUnreadableText(const QString& path, const base::FileProblem& problem) {
    return QStringLiteral("Cannot send %1: %2.").arg(shown(path), problemText(problem));
}

QString replyText(const QString& why) {
    return QStringLiteral("No reply sent: %1").arg(why);
}

QString commandsFileText(const QString& path, const base::FileProblem& problem, bool writing) {
    return (writing ? QStringLiteral("The saved commands could not be written to %1: %2. They "
                                     "are kept until the program ends.")
                    : QStringLiteral("The saved commands in %1 could not be read: %2."))
        .arg(shown(path), problemText(problem));
}

QString commandNamePrompt() {
    return QStringLiteral("Name of the command:");
}

QString commandNameTitle() {
    return QStringLiteral("Save Command");
}

QString sendFileCaption() {
    return QStringLiteral("Send File");
}

QString sendWindowTitle() {
    return QStringLiteral("Send");
}

} // namespace sending
