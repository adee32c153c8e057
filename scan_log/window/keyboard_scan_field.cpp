#include "scan_log/window/keyboard_scan_field.h"

#include <QInputMethodEvent>
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
            emit keyTyped(QStringLiteral("\t"), qint64(key->timestamp()));
            return true;
        }
    }
    return QLineEdit::event(event);
}

void KeyboardScanField::keyPressEvent(QKeyEvent* event) {
    const auto at = qint64(event->timestamp());
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit keyTyped(QStringLiteral("\r"), at);
        return;
    }
    const QString text = event->text();
    // Control characters other than those (Ctrl+letters a scanner sends for GS and the like)
    // are kept as they are; keys without text (Shift alone, a dead key) are not keys of the scan.
    if (!text.isEmpty())
        emit keyTyped(text, at);
    QLineEdit::keyPressEvent(event);
    keepShort();
}

void KeyboardScanField::inputMethodEvent(QInputMethodEvent* event) {
    // A character composed with a dead key (dead acute, e) or an input method comes as text
    // committed here, not as a key press. It carries no time: it is taken as it is handled.
    if (!event->commitString().isEmpty())
        emit keyTyped(event->commitString(), 0);
    QLineEdit::inputMethodEvent(event);
    keepShort();
}

void KeyboardScanField::keepShort() {
    // Cut to half at a time, so that a flood of keys lays the field out afresh seldom.
    if (text().size() > MaxShown)
        setText(text().right(MaxShown / 2));
}

} // namespace scan_log
