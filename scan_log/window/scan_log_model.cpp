#include "scan_log/window/scan_log_model.h"

#include <QDateTime>

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
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
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
    return text;
}

QString ScanLogModel::cellText(int rowIndex, int column) const {
    const ScanRow& r = row(rowIndex);
    switch (column) {
    case Number:
        return QString::number(r.number);
    case Time:
        return QDateTime::fromMSecsSinceEpoch(r.wallMs).toString(QStringLiteral("hh:mm:ss.zzz"));
    case Gap:
        return r.gapMs ? QString::number(*r.gapMs) : QString();
    case Duration:
        return QString::number((r.scan.lastArrival - r.scan.firstArrival).count());
    case Bytes:
        return QString::number(r.scan.bytes.size());
    case Data:
        return fromUtf8(info(r).data);
    case Terminator:
        return r.scan.cut ? QStringLiteral("cut") : fromUtf8(info(r).terminator);
    case Symbology:
        return fromUtf8(info(r).symbologyText());
    case Check:
        return fromUtf8(info(r).check);
    case Gs1Fields:
        return fromUtf8(info(r).gs1Fields);
    default:
        return {};
    }
}

const ScanInfo& ScanLogModel::info(const ScanRow& row) const {
    if (const auto found = decoded_.find(row.number); found != decoded_.end())
        return found->second;
    if (decodedOrder_.size() >= CacheSize) {
        decoded_.erase(decodedOrder_.front());
        decodedOrder_.pop_front();
    }
    decodedOrder_.push_back(row.number);
    return decoded_.emplace(row.number, decodeScan(row.scan.bytes)).first->second;
}

void ScanLogModel::append(std::deque<ScanRow>& rows) {
    if (rows.empty())
        return;
    if (rows.size() > MaxRows)
        rows.erase(rows.begin(), rows.end() - static_cast<std::ptrdiff_t>(MaxRows));
    const std::size_t total = rows_.size() + rows.size();
    if (total > MaxRows) {
        const auto leaving = static_cast<int>(total - MaxRows);
        beginRemoveRows({}, 0, leaving - 1);
        rows_.erase(rows_.begin(), rows_.begin() + leaving);
        endRemoveRows();
    }
    const int first = static_cast<int>(rows_.size());
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    while (!rows.empty()) {
        rows_.push_back(std::move(rows.front()));
        rows.pop_front();
    }
    endInsertRows();
}

void ScanLogModel::clear() {
    beginResetModel();
    rows_.clear();
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
