#include "scan_log/window/keyboard_scan_field.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace scan_log {

namespace {

// A key that types text into the scan: no Ctrl, Alt or Meta with it (Ctrl+] is how a scanner in
// keyboard mode sends GS, but such keys are rare and go the long way).
bool typesText(const QKeyEvent* key) {
    return !key->text().isEmpty() && key->text().at(0) >= u' ' &&
           !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

} // namespace

KeyboardScanField::KeyboardScanField(QWidget* parent) : QLineEdit(parent) {
    setObjectName(QStringLiteral("KeyboardScan"));
    setPlaceholderText(QStringLiteral("Scans typed by a keyboard-mode scanner arrive here"));
    setToolTip(QStringLiteral("A scanner in keyboard mode types its codes into the window that "
                              "has the focus: click here first, then scan. Each scan becomes a "
                              "row whose source is the keyboard."));
    // What the field shows catches up with the keys at most this often: a scanner's burst of
    // keys costs one layout of the field, not one a key.
    show_.setSingleShot(true);
    show_.setInterval(ShowMs);
    connect(&show_, &QTimer::timeout, this, &KeyboardScanField::showTyped);
}

void KeyboardScanField::clearScan() {
    typed_.clear();
    show_.stop();
    clear();
}

bool KeyboardScanField::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        // A key that types text is the field's: no shortcut is looked for (a look costs more
        // than the rest of the key).
        if (typesText(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    } else if (event->type() == QEvent::KeyPress) {
        // Tab ends a scan here instead of moving the focus on.
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
    if (typesText(event)) {
        emit keyTyped(event->text(), at);
        typed_ += event->text();
        if (!show_.isActive())
            show_.start();
        return;
    }
    // Control characters (Ctrl+letters a scanner sends for GS and the like) are kept as they
    // are; keys without text (Shift alone, a dead key) are not keys of the scan.
    if (!event->text().isEmpty())
        emit keyTyped(event->text(), at);
    QLineEdit::keyPressEvent(event);
}

void KeyboardScanField::inputMethodEvent(QInputMethodEvent* event) {
    // A character composed with a dead key (dead acute, e) or an input method comes as text
    // committed here, not as a key press. It carries no time: it is taken as it is handled.
    if (!event->commitString().isEmpty())
        emit keyTyped(event->commitString(), 0);
    QLineEdit::inputMethodEvent(event);
    typed_ = text();
}

void KeyboardScanField::showTyped() {
    if (typed_.size() > MaxShown)
        typed_ = typed_.right(MaxShown);
    setText(typed_);
}

} // namespace scan_log
