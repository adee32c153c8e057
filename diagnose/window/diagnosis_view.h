#pragma once

#include "diagnose/window/diagnosis_rows.h"

#include <QTreeView>

class QStandardItemModel;

namespace diagnose {

// Diagnose's rows as a tree: a device a row (an icon and its state in a word, where it is
// reached, its name and ids), its paragraph under it in as many lines as the width needs, and a
// udev rule as a block of its own in a fixed-width font. The rows that need action are opened;
// the person opens the others. Ctrl+C copies the selected rows as text.
class DiagnosisView final : public QTreeView {
    Q_OBJECT

public:
    enum Column { State, Where, Device, ColumnCount };
    // Set on the lines under a row: drawn wrapped across the whole width.
    static constexpr int WrappedRole = Qt::UserRole + 1;

    explicit DiagnosisView(QWidget* parent = nullptr);

    // Shows `rows`; the same rows again change nothing (the reader's selection and place stay),
    // and a row that was opened or closed stays so.
    void setRows(const QList<DiagnosisRow>& rows);
    const QList<DiagnosisRow>& rows() const { return rows_; }
    // The selected rows and lines as text, a line each.
    QString selectedText() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    QStandardItemModel* model_;
    QList<DiagnosisRow> rows_;
    bool relayout_ = false; // a layout is asked for
};

} // namespace diagnose
