#include "ui/file_chooser.h"

#include <QFileDialog>

namespace ui {

QString QtFileChooser::saveFileName(QWidget* parent, const QString& caption,
                                    const QString& proposedPath, const QString& filters,
                                    QString* selectedFilter) {
    return QFileDialog::getSaveFileName(parent, caption, proposedPath, filters, selectedFilter);
}

QString QtFileChooser::openFileName(QWidget* parent, const QString& caption,
                                    const QString& folder) {
    return QFileDialog::getOpenFileName(parent, caption, folder);
}

} // namespace ui
