#pragma once

#include "find_settings/model/settings_search.h"

#include <QAbstractTableModel>

#include <optional>
#include <vector>

namespace find_settings {

// The settings a search tried, a row each in the order tried: the setting, the result in a word
// with its icon, the scans heard, the characters received and the first of them in the Scan
// Log's visible form. The setting found stands out (bold, tinted); the setting listened to
// while the search runs is the last row until a scan is heard at it.
class TriedSettingsModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Setting, Result, Scans, Characters, FirstCharacters, ColumnCount };

    explicit TriedSettingsModel(QObject* parent = nullptr);

    // `last`: the setting listened to last, a row of its own when no scan was heard at it
    // ("listening" while `searching`, else "silent").
    void setRows(std::vector<TriedSetting> tried, std::optional<LineFormat> found,
                 std::optional<LineFormat> last, bool searching);
    void clear();
    // The row of the setting found, if any.
    std::optional<int> foundRow() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The given rows as text, a line each, cells separated by tabs.
    QString tabSeparated(const QList<int>& rows) const;

private:
    QString cellText(int row, int column) const;

    std::vector<TriedSetting> rows_;
    std::optional<LineFormat> found_;
    // The last row is the setting listened to now, with no scan yet.
    bool listeningRow_ = false;
};

} // namespace find_settings
