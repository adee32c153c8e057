#pragma once

#include "ui/file_chooser.h"

#include <QStringList>

// Answers every file question at once with `answer` (empty: cancelled) and the filter in
// `filter` when set, and records what was proposed.
class FakeFileChooser final : public ui::FileChooser {
public:
    QString answer;
    QString filter;
    QStringList proposed;

    QString saveFileName(QWidget*, const QString&, const QString& proposedPath, const QString&,
                         QString* selectedFilter) override {
        proposed << proposedPath;
        if (selectedFilter && !filter.isEmpty())
            *selectedFilter = filter;
        return answer;
    }
    QString openFileName(QWidget*, const QString&, const QString& folder) override {
        proposed << folder;
        return answer;
    }
};
