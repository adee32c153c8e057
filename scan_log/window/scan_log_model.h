#pragma once

#include "scan_log/decode/scan_info.h"
#include "scan_log/decode/scan_splitter.h"

#include <QAbstractTableModel>

#include <deque>
#include <optional>
#include <unordered_map>

namespace scan_log {

// One scan as the log keeps it: the raw bytes and times; what they mean is worked out only when
// a row is shown or copied.
struct ScanRow {
    Scan scan;
    quint64 number = 0;          // 1 for the first scan since the log was cleared
    qint64 wallMs = 0;           // wall-clock time of the first byte, ms since the epoch
    std::optional<qint64> gapMs; // from the previous scan's last byte to this one's first
};

// The kept scans as a table, oldest first. Holds at most MaxRows; older ones leave first.
class ScanLogModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Number,
        Time,
        Gap,
        Duration,
        Bytes,
        Data,
        Terminator,
        Symbology,
        Check,
        Gs1Fields,
        ColumnCount
    };
    static constexpr std::size_t MaxRows = 100'000;
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

    // Moves the rows to the end, dropping the oldest beyond MaxRows; `rows` is left empty.
    void append(std::deque<ScanRow>& rows);
    void clear();

    const ScanRow& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }
    // The whole text of a cell, as copied and saved.
    QString cellText(int row, int column) const;

    // The given rows, one line each, cells separated by tabs.
    QString tabSeparated(const QList<int>& rows) const;
    // Every row with a header line, as comma-separated values (RFC 4180 quoting, CR LF endings).
    QByteArray csv() const;

private:
    const ScanInfo& info(const ScanRow& row) const;

    std::deque<ScanRow> rows_;
    mutable std::unordered_map<quint64, ScanInfo> decoded_;
    mutable std::deque<quint64> decodedOrder_;
};

} // namespace scan_log
