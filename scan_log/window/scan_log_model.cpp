#include "scan_log/window/scan_log_model.h"

#include "outside_text/outside_text.h"

#include <QDateTime>

#include <algorithm>

namespace scan_log {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

ScanLogModel::ScanLogModel(QObject* parent) : QAbstractTableModel(parent) {}

int ScanLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_);
}

int ScanLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ScanLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return {};
    static const char* const titles[ColumnCount] = {
        "No.",  "Time",       "Gap (ms)",  "Duration (ms)", "Bytes",
        "Data", "Terminator", "Symbology", "Check",         "GS1 fields"};
    static const char* const tips[ColumnCount] = {
        "Number of the scan since the log was cleared",
        "Arrival of the first byte",
        "From the last byte of the previous scan to the first byte of this one",
        "From the first byte of the scan to its last",
        "Bytes in the scan, terminator included",
        "The scan with every byte visible, terminator left out",
        "What ended the scan: CR, LF, CR LF, TAB, a silence (empty) or the length limit (cut)",
        "From the symbology identifier, or a guess from the data",
        "Check digits of EAN/UPC codes and of every GTIN, SSCC and GLN",
        "GS1 application identifiers with their values"};
    if (section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(titles[section]);
    if (role == Qt::ToolTipRole)
        return QString::fromLatin1(tips[section]);
    return {};
}

QVariant ScanLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int column = index.column();
    if (role == Qt::TextAlignmentRole) {
        const bool number =
            column == Number || column == Gap || column == Duration || column == Bytes;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    // The tip shows what a narrow column cuts off, for the columns that can be long.
    if (role == Qt::ToolTipRole && column != Data && column != Symbology && column != Check &&
        column != Gs1Fields)
        return {};
    QString text = cellText(index.row(), column);
    if (column == Data && text.size() > MaxShownData)
        text = text.left(MaxShownData) + QStringLiteral("...");
    // A scan that looks like HTML is shown as what it is, not rendered.
    return role == Qt::ToolTipRole ? outside_text::toolTip(text) : text;
}

std::string_view ScanLogModel::bytes(int row) const {
    const Record& r = record(row);
    return {chunks_[r.chunk - firstChunk_].get() + r.offset, r.size};
}

QString ScanLogModel::cellText(int row, int column) const {
    const Record& r = record(row);
    switch (column) {
    case Number:
        return QString::number(number(row));
    case Time:
        return QDateTime::fromMSecsSinceEpoch(r.wallMs).toString(QStringLiteral("hh:mm:ss.zzz"));
    case Gap:
        return r.gapMs == NoGap ? QString() : QString::number(r.gapMs);
    case Duration:
        return QString::number(r.durationMs);
    case Bytes:
        return QString::number(r.size);
    case Data:
        return fromUtf8(info(row).data);
    case Terminator:
        return r.cut ? QStringLiteral("cut") : fromUtf8(info(row).terminator);
    case Symbology:
        return fromUtf8(info(row).symbologyText());
    case Check:
        return fromUtf8(info(row).check);
    case Gs1Fields:
        return fromUtf8(info(row).gs1Fields);
    default:
        return {};
    }
}

const ScanInfo& ScanLogModel::info(int row) const {
    const quint64 key = number(row);
    if (const auto found = decoded_.find(key); found != decoded_.end())
        return found->second;
    if (decodedOrder_.size() >= CacheSize) {
        decoded_.erase(decodedOrder_.front());
        decodedOrder_.pop_front();
    }
    decodedOrder_.push_back(key);
    return decoded_.emplace(key, decodeScan(bytes(row))).first->second;
}

void ScanLogModel::stage(std::string_view scan, bool cut, const ScanTimes& times) {
    if (chunks_.empty() || chunkUsed_ + scan.size() > chunkSize_) {
        chunkSize_ = std::max(ChunkBytes, scan.size());
        chunks_.push_back(std::make_unique<char[]>(chunkSize_));
        chunkUsed_ = 0;
    }
    std::copy(scan.begin(), scan.end(), chunks_.back().get() + chunkUsed_);
    const auto clamp32 = [](qint64 ms) {
        return static_cast<quint32>(std::clamp<qint64>(ms, 0, NoGap - 1));
    };
    records_.push_back(Record{times.wallMs, firstChunk_ + static_cast<quint32>(chunks_.size() - 1),
                              static_cast<quint32>(chunkUsed_), static_cast<quint32>(scan.size()),
                              times.gapMs ? clamp32(*times.gapMs) : NoGap,
                              clamp32(times.durationMs), cut});
    chunkUsed_ += scan.size();
}

void ScanLogModel::dropOldest(std::size_t count) {
    records_.erase(records_.begin(), records_.begin() + static_cast<std::ptrdiff_t>(count));
    firstNumber_ += count;
    const quint32 stillUsed = records_.empty()
                                  ? firstChunk_ + static_cast<quint32>(chunks_.size()) - 1
                                  : records_.front().chunk;
    while (firstChunk_ < stillUsed) {
        chunks_.pop_front();
        ++firstChunk_;
    }
}

void ScanLogModel::publish() {
    if (staged() == 0)
        return;
    if (records_.size() > MaxRows) {
        const std::size_t leaving = records_.size() - MaxRows;
        const std::size_t leavingRows = std::min(leaving, shown_);
        if (leavingRows > 0) {
            beginRemoveRows({}, 0, static_cast<int>(leavingRows) - 1);
            shown_ -= leavingRows;
            dropOldest(leavingRows);
            endRemoveRows();
        }
        // Staged scans that would only leave again are dropped unseen.
        dropOldest(leaving - leavingRows);
    }
    beginInsertRows({}, static_cast<int>(shown_), static_cast<int>(records_.size()) - 1);
    shown_ = records_.size();
    endInsertRows();
}

void ScanLogModel::clear() {
    beginResetModel();
    records_.clear();
    shown_ = 0;
    firstNumber_ = 1;
    chunks_.clear();
    firstChunk_ = 0;
    chunkUsed_ = 0;
    chunkSize_ = 0;
    decoded_.clear();
    decodedOrder_.clear();
    endResetModel();
}

QString ScanLogModel::tabSeparated(const QList<int>& rows) const {
    QString text;
    for (const int r : rows) {
        for (int column = 0; column < ColumnCount; ++column) {
            if (column > 0)
                text += u'\t';
            text += cellText(r, column);
        }
        text += u'\n';
    }
    return text;
}

QByteArray ScanLogModel::csv() const {
    QString text;
    for (int column = 0; column < ColumnCount; ++column)
        text += (column > 0 ? QStringLiteral(",") : QString()) +
                csvField(headerData(column, Qt::Horizontal).toString());
    text += QStringLiteral("\r\n");
    for (int r = 0; r < rowCount(); ++r) {
        for (int column = 0; column < ColumnCount; ++column)
            text += (column > 0 ? QStringLiteral(",") : QString()) + csvField(cellText(r, column));
        text += QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

} // namespace scan_log
