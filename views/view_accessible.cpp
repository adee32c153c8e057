#include "views/view_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace views {

namespace {

// Offsets are positions in the view's text, a line break counting as its two characters CR LF.
class ViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    ViewAccessible(QWidget* widget, AccessibleTextView* view)
        : QAccessibleWidget(widget, QAccessible::EditableText), view_(view) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.editable = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    QString text(QAccessible::Text type) const override {
        if (type == QAccessible::Value)
            return view()->Text();
        return QAccessibleWidget::text(type);
    }

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && view()->SelLength() > 0) {
            *startOffset = view()->SelStart();
            *endOffset = view()->SelStart() + view()->SelLength();
        }
    }
    int selectionCount() const override { return view()->SelLength() > 0 ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int selectionIndex) override {
        if (selectionIndex == 0)
            view()->setSelStart(view()->caretPosition());
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override {
        if (selectionIndex != 0)
            return;
        view()->setSelStart(std::min(startOffset, endOffset));
        view()->setSelLength(std::abs(endOffset - startOffset));
    }
    int cursorPosition() const override { return view()->caretPosition(); }
    void setCursorPosition(int position) override { view()->setSelStart(position); }
    QString text(int startOffset, int endOffset) const override {
        if (startOffset < 0 || endOffset < startOffset)
            return {};
        return view()->Text().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return view()->TextLength(); }
    QRect characterRect(int offset) const override {
        const QRect rect = view()->characterRect(offset);
        return {view()->textArea()->mapToGlobal(rect.topLeft()), rect.size()};
    }
    int offsetAtPoint(const QPoint& point) const override {
        return view()->positionAt(view()->textArea()->mapFromGlobal(point));
    }
    void scrollToSubstring(int startIndex, int endIndex) override {
        view()->ensurePositionVisible(endIndex);
        view()->ensurePositionVisible(startIndex);
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        // One font and colour throughout.
        *startOffset = 0;
        *endOffset = std::max(offset, view()->TextLength());
        return {};
    }

private:
    AccessibleTextView* view() const { return view_; }

    AccessibleTextView* view_;
};

QAccessibleInterface* viewFactory(const QString& className, QObject* object) {
    Q_UNUSED(className);
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* view = dynamic_cast<AccessibleTextView*>(object);
    return view ? new ViewAccessible(static_cast<QWidget*>(object), view) : nullptr;
}

} // namespace

void installViewAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(viewFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

bool accessibilityListening() {
    return QAccessible::isActive();
}

void notifyTextSet(QObject* view, const QString& old, const QString& text) {
    if (!QAccessible::isActive())
        return;
    QAccessibleTextUpdateEvent changed(view, 0, old, text);
    QAccessible::updateAccessibility(&changed);
}

void notifyTextReplaced(QObject* view, int position, const QString& removed,
                        const QString& inserted) {
    if (!QAccessible::isActive())
        return;
    if (removed.isEmpty()) {
        QAccessibleTextInsertEvent event(view, position, inserted);
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessibleTextUpdateEvent event(view, position, removed, inserted);
        QAccessible::updateAccessibility(&event);
    }
}

void notifyCaret(QObject* view, int selStart, int selLength, int caret) {
    if (!QAccessible::isActive())
        return;
    if (selLength > 0) {
        QAccessibleTextSelectionEvent selected(view, selStart, selStart + selLength);
        selected.setCursorPosition(caret);
        QAccessible::updateAccessibility(&selected);
    } else {
        QAccessibleTextCursorEvent moved(view, caret);
        QAccessible::updateAccessibility(&moved);
    }
}

} // namespace views
