#pragma once

#include "sending/model/send_entry.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace sending {

// A command the person keeps between runs: a scanner's trigger, a configuration code.
struct SavedCommand {
    QString name;
    SendAs as = SendAs::Text;
    QString entry;

    bool operator==(const SavedCommand&) const = default;
};

// The commands file: UTF-8, one section a command,
//
//   [Trigger]
//   as=text
//   entry=<SYN>T<CR>
//
// in the order the person saved them. A name is one line; a later command of the same name
// replaces the earlier.
QByteArray formatCommands(const QList<SavedCommand>& commands);

struct ParsedCommands {
    QList<SavedCommand> commands;
    int badLines = 0; // lines that are none of the above, skipped
};
ParsedCommands parseCommands(const QByteArray& text);

// `commands` with `command` added, or put in place of the one of its name.
QList<SavedCommand> withCommand(QList<SavedCommand> commands, const SavedCommand& command);

} // namespace sending
