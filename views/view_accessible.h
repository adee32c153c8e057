#pragma once

#include "views/text_view.h"

#include <QRect>

class QObject;
class QPoint;
class QWidget;

namespace views {

// What a screen reader needs of a data view besides its text, caret and selection: where the
// caret is, where characters are on screen, and a way to bring one into sight. A view that
// implements it is read through the accessible text interface once installViewAccessibility()
// has run.
class AccessibleTextView : public TextView {
public:
    // The moving end of the selection, where the caret is drawn.
    virtual int caretPosition() const = 0;
    // Where a caret at position is drawn, in the coordinates of textArea().
    virtual QRect characterRect(int position) const = 0;
    // The position nearest to a point of textArea().
    virtual int positionAt(const QPoint& point) const = 0;
    virtual void ensurePositionVisible(int position) = 0;
    // The widget the text is drawn on.
    virtual QWidget* textArea() const = 0;
};

// Lets screen readers read the data views: their text, caret and selection, through the
// accessible text interface. Safe to call any number of times.
void installViewAccessibility();

// What a view tells a screen reader, if one listens. Text changes are told as they happen; the
// caret and selection when the screen has caught up with them.
bool accessibilityListening();
// The whole text was replaced.
void notifyTextSet(QObject* view, const QString& old, const QString& text);
// The text removed at position (none: an insertion) was replaced by inserted.
void notifyTextReplaced(QObject* view, int position, const QString& removed,
                        const QString& inserted);
void notifyCaret(QObject* view, int selStart, int selLength, int caret);

} // namespace views
