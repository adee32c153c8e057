#include "scan_log/window/scan_log_model.h"

#include "base/csv_field.h"
#include "base/outside_text.h"
#include "scan_log/model/keyboard_scans.h"

#include <QColor>
#include <QDateTime>

#include <algorithm>
#include <array>

#include <malloc.h>

namespace scan_log {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void capField(std::string& text) {
    if (text.size() <= ScanLogModel::MaxFieldChars)
        return;
    text.resize(ScanLogModel::MaxFieldChars);
    // Not inside a UTF-8 sequence (the GS1 fields may hold one).
    while (!text.empty() && (static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
        text.pop_back();
    if (!text.empty() && static_cast<unsigned char>(text.back()) >= 0xC0)
        text.pop_back();
    text += ScanLogModel::CutMark;
}

// What the log keeps of a decoded scan: every text within MaxFieldChars.
ScanInfo boundedDecode(std::string_view bytes, int lineErrors) {
    ScanInfo info = decodeScan(bytes, LineFacts{lineErrors});
    capField(info.data);
    capField(info.gs1Fields);
    capField(info.check);
    capField(info.symbology);
    return info;
}

// "COM3"; "COM3, replied" when the Send window answered the scan; "keyboard, 8 ms a key";
// "keyboard, 180 ms a key (typed by hand?)".
QString sourceText(quint8 source, quint16 keyGapMs, bool replied) {
    if (source != ScanLogModel::KeyboardSource) {
        const QString port = source == 0 ? QString() : QStringLiteral("COM%1").arg(source);
        if (!replied)
            return port;
        return port.isEmpty() ? QStringLiteral("replied") : port + QStringLiteral(", replied");
    }
    if (keyGapMs == ScanLogModel::NoKeyGap)
        return QStringLiteral("keyboard");
    return QStringLiteral("keyboard, %1 ms a key%2")
        .arg(keyGapMs)
        .arg(typedByHand(std::chrono::milliseconds(keyGapMs)) ? QStringLiteral(" (typed by hand?)")
                                                              : QString());
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
    static constexpr std::array titles{"No.",           "Time",    "Source", "Gap (ms)",
                                       "Duration (ms)", "Bytes",   "Data",   "Terminator",
                                       "Symbology",     "Verdict", "Check",  "GS1 fields"};
    static constexpr std::array tips{
        "Number of the scan since the log was cleared",
        "Arrival of the first byte",
        "Where it came from: the port (COM3), or the keyboard field with the median time between "
        "keys (a scanner types a key every 1 to 30 ms, a person every 100 to 300 ms)",
        "From the last byte of the previous scan to the first byte of this one",
        "From the first byte of the scan to its last",
        "Bytes in the scan, terminator included",
        "The scan with every byte visible, terminator left out",
        "What ended the scan: CR, LF, CR LF, TAB, a silence (empty) or the length limit (cut)",
        "From the symbology identifier, or a guess from the data",
        "good: everything that could be checked is right; problem: something is wrong (see "
        "Check and GS1 fields); unknown: nothing to check",
        "Check digits of EAN/UPC codes and of every GTIN, SSCC and GLN; line errors, and data "
        "that is mostly what no scanner sends (a line at the wrong settings)",
        "GS1 application identifiers with their values"};
    static_assert(titles.size() == ColumnCount && tips.size() == ColumnCount);
    if (section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(titles[std::size_t(section)]);
    if (role == Qt::ToolTipRole)
        return QString::fromLatin1(tips[std::size_t(section)]);
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
    if (role == Qt::BackgroundRole) {
        if (column != Verdict)
            return {};
        // The word says it too: the colour is never the only sign.
        switch (info(index.row()).verdict) {
        case ScanVerdict::Good:
            return QColor(0xC8, 0xF0, 0xC8);
        case ScanVerdict::Problem:
            return QColor(0xF8, 0xC4, 0xC4);
        case ScanVerdict::Unknown:
            return {};
        }
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
    return role == Qt::ToolTipRole ? base::outside_text::toolTip(text) : text;
}

std::string_view ScanLogModel::bytes(int row) const {
    const Record& r = record(row);
    return {chunks_[r.chunk - firstChunk_].get() + r.offset, r.size};
}

QString ScanLogModel::cellText(int row, int column) const {
    switch (column) {
    case Data:
    case Terminator:
    case Symbology:
    case Verdict:
    case Check:
    case Gs1Fields:
        return cellText(row, column, info(row));
    default:
        return cellText(row, column, ScanInfo{});
    }
}

QString ScanLogModel::cellText(int row, int column, const ScanInfo& decoded) const {
    const Record& r = record(row);
    switch (column) {
    case Number:
        return QString::number(number(row));
    case Time:
        return QDateTime::fromMSecsSinceEpoch(r.wallMs).toString(QStringLiteral("hh:mm:ss.zzz"));
    case Source:
        if (r.source >= FirstDeviceSource && r.source != KeyboardSource &&
            std::size_t(r.source - FirstDeviceSource) < deviceNames_.size())
            return r.keyGapMs == NoKeyGap ? deviceNames_[r.source - FirstDeviceSource]
                                          : QStringLiteral("%1, %2 ms a key")
                                                .arg(deviceNames_[r.source - FirstDeviceSource])
                                                .arg(r.keyGapMs);
        return sourceText(r.source, r.keyGapMs, r.replied);
    case Gap:
        return r.gapMs == NoGap ? QString() : QString::number(r.gapMs);
    case Duration:
        return QString::number(r.durationMs);
    case Bytes:
        return QString::number(r.size);
    case Data:
        return fromUtf8(decoded.data);
    case Terminator:
        return r.cut ? QStringLiteral("cut") : fromUtf8(decoded.terminator);
    case Symbology:
        return fromUtf8(decoded.symbologyText());
    case Verdict:
        return decoded.data.empty() && decoded.symbology.empty()
                   ? QString()
                   : QString::fromLatin1(decoded.verdictText());
    case Check:
        return fromUtf8(decoded.check);
    case Gs1Fields:
        // Typed by a scanner in keyboard mode, which has no key for GS: a field of variable
        // length that is not the last then runs into the next, and the fields may be misread.
        if (r.source == KeyboardSource && !decoded.gs1Fields.empty() &&
            bytes(row).find('\x1D') == std::string_view::npos)
            return fromUtf8(decoded.gs1Fields) +
                   QStringLiteral(" (typed without GS: a scanner in keyboard mode usually cannot "
                                  "send it, so a field of variable length may run into the next; "
                                  "set the scanner to send another character for GS, or use it "
                                  "as a serial port)");
        return fromUtf8(decoded.gs1Fields);
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
    return decoded_.emplace(key, boundedDecode(bytes(row), record(row).lineErrors)).first->second;
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
    quint8 source = times.keyboard
                        ? KeyboardSource
                        : static_cast<quint8>(std::clamp(times.port, 0, FirstDeviceSource - 1));
    if (!times.device.isEmpty()) {
        auto known = std::find(deviceNames_.begin(), deviceNames_.end(), times.device);
        if (known == deviceNames_.end() &&
            deviceNames_.size() < std::size_t(KeyboardSource - FirstDeviceSource)) {
            deviceNames_.push_back(times.device);
            known = deviceNames_.end() - 1;
        }
        // Beyond the names the log can tell apart (more scanners than anyone plugs in), the
        // last one stands for the rest.
        source = static_cast<quint8>(FirstDeviceSource + (known - deviceNames_.begin()) -
                                     (known == deviceNames_.end() ? 1 : 0));
    }
    const quint16 keyGap =
        times.keyGapMs ? static_cast<quint16>(std::clamp<qint64>(*times.keyGapMs, 0, NoKeyGap - 1))
                       : NoKeyGap;
    // Judged once as it comes, so that the pictures never decode the rows they draw.
    const ScanVerdict verdict =
        times.verdict ? *times.verdict : decodeScan(scan, LineFacts{times.lineErrors}).verdict;
    records_.push_back(Record{times.wallMs, firstChunk_ + static_cast<quint32>(chunks_.size() - 1),
                              static_cast<quint32>(chunkUsed_), static_cast<quint32>(scan.size()),
                              static_cast<quint32>(verdict),
                              times.gapMs ? clamp32(*times.gapMs) : NoGap,
                              clamp32(times.durationMs), cut,
                              static_cast<quint8>(std::clamp(times.lineErrors, 0, MaxLineErrors)),
                              false, source, keyGap});
    chunkUsed_ += scan.size();
    keptBytes_ += scan.size();
    stagedBytes_ += scan.size();
}

int ScanLogModel::firstRowFrom(qint64 wallMs) const {
    const auto rows = records_.begin() + static_cast<std::ptrdiff_t>(shown_);
    return static_cast<int>(
        std::partition_point(records_.begin(), rows,
                             [wallMs](const Record& r) { return r.wallMs < wallMs; }) -
        records_.begin());
}

void ScanLogModel::markLatestReplied() {
    if (records_.empty())
        return;
    records_.back().replied = true;
    if (staged() == 0) {
        const int row = static_cast<int>(records_.size()) - 1;
        emit dataChanged(index(row, Source), index(row, Source));
    }
}

void ScanLogModel::dropOldest(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        keptBytes_ -= records_[i].size;
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
    // The oldest leave until the rest fits both bounds.
    std::size_t leaving = 0;
    for (std::size_t bytes = keptBytes_;
         leaving < records_.size() && (records_.size() - leaving > MaxRows || bytes > MaxBytes);
         ++leaving)
        bytes -= records_[leaving].size;
    if (leaving > 0) {
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
    stagedBytes_ = 0;
    if (records_.size() == shown_)
        return;
    beginInsertRows({}, static_cast<int>(shown_), static_cast<int>(records_.size()) - 1);
    shown_ = records_.size();
    endInsertRows();
}

void ScanLogModel::clear() {
    beginResetModel();
    // Swapped with empty ones, so that their memory goes too, not only their contents.
    std::deque<Record>().swap(records_);
    shown_ = 0;
    keptBytes_ = 0;
    stagedBytes_ = 0;
    firstNumber_ = 1;
    std::deque<std::unique_ptr<char[]>>().swap(chunks_);
    firstChunk_ = 0;
    chunkUsed_ = 0;
    chunkSize_ = 0;
    std::unordered_map<quint64, ScanInfo>().swap(decoded_);
    std::deque<quint64>().swap(decodedOrder_);
    endResetModel();
    // The decoded texts were many small blocks: the allocator gives their pages back only when
    // asked.
    ::malloc_trim(0);
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

bool ScanLogModel::writeCsv(const std::function<bool(const QByteArray&)>& write) const {
    QString line;
    for (int column = 0; column < ColumnCount; ++column)
        line += base::csvField(headerData(column, Qt::Horizontal).toString()) + u',';
    line += QStringLiteral("Bytes in hex\r\n");
    if (!write(line.toUtf8()))
        return false;
    for (int r = 0; r < rowCount(); ++r) {
        // Decoded afresh rather than through the cache, which keeps the rows on screen.
        const std::string_view scan = bytes(r);
        const ScanInfo decoded = boundedDecode(scan, record(r).lineErrors);
        line.clear();
        for (int column = 0; column < ColumnCount; ++column)
            line += base::csvField(cellText(r, column, decoded)) + u',';
        line += QString::fromLatin1(
                    QByteArray::fromRawData(scan.data(), static_cast<qsizetype>(scan.size()))
                        .toHex(' ')) +
                QStringLiteral("\r\n");
        if (!write(line.toUtf8()))
            return false;
    }
    return true;
}

} // namespace scan_log
