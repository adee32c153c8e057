#pragma once

#include "main_window/text_view.h"

#include <QTextEdit>
#include <QTimer>

class QKeyEvent;

// A data view of the main window. The text, caret and selection live in a plain model that
// every TextView call reads and writes at once, character for character (a line break is CR LF
// there). The widget only shows the model: it is brought up to date lazily, once for all the
// changes made within one pass of the event loop, so a burst of received blocks costs one
// document update instead of one per block.
//
// On screen each CR LF pair, and each lone CR or LF, is one line break; positions on screen
// therefore count a CR LF pair as a single character.
//
// Qt sees the widget as read-only: it moves the caret, selects and copies natively, and the
// widget itself does the typing on the model so that every typed key can be offered to the
// keyPress handler first. Use the TextView calls (or clear()) to change the text, never
// QTextEdit's own setters: those would change only the screen.
class RichTextBox : public QTextEdit, public TextView {
    Q_OBJECT

public:
    explicit RichTextBox(QWidget* parent = nullptr);
    ~RichTextBox() override;

    QString Text() const override;
    void setText(const QString& text) override;
    int TextLength() const override;
    int SelStart() const override;
    void setSelStart(int start) override;
    int SelLength() const override;
    void setSelLength(int length) override;
    void setSelText(const QString& text) override;

    // Empties the view; hides QTextEdit::clear(), which would empty only the screen.
    void clear() { setText(QString()); }

    // Wraps lines at a fixed width in pixels (including the document's margins); 0 or less wraps
    // at the widget's width.
    void setRightMargin(int pixels);
    // The fixed wrap width, or 0 when lines wrap at the widget's width.
    int rightMargin() const;

    const PlainTextView& model() const { return model_; }

    // Brings the screen up to date with the model now instead of at the next pass of the event
    // loop.
    void flushDisplay();

signals:
    // A key that produces a character is about to be typed; code is its character code (8 for
    // Backspace, 13 for Enter). A handler connected directly may change the code, or set it to 0
    // so that the view ignores the key.
    void keyPress(int& code);
    // The screen was brought up to date with the model (once per coalesced batch of changes).
    void displayRefreshed();

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void noteTextChange(int from);
    void noteCaretChange();
    void refreshText();
    void refreshCaret();
    void syncCaretFromWidget();
    void typeCharacter(int code);
    void deleteBackward();
    void deleteForward();
    int displayLength() const;
    int displayPosition(int modelPosition) const;
    int modelPosition(int displayPosition) const;

    PlainTextView model_;
    QTimer refreshTimer_;
    bool textDirty_ = false;
    bool caretDirty_ = false;
    bool refreshing_ = false;
    // Model characters before this position are on screen unchanged since the last refresh.
    int unchangedPrefix_ = 0;
    // Model length at the last refresh, to place an append without counting line breaks.
    int shownLength_ = 0;
};
