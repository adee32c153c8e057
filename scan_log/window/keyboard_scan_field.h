#pragma once

#include <QLineEdit>

namespace scan_log {

// The field a scanner in keyboard mode types into: every key it takes is handed on at once
// ("\r" for Enter, "\t" for Tab, which would otherwise move the focus), and the field empties at
// the end of each scan. Keys are taken only while it has the focus: nothing is read behind the
// desktop's back.
class KeyboardScanField final : public QLineEdit {
    Q_OBJECT

public:
    explicit KeyboardScanField(QWidget* parent = nullptr);

signals:
    void keyTyped(const QString& text);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace scan_log
