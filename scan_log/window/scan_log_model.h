#pragma once

#include "scan_log/model/scan_info.h"
#include "scan_log/model/scan_splitter.h"

#include <QAbstractTableModel>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace scan_log {

// What the log learns of a scan besides its bytes.
struct ScanTimes {
    qint64 wallMs = 0;                  // wall-clock time of the first byte, ms since the epoch
    std::optional<qint64> gapMs;        // from the previous scan's last byte to this one's first
    qint64 durationMs = 0;              // from the first byte to the last
    int port = 0;                       // the COM number it came from; 0: not known
    bool keyboard = false;              // typed into the keyboard field instead
    std::optional<qint64> keyGapMs;     // keyboard scans: the median time between keys
    QString device;                     // a scanner read directly: its name; empty for the port
    int lineErrors = 0;                 // breaks, framing and parity errors among its bytes
    std::optional<ScanVerdict> verdict; // when the feeder has decoded it already
};

// The kept scans as a table, oldest first. Holds at most MaxRows; older ones leave first.
class ScanLogModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Number,
        Time,
        Source,
        Gap,
        Duration,
        Bytes,
        Data,
        Terminator,
        Symbology,
        Verdict,
        Check,
        Gs1Fields,
        ColumnCount
    };
    static constexpr std::size_t MaxRows = 100'000;
    // A record's source for a scan typed into the keyboard field, and its key gap when unknown.
    static constexpr quint8 KeyboardSource = 0xFF;
    // Sources from here on are scanners read directly, by name (see ScanTimes::device).
    static constexpr quint8 FirstDeviceSource = 0xC0;
    static constexpr quint16 NoKeyGap = 0xFFFF;
    // The scans' own bytes kept at most; the oldest scans leave first to stay within it.
    static constexpr std::size_t MaxBytes = 64 * 1024 * 1024;
    // A decoded text (the visible data, the GS1 fields) keeps at most this many characters, and
    // ends with CutMark when it had more; the CSV file's hex column keeps every byte.
    static constexpr std::size_t MaxFieldChars = 4096;
    static constexpr std::string_view CutMark = " [cut]";
    // Decoded scans kept for painting; the rows on screen fit many times over.
    static constexpr std::size_t CacheSize = 1024;
    // A cell shows at most this many characters of the data; copies and files get all of it.
    static constexpr qsizetype MaxShownData = 1000;

    explicit ScanLogModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Keeps a scan to be shown with the next publish(); `bytes` include the terminator.
    void stage(std::string_view bytes, bool cut, const ScanTimes& times);
    // A reply went out to the latest scan: its source says so.
    void markLatestReplied();
    // Scans kept since the last publish(), and their bytes.
    std::size_t staged() const { return records_.size() - shown_; }
    std::size_t stagedBytes() const { return stagedBytes_; }
    // Scans that left to keep the log within MaxRows and MaxBytes since it was last cleared.
    quint64 dropped() const { return firstNumber_ - 1; }
    // The staged scans become rows (one insertion), and the oldest beyond MaxRows leave.
    void publish();
    void clear();

    // The number of the scan in `row`: 1 for the first since the log was cleared.
    quint64 number(int row) const { return firstNumber_ + static_cast<quint64>(row); }
    // Its bytes, terminator included.
    std::string_view bytes(int row) const;
    // What the pictures draw of a row, without decoding it: kept with the row when it came.
    qint64 wallMs(int row) const { return record(row).wallMs; }
    std::optional<qint64> gapMs(int row) const {
        return record(row).gapMs == NoGap ? std::nullopt : std::optional<qint64>(record(row).gapMs);
    }
    qint64 durationMs(int row) const { return record(row).durationMs; }
    ScanVerdict verdict(int row) const { return ScanVerdict(record(row).verdict); }
    // The first row whose scan came at `wallMs` or later (rowCount() when none did).
    int firstRowFrom(qint64 wallMs) const;
    // The whole text of a cell, as copied and saved.
    QString cellText(int row, int column) const;

    // The given rows, one line each, cells separated by tabs.
    QString tabSeparated(const QList<int>& rows) const;
    // Every row with a header line, as comma-separated values (RFC 4180 quoting, CR LF endings),
    // handed to `write` a row at a time; stops at the first false it returns. A field that a
    // spreadsheet would run as a formula starts with "'"; the last column holds every byte of
    // the scan in hex, so nothing the cut or the quoting changed is lost.
    bool writeCsv(const std::function<bool(const QByteArray&)>& write) const;

private:
    // One scan in 32 bytes; its bytes lie in one of the chunks. Rows are many (a flood of short
    // lines fills the log in a second), so they hold no allocation of their own.
    struct Record {
        qint64 wallMs;
        quint32 chunk;       // sequence number of the chunk holding the bytes
        quint32 offset;      // of the first byte in the chunk
        quint32 size : 30;   // a scan is far shorter than a gibibyte: the port's queue is 16 MiB
        quint32 verdict : 2; // a ScanVerdict
        quint32 gapMs;       // NoGap for none
        quint32 durationMs;
        bool cut : 1;
        quint8 lineErrors : 6; // up to MaxLineErrors
        bool replied : 1;      // a reply went out when it ended
        quint8 source;         // the COM number; 0: not known; KeyboardSource: the keyboard field
        quint16 keyGapMs;      // NoKeyGap for none
    };
    static_assert(sizeof(Record) == 32);
    static constexpr quint32 NoGap = 0xFFFF'FFFF;
    static constexpr int MaxLineErrors = 63;

    // Bytes of scans, one chunk after another; a scan never spans two. Chunks leave with the
    // last row whose bytes they hold.
    static constexpr std::size_t ChunkBytes = 256 * 1024;

    const Record& record(int row) const { return records_[static_cast<std::size_t>(row)]; }
    const ScanInfo& info(int row) const;
    QString cellText(int row, int column, const ScanInfo& info) const;
    // Drops the oldest `count` records (rows or staged) and the chunks no record uses any more.
    void dropOldest(std::size_t count);

    // Rows first (shown_ of them), then the scans staged for the next publish().
    std::deque<Record> records_;
    // The names of the scanners read directly, FirstDeviceSource on; a name keeps its number.
    std::vector<QString> deviceNames_;
    std::size_t shown_ = 0;
    std::size_t keptBytes_ = 0;   // of all records
    std::size_t stagedBytes_ = 0; // of the staged ones
    quint64 firstNumber_ = 1;
    std::deque<std::unique_ptr<char[]>> chunks_;
    quint32 firstChunk_ = 0;    // sequence number of chunks_.front()
    std::size_t chunkUsed_ = 0; // bytes used in chunks_.back()
    std::size_t chunkSize_ = 0; // size of chunks_.back()
    mutable std::unordered_map<quint64, ScanInfo> decoded_;
    mutable std::deque<quint64> decodedOrder_;
};

} // namespace scan_log
