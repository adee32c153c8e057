#pragma once

#include <QString>

class QWidget;

namespace ui {

// Asks for the name of a file to write. The program shows Qt's file dialog; tests hand in a
// double that answers at once.
class FileChooser {
public:
    virtual ~FileChooser() = default;

    // The chosen file, or an empty text when the user cancelled. `filters` as QFileDialog takes
    // them ("Transcript (*.log);;Raw (*.bin)"); `selectedFilter`, when given, preselects one and
    // receives the one chosen.
    virtual QString saveFileName(QWidget* parent, const QString& caption,
                                 const QString& proposedPath, const QString& filters,
                                 QString* selectedFilter) = 0;
    // The file chosen to be read, or an empty text when the user cancelled.
    virtual QString openFileName(QWidget* parent, const QString& caption,
                                 const QString& folder) = 0;
};

class QtFileChooser final : public FileChooser {
public:
    QString saveFileName(QWidget* parent, const QString& caption, const QString& proposedPath,
                         const QString& filters, QString* selectedFilter) override;
    QString openFileName(QWidget* parent, const QString& caption, const QString& folder) override;
};

} // namespace ui
