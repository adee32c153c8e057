#include "serial_comm/discovery/com_table_file.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtDebug>

namespace serial_comm {

QString ComTableFile::defaultFolder() {
    // The generic location plus a fixed name, so that the folder does not depend on the
    // application and organisation names being set before the table is first used.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/linnet-test");
}

ComTableFile::ComTableFile(QString folder) : folder_(std::move(folder)) {}

QString ComTableFile::path() const {
    return folder_ + QStringLiteral("/com-numbers");
}

void ComTableFile::warnOnce(bool& said, const QString& text) {
    if (said)
        return;
    said = true;
    qWarning().noquote() << QStringLiteral("linnet-test: ") + text;
}

QList<ComEntry> ComTableFile::load() {
    QFile file(path());
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly)) {
        warnOnce(saidRead_, QStringLiteral("cannot read the table of COM numbers %1 (%2); "
                                           "devices get new numbers and the file is written "
                                           "afresh")
                                .arg(path(), file.errorString()));
        return {};
    }
    const ParsedComTable parsed = parseComTable(file.readAll());
    if (parsed.badLines > 0)
        warnOnce(saidRead_, QStringLiteral("the table of COM numbers %1 is damaged: %2 line(s) "
                                           "left out; the file is written afresh")
                                .arg(path())
                                .arg(parsed.badLines));
    return parsed.entries;
}

bool ComTableFile::save(const QList<ComEntry>& entries) {
    QString reason;
    if (!QDir().mkpath(folder_)) {
        reason = QStringLiteral("cannot make the folder");
    } else {
        QSaveFile file(path());
        if (file.open(QIODevice::WriteOnly) && file.write(formatComTable(entries)) >= 0 &&
            file.commit())
            return true;
        reason = file.errorString();
    }
    warnOnce(saidWrite_, QStringLiteral("cannot write the table of COM numbers %1 (%2); the "
                                        "numbers hold for this run only")
                             .arg(path(), reason));
    return false;
}

} // namespace serial_comm
