#include "sending/model/saved_commands.h"

#include <QStringList>

#include <optional>

namespace sending {

namespace {

// Line breaks would end the line the name stands on.
QString oneLine(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

QByteArray formatCommands(const QList<SavedCommand>& commands) {
    QString text;
    for (const SavedCommand& command : commands) {
        text += QLatin1Char('[') + oneLine(command.name) + QStringLiteral("]\n");
        text +=
            command.as == SendAs::Hex ? QStringLiteral("as=hex\n") : QStringLiteral("as=text\n");
        text += QStringLiteral("entry=") + oneLine(command.entry) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

ParsedCommands parseCommands(const QByteArray& text) {
    ParsedCommands parsed;
    std::optional<SavedCommand> current;
    bool hasEntry = false;
    const auto finish = [&] {
        if (current && hasEntry)
            parsed.commands = withCommand(parsed.commands, *current);
        else if (current)
            ++parsed.badLines;
        current.reset();
        hasEntry = false;
    };
    for (QString line : QString::fromUtf8(text).split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']')) &&
            line.size() > 2) {
            finish();
            current = SavedCommand{oneLine(line.mid(1, line.size() - 2)), SendAs::Text, {}};
        } else if (current && line == QStringLiteral("as=hex")) {
            current->as = SendAs::Hex;
        } else if (current && line == QStringLiteral("as=text")) {
            current->as = SendAs::Text;
        } else if (current && line.startsWith(QStringLiteral("entry="))) {
            current->entry = oneLine(line.mid(6));
            hasEntry = true;
        } else {
            ++parsed.badLines;
        }
    }
    finish();
    return parsed;
}

QList<SavedCommand> withCommand(QList<SavedCommand> commands, const SavedCommand& command) {
    for (SavedCommand& kept : commands)
        if (kept.name == command.name) {
            kept = command;
            return commands;
        }
    commands.append(command);
    return commands;
}

} // namespace sending
