#include "scan_log/window/keyboard_scan_field.h"

#include <QKeyEvent>

namespace scan_log {

KeyboardScanField::KeyboardScanField(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("KeyboardScan"));
    setPlaceholderText(QStringLiteral("Scans typed by a keyboard-mode scanner arrive here"));
    setToolTip(QStringLiteral("A scanner in keyboard mode types its codes into the window that "
                              "has the focus: click here first, then scan. Each scan becomes a "
                              "row whose source is the keyboard."));
}

bool KeyboardScanField::event(QEvent* event) {
    // Tab ends a scan here instead of moving the focus on.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier) {
            emit keyTyped(QStringLiteral("\t"));
            clear();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void KeyboardScanField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit keyTyped(QStringLiteral("\r"));
        clear();
        return;
    }
    const QString text = event->text();
    // Control characters other than those (Ctrl+letters a scanner sends for GS and the like)
    // are kept as they are; keys without text (Shift alone) are not keys of the scan.
    if (!text.isEmpty())
        emit keyTyped(text);
    QLineEdit::keyPressEvent(event);
}

} // namespace scan_log
