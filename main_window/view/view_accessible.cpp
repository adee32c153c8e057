#include "main_window/view/view_accessible.h"

#include "main_window/view/rich_text_box.h"

#include <QAccessibleWidget>

namespace {

// Offsets are positions in the view's text, a line break counting as its two characters CR LF.
class ViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ViewAccessible(RichTextBox* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

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
        return {view()->viewport()->mapToGlobal(rect.topLeft()), rect.size()};
    }
    int offsetAtPoint(const QPoint& point) const override {
        return view()->positionAt(view()->viewport()->mapFromGlobal(point));
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
    RichTextBox* view() const { return static_cast<RichTextBox*>(widget()); }
};

QAccessibleInterface* viewFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("RichTextBox") && object && object->isWidgetType())
        return new ViewAccessible(static_cast<RichTextBox*>(object));
    return nullptr;
}

} // namespace

void installViewAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(viewFactory);
        return true;
    }();
    Q_UNUSED(installed);
}
