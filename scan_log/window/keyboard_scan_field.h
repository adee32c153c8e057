#pragma once

#include <QLineEdit>
#include <QTimer>

namespace scan_log {

// The field a scanner in keyboard mode types into: every key it takes is handed on at once
// ("\r" for Enter, "\t" for Tab, which would otherwise move the focus) with the time the window
// system gave it, and so is text composed with dead keys or an input method. It shows the last
// MaxShown characters of the scan, brought up to date at most every ShowMs, and empties when the
// scan ends (clearScan). Keys are taken only while it has the focus: nothing is read behind the
// desktop's back.
class KeyboardScanField final : public QLineEdit {
    Q_OBJECT

public:
    static constexpr int MaxShown = 64;
    static constexpr int ShowMs = 40;

    explicit KeyboardScanField(QWidget* parent = nullptr);

    // The scan ended (by Enter, Tab, silence or its length).
    void clearScan();

signals:
    // `eventMs`: the window system's time of the key, 0 when it gave none.
    void keyTyped(const QString& text, qint64 eventMs);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void showTyped();

    QString typed_; // what the field is to show
    QTimer show_;
};

} // namespace scan_log
