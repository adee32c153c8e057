#include "devices/com_table.h"

#include "base/outside_text.h"

#include "devices/serial_device.h"

#include <algorithm>

namespace devices {

int ComTable::onBoardNumber(const QString& node) {
    const int index = onBoardIndexOfNode(node);
    return index >= 0 && index < lastNumber ? index + 1 : 0;
}

int ComTable::assign(const QString& identity, qint64 now, const QSet<int>& reserved,
                     const QSet<QString>& present) {
    const auto own = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const ComEntry& e) { return e.identity == identity; });
    if (own != entries_.end()) {
        if (!reserved.contains(own->number)) {
            own->lastSeen = now;
            return own->number;
        }
        // An on-board UART that appeared since holds this number now: find another.
        entries_.erase(own);
    }

    QSet<int> taken = reserved;
    for (const ComEntry& e : std::as_const(entries_))
        taken.insert(e.number);
    for (int number = firstFreeNumber; number <= lastNumber; ++number) {
        if (!taken.contains(number)) {
            entries_.append({identity, number, now});
            return number;
        }
    }

    // All numbers held: the device unseen the longest gives its number up (ties: the lower
    // number first, so the outcome does not depend on the table's order).
    auto oldest = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (present.contains(it->identity) || reserved.contains(it->number))
            continue;
        if (oldest == entries_.end() || it->lastSeen < oldest->lastSeen ||
            (it->lastSeen == oldest->lastSeen && it->number < oldest->number))
            oldest = it;
    }
    if (oldest == entries_.end())
        return 0;
    *oldest = {identity, oldest->number, now};
    return oldest->number;
}

bool ComTable::touch(const QString& identity, qint64 now) {
    for (ComEntry& e : entries_) {
        if (e.identity == identity) {
            e.lastSeen = now;
            return true;
        }
    }
    return false;
}

int ComTable::numberOf(const QString& identity) const {
    for (const ComEntry& e : entries_)
        if (e.identity == identity)
            return e.number;
    return 0;
}

QString ComTable::identityOf(int number) const {
    for (const ComEntry& e : entries_)
        if (e.number == number)
            return e.identity;
    return {};
}

ParsedComTable parseComTable(const QByteArray& text) {
    ParsedComTable result;
    QSet<int> numbers;
    QSet<QString> identities;
    for (const QByteArray& rawLine : text.split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        // "<number> <last seen> <identity>": the identity is the rest of the line, blanks and all.
        const qsizetype first = line.indexOf(' ');
        const qsizetype second = first < 0 ? -1 : line.indexOf(' ', first + 1);
        bool numberOk = false;
        bool timeOk = false;
        const int number = second < 0 ? 0 : line.left(first).toInt(&numberOk);
        const qint64 lastSeen =
            second < 0 ? 0 : line.mid(first + 1, second - first - 1).toLongLong(&timeOk);
        // Written visibly (a serial number with ESC, BEL or a direction override would otherwise
        // run in a terminal that shows the file); a file written raw reads the same.
        const QString identity = second < 0
                                     ? QString()
                                     : base::outside_text::fromVisible(
                                           QString::fromUtf8(line.mid(second + 1)).trimmed());
        if (!numberOk || !timeOk || identity.isEmpty() || number < ComTable::firstFreeNumber ||
            number > ComTable::lastNumber || numbers.contains(number) ||
            identities.contains(identity)) {
            ++result.badLines;
            continue;
        }
        numbers.insert(number);
        identities.insert(identity);
        result.entries.append({identity, number, lastSeen});
    }
    return result;
}

QByteArray formatComTable(const QList<ComEntry>& entries) {
    QList<ComEntry> sorted = entries;
    std::sort(sorted.begin(), sorted.end(),
              [](const ComEntry& a, const ComEntry& b) { return a.number < b.number; });
    QByteArray text = "# Linnet-Test: the COM numbers given to serial devices.\n"
                      "# <COM number> <last seen, seconds since 1970> <device>\n"
                      "# Delete a device's line (with the program closed) to forget it.\n";
    for (const ComEntry& e : std::as_const(sorted))
        text += QByteArray::number(e.number) + ' ' + QByteArray::number(e.lastSeen) + ' ' +
                base::outside_text::visible(e.identity).toUtf8() + '\n';
    return text;
}

QList<ComEntry> mergeComTables(const QList<ComEntry>& file, const QList<ComEntry>& ours) {
    QList<ComEntry> merged = file;
    for (const ComEntry& entry : ours) {
        const auto same = std::find_if(merged.begin(), merged.end(), [&](const ComEntry& kept) {
            return kept.identity == entry.identity;
        });
        if (same != merged.end()) {
            same->lastSeen = std::max(same->lastSeen, entry.lastSeen);
            continue;
        }
        const bool taken = std::any_of(file.begin(), file.end(), [&](const ComEntry& kept) {
            return kept.number == entry.number;
        });
        if (!taken)
            merged.append(entry);
    }
    return merged;
}

} // namespace devices
