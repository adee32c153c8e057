#pragma once

#include "views/frame_pacer.h"
#include "views/row_painter.h"
#include "views/view_accessible.h"
#include "views/view_rows.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QList>
#include <QTimer>

#include <climits>

class QMenu;

namespace views {

// A data view of the main window: a fixed-pitch text box built for text that arrives fast.
//
// The text, caret and selection live in a plain model that every TextView call reads and writes
// at once, character for character (a line break is CR LF there). The screen follows the model
// at most once per frame: changes only mark what is out of date, and a timer brings the screen up
// to date (at once after a quiet spell, otherwise at the end of the frame: 16 ms, 33 ms once data
// has kept coming for a while).
//
// On screen each CR LF pair, and each lone CR or LF, is one line break. Lines wrap by arithmetic
// at a fixed number of columns, so only the rows in sight are ever painted, and an append costs
// as much as the appended part however long its line is. Other control characters show as a small
// box, a tab as a blank.
//
// Keys that type a character are offered to the keyPress handler first and then typed into the
// model; the caret keys, the mouse, copy and select all act as in any text box.
//
// The widget holds these together; the parts that need no widget live apart: where caret keys
// lead (caret_moves.h), how rows are painted (RowPainter), when the screen catches up
// (FramePacer), and what screen readers are told (view_accessible.h).
class RichTextBox : public QAbstractScrollArea, public AccessibleTextView {
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

    void clear() { setText(QString()); }

    // Wraps lines at a fixed width in pixels, the document margins on both sides included; 0 or
    // less wraps at the width of the viewport.
    void setRightMargin(int pixels);
    // The fixed wrap width, or 0 when lines wrap at the viewport's width.
    int rightMargin() const { return rightMargin_; }
    int wrapColumns() const;

    const PlainTextView& model() const { return model_; }

    // Brings the screen up to date with the model now instead of at the next frame.
    void flushDisplay();
    // How often the screen has been brought up to date.
    // The characters of every row as laid out now, rows joined by '\n'.
    QString displayText() const;

    // The moving end of the selection, where the caret is drawn.
    int caretPosition() const override;
    // Where a caret at position is drawn, in viewport coordinates (one character cell wide).
    QRect characterRect(int position) const override;
    // The position nearest to a point of the viewport.
    int positionAt(const QPoint& point) const override;
    void ensurePositionVisible(int position) override;
    QWidget* textArea() const override { return viewport(); }

    // Copy and Select All, as the context menu shows them; the caller owns the menu.
    QMenu* createStandardContextMenu();
    void copy() const;
    void selectAll();

signals:
    // A key that produces a character is about to be typed; code is its character code (8 for
    // Backspace, 13 for Enter). A handler connected directly may change the code, or set it to 0
    // so that the view ignores the key.
    void keyPress(int& code);
    // The screen was brought up to date with the model (once per frame at most).
    void displayRefreshed();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    struct Pick {
        int position;
        bool upstream;
    };

    void noteTextChange(int from);
    void noteSelectionChange();
    void forgetCaretPlacement();
    void selectionSetByProgram();
    void scheduleRefresh();
    void ensureIndex() const;
    void applyFont();
    void relayout();
    void updateScrollBars();
    void followScrollBarsHere();
    // Scroll bar changes made meanwhile come from arriving data: the bars repaint at their own
    // pace.
    void setScrollBarsPaced(bool paced);
    bool followingEnd() const;
    void updateRows(int first, int last);
    int rowTop(int row) const;
    int charWidth() const { return rowPainter_.charWidth(); }
    int lineHeight() const { return rowPainter_.lineHeight(); }
    ViewRows::Cell caretCell() const;
    Pick pickAt(const QPoint& point) const;
    int anchorPosition() const;
    void select(int anchor, int caret, bool upstream = false);
    bool moveCaret(const QKeyEvent& event);
    void revealCaret();
    void restartBlink();
    void updateCaretArea();
    void paintFocusFrame();
    void typeCharacter(int code);
    void deleteBackward();
    void deleteForward();

    PlainTextView model_;
    // The row index is brought up to date on demand; its first `indexValidBefore_` characters
    // match the model.
    mutable ViewRows rows_;
    mutable int indexValidBefore_ = INT_MAX;
    int rightMargin_ = 0;

    RowPainter rowPainter_;

    // Frame pacing: what the screen does not show yet, and when it last caught up.
    QTimer refreshTimer_;
    FramePacer pacer_;
    bool pending_ = false;
    int paintFrom_ = INT_MAX;
    int shownSelectionTop_ = 0;
    int shownSelectionBottom_ = 0;
    int shownRowCount_ = 0;
    // The selection and caret the screen shows.
    struct Shown {
        int selectionStart = -1;
        int selectionEnd = -1;
        int caret = -1;
        bool upstream = false;
        bool operator==(const Shown&) const = default;
    };
    Shown shown_;
    // While the user reads further up, the text at the top of the viewport stays there when the
    // front of the text is cut: its position and how far its row is scrolled past.
    int keepAtTop_ = -1;
    int keepAtTopOffset_ = 0;
    // Where the bars had scrolled the viewport (see followScrollBarsHere).
    QPoint scrolledTo_;

    // The selection's moving end is its start (after Shift+Left, say) rather than its end; a
    // caret at a wrap is shown at the end of the row before (after End).
    bool caretAtStart_ = false;
    bool upstream_ = false;
    int preferredColumn_ = -1;

    QBasicTimer blinkTimer_;
    bool caretOn_ = true;
    QBasicTimer dragTimer_;
    bool dragging_ = false;
    QPoint dragPoint_;
};

} // namespace views
