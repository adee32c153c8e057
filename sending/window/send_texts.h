#pragma once

#include "base/regular_file.h"
#include "sending/model/send_entry.h"

#include <QByteArray>
#include <QString>

namespace sending {

// The Send window's sentences.

// Why the entry cannot be sent, with where ("At character 3: ..."), shown beside the field.
QString entryErrorText(const EntryError& error, SendAs as);
// "Sent 3 bytes: <SYN>T<CR>" in the Scan Log's visible form, cut to a line.
QString sentText(const QByteArray& bytes);
QString repeatStoppedText();
QString fileProgressText(qint64 sent, qint64 total);
QString fileSentText(const QString& name, qint64 total);
QString fileCancelledText(qint64 sent, qint64 total);
QString fileStoppedText(qint64 sent, qint64 total, const QString& why);
QString fileUnreadableText(const QString& path, const base::FileProblem& problem);
QString replyText(const QString& why);
QString commandsFileText(const QString& path, const base::FileProblem& problem, bool writing);
QString commandNamePrompt();
QString commandNameTitle();
QString sendFileCaption();
QString sendWindowTitle();

} // namespace sending
