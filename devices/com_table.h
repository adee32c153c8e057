#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace devices {

// One remembered device: its identity, its COM number and when it was last present
// (seconds since the epoch).
struct ComEntry {
    QString identity;
    int number = 0;
    qint64 lastSeen = 0;
    bool operator==(const ComEntry&) const = default;
};

// The table of COM numbers that stay with their devices. Plain data, no files, no clock: the
// caller passes the time and what is present.
//
// - An on-board ttyS<k> has COM k+1 (see onBoardNumber); it is never stored here.
// - Any other device gets, the first time it is seen, the lowest number from COM3 upward that no
//   on-board UART (or other reserved use) and no remembered device holds, and keeps it.
// - Numbers end at COM18. With none left, the remembered device unseen the longest (and not
//   present now) gives its number up; when every holder is present, the device gets none (0).
class ComTable {
public:
    static constexpr int firstFreeNumber = 3;
    static constexpr int lastNumber = 18;

    ComTable() = default;
    explicit ComTable(QList<ComEntry> entries) : entries_(std::move(entries)) {}

    // COM k+1 for the on-board /dev/ttyS<k> (k below 18), else 0.
    static int onBoardNumber(const QString& node);

    // The number of the device with `identity`, giving it one when it has none. `reserved` are
    // numbers it may not get (on-board UARTs present now); `present` the identities present now,
    // whose numbers are not taken from them. Marks it seen at `now`. 0: no number left.
    int assign(const QString& identity, qint64 now, const QSet<int>& reserved,
               const QSet<QString>& present);

    // Marks a remembered device seen at `now` (when it goes away, say); false if unknown.
    bool touch(const QString& identity, qint64 now);

    // 0 when the identity holds no number.
    int numberOf(const QString& identity) const;
    // Empty when no remembered device holds the number.
    QString identityOf(int number) const;

    const QList<ComEntry>& entries() const { return entries_; }

private:
    QList<ComEntry> entries_;
};

// The table file: one line per device, "<number> <last seen> <identity>", lines starting with
// '#' are comments. Lines that cannot be read, numbers outside COM3 to COM18 and second claims
// on a number or identity are left out and counted in `badLines`.
struct ParsedComTable {
    QList<ComEntry> entries;
    int badLines = 0;
};
ParsedComTable parseComTable(const QByteArray& text);
QByteArray formatComTable(const QList<ComEntry>& entries);

// The table another program wrote (`file`) with this program's own entries added: the file's
// numbers stand; an entry of ours joins when neither its identity nor its number is in the file,
// and an identity in both keeps the later time it was seen.
QList<ComEntry> mergeComTables(const QList<ComEntry>& file, const QList<ComEntry>& ours);

} // namespace devices
