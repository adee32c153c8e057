#include "find_settings/window/tried_settings_model.h"

#include "find_settings/window/find_settings_texts.h"
#include "ui/status_icons.h"

#include <QColor>
#include <QFont>

#include <algorithm>
#include <array>

namespace find_settings {

namespace {

ui::StatusIcon iconOf(TriedResult result) {
    switch (result) {
    case TriedResult::Found:
    case TriedResult::Clean:
        return ui::StatusIcon::Good;
    case TriedResult::Garbage:
        return ui::StatusIcon::Attention;
    case TriedResult::LineErrors:
        return ui::StatusIcon::Problem;
    case TriedResult::Silent:
        break;
    }
    return ui::StatusIcon::Neutral;
}

} // namespace

TriedSettingsModel::TriedSettingsModel(QObject* parent) : QAbstractTableModel(parent) {}

void TriedSettingsModel::setRows(std::vector<TriedSetting> tried, std::optional<LineFormat> found,
                                 std::optional<LineFormat> last, bool searching) {
    beginResetModel();
    rows_ = std::move(tried);
    found_ = found;
    const bool unheard =
        last && std::none_of(rows_.begin(), rows_.end(),
                             [&](const TriedSetting& setting) { return setting.format == *last; });
    if (unheard) {
        TriedSetting waiting;
        waiting.format = *last;
        rows_.push_back(std::move(waiting));
    }
    listeningRow_ = unheard && searching;
    endResetModel();
}

void TriedSettingsModel::clear() {
    setRows({}, std::nullopt, std::nullopt, false);
}

std::optional<int> TriedSettingsModel::foundRow() const {
    if (!found_)
        return std::nullopt;
    for (std::size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row].format == *found_)
            return int(row);
    return std::nullopt;
}

int TriedSettingsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int TriedSettingsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TriedSettingsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= ColumnCount)
        return {};
    static constexpr std::array titles{"Setting", "Result", "Scans", "Characters",
                                       "First characters"};
    static_assert(titles.size() == ColumnCount);
    return QString::fromLatin1(titles[std::size_t(section)]);
}

QString TriedSettingsModel::cellText(int row, int column) const {
    const TriedSetting& setting = rows_[std::size_t(row)];
    const bool listening = listeningRow_ && row == rowCount() - 1;
    switch (column) {
    case Setting:
        return QString::fromStdString(setting.format.text());
    case Result:
        return listening ? listeningWord() : triedResultWord(triedResult(setting, found_));
    case Scans:
        return QString::number(setting.scans);
    case Characters:
        return QString::number(setting.chars);
    case FirstCharacters:
        return firstCharactersText(setting);
    default:
        return {};
    }
}

QVariant TriedSettingsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= ColumnCount)
        return {};
    const TriedSetting& setting = rows_[std::size_t(index.row())];
    const bool listening = listeningRow_ && index.row() == rowCount() - 1;
    const bool winner = found_ && setting.format == *found_;
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::DecorationRole:
        if (index.column() != Result)
            return {};
        return ui::statusIcon(listening ? ui::StatusIcon::Neutral
                                        : iconOf(triedResult(setting, found_)));
    case Qt::ToolTipRole:
        return listening || setting.scans == 0 ? QVariant() : QVariant(evidenceText(setting));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (index.column() == Scans || index.column() == Characters
                                        ? Qt::AlignRight
                                        : Qt::AlignLeft));
    case Qt::FontRole:
        if (winner) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    case Qt::BackgroundRole:
        return winner ? QVariant(QColor(0xc8, 0xf0, 0xc8)) : QVariant();
    case Qt::ForegroundRole:
        // Dark on the tint whatever the theme, as the Scan Log's verdicts are.
        return winner ? QVariant(QColor(Qt::black)) : QVariant();
    default:
        return {};
    }
}

QString TriedSettingsModel::tabSeparated(const QList<int>& rows) const {
    QString text;
    for (const int row : rows) {
        if (row < 0 || row >= rowCount())
            continue;
        for (int column = 0; column < ColumnCount; ++column) {
            if (column > 0)
                text += u'\t';
            text += cellText(row, column);
        }
        text += u'\n';
    }
    return text;
}

} // namespace find_settings
