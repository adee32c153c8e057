#include "main_window/rich_text_box.h"

#include <QKeyEvent>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStringView>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

constexpr QChar Cr = u'\r';
constexpr QChar Lf = u'\n';

bool isPairAt(QStringView text, qsizetype index) {
    return index >= 0 && index + 1 < text.size() && text[index] == Cr && text[index + 1] == Lf;
}

// The character code a key types, or 0 for a key that types nothing (those keep their native
// meaning: caret movement, selection, copy, select all).
int characterCode(const QKeyEvent& event) {
    switch (event.key()) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    default:
        break;
    }
    // With Ctrl or Alt a key is a command (Ctrl+1, Alt+letter), even where it carries text.
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return 0;
    const QString text = event.text();
    if (text.size() != 1)
        return 0;
    const QChar c = text.front();
    if (c.category() == QChar::Other_Control || c.isSurrogate())
        return 0;
    return c.unicode();
}

bool isDeleteKey(const QKeyEvent& event) {
    return event.key() == Qt::Key_Delete &&
           (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// What the document holds for a stretch of model text that does not begin with the LF of a
// pair: every line break, whether CR LF, CR or LF, is one '\n' (a new paragraph).
QString toDisplay(QStringView text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == Cr) {
            shown += Lf;
            if (isPairAt(text, i))
                ++i;
        } else {
            shown += text[i];
        }
    }
    return shown;
}

} // namespace

RichTextBox::RichTextBox(QWidget* parent) : QTextEdit(parent) {
    // The model keeps the text; an undo stack of the screen's copy would only cost time.
    setUndoRedoEnabled(false);
    setAcceptRichText(false);
    setReadOnly(true);
    // Read-only hides the caret and ignores the keyboard unless keyboard selection is allowed.
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFocusPolicy(Qt::StrongFocus);
    setTabChangesFocus(true);

    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(9.75);
    setFont(font);

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(0);
    connect(&refreshTimer_, &QTimer::timeout, this, &RichTextBox::flushDisplay);
    connect(this, &QTextEdit::cursorPositionChanged, this, &RichTextBox::syncCaretFromWidget);
    connect(this, &QTextEdit::selectionChanged, this, &RichTextBox::syncCaretFromWidget);
}

RichTextBox::~RichTextBox() {
    // QTextEdit tears its document down after this object's members are gone; no cursor signal
    // may reach syncCaretFromWidget then.
    disconnect(this, nullptr, this, nullptr);
}

QString RichTextBox::Text() const {
    return model_.Text();
}

void RichTextBox::setText(const QString& text) {
    model_.setText(text);
    noteTextChange(0);
    noteCaretChange();
}

int RichTextBox::TextLength() const {
    return model_.TextLength();
}

int RichTextBox::SelStart() const {
    return model_.SelStart();
}

void RichTextBox::setSelStart(int start) {
    model_.setSelStart(start);
    noteCaretChange();
}

int RichTextBox::SelLength() const {
    return model_.SelLength();
}

void RichTextBox::setSelLength(int length) {
    model_.setSelLength(length);
    noteCaretChange();
}

void RichTextBox::setSelText(const QString& text) {
    const int from = model_.SelStart();
    const bool changes = model_.SelLength() > 0 || !text.isEmpty();
    model_.setSelText(text);
    if (changes)
        noteTextChange(from);
    noteCaretChange();
}

void RichTextBox::setRightMargin(int pixels) {
    if (pixels > 0) {
        setLineWrapMode(QTextEdit::FixedPixelWidth);
        setLineWrapColumnOrWidth(pixels);
    } else {
        setLineWrapMode(QTextEdit::WidgetWidth);
    }
}

int RichTextBox::rightMargin() const {
    return lineWrapMode() == QTextEdit::FixedPixelWidth ? lineWrapColumnOrWidth() : 0;
}

void RichTextBox::noteTextChange(int from) {
    unchangedPrefix_ = std::min(unchangedPrefix_, from);
    textDirty_ = true;
    refreshTimer_.start();
}

void RichTextBox::noteCaretChange() {
    caretDirty_ = true;
    refreshTimer_.start();
}

// The single place where the model reaches the screen. Every change of one pass of the event
// loop lands here together, through the zero timer.
void RichTextBox::flushDisplay() {
    refreshTimer_.stop();
    if (!textDirty_ && !caretDirty_)
        return;
    {
        // The document and cursor changes below must not be read back as the user's caret.
        const QScopedValueRollback<bool> refreshing(refreshing_, true);
        if (textDirty_)
            refreshText();
        textDirty_ = false;
        refreshCaret();
        caretDirty_ = false;
    }
    emit displayRefreshed();
}

// Replaces only what changed after the unchanged prefix; for received data that is an insert at
// the end of the document, which lays out just the last paragraph.
void RichTextBox::refreshText() {
    const QString text = model_.Text();
    int from = std::min(unchangedPrefix_, static_cast<int>(text.size()));
    int displayFrom = 0;
    if (from > 0 && text[from - 1] == Cr) {
        // A CR shown alone may have been joined by an LF since: show it again with what follows.
        --from;
        displayFrom = from + 1 == shownLength_ ? displayLength() - 1 : displayPosition(from);
    } else {
        displayFrom = from == shownLength_ ? displayLength() : displayPosition(from);
    }

    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.setPosition(displayFrom);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    if (cursor.hasSelection())
        cursor.removeSelectedText();
    if (from < text.size())
        cursor.insertText(toDisplay(QStringView(text).mid(from)));
    cursor.endEditBlock();

    shownLength_ = static_cast<int>(text.size());
    unchangedPrefix_ = shownLength_;
}

void RichTextBox::refreshCaret() {
    const int total = model_.TextLength();
    const int start = model_.SelStart();
    const int end = start + model_.SelLength();
    // The caret sits at the end after every received block; that needs no counting.
    const int displayStart = start == total ? displayLength() : displayPosition(start);
    const int displayEnd = end == start   ? displayStart
                           : end == total ? displayLength()
                                          : displayPosition(end);

    // Leave an equal selection alone: it keeps the direction the user dragged it in.
    QTextCursor cursor = textCursor();
    if (cursor.selectionStart() != displayStart || cursor.selectionEnd() != displayEnd) {
        cursor.setPosition(displayStart);
        cursor.setPosition(displayEnd, QTextCursor::KeepAnchor);
        setTextCursor(cursor);
    }
    if (start == total) {
        // Follow the data: down to the document's bottom margin, not just to the caret's line.
        ensureCursorVisible();
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    }
}

void RichTextBox::syncCaretFromWidget() {
    // While the screen is behind the model its positions mean nothing; the next refresh puts the
    // model's caret on screen anyway.
    if (refreshing_ || textDirty_)
        return;
    const QTextCursor cursor = textCursor();
    const int start = modelPosition(cursor.selectionStart());
    const int end = modelPosition(cursor.selectionEnd());
    model_.setSelStart(start);
    model_.setSelLength(end - start);
}

int RichTextBox::displayLength() const {
    return document()->characterCount() - 1;
}

int RichTextBox::displayPosition(int modelPosition) const {
    const QString text = model_.Text();
    return modelPosition - static_cast<int>(QStringView(text).left(modelPosition).count(u"\r\n"));
}

int RichTextBox::modelPosition(int displayPosition) const {
    const QString text = model_.Text();
    if (displayPosition >= displayLength())
        return static_cast<int>(text.size());
    qsizetype index = 0;
    for (int shown = 0; shown < displayPosition && index < text.size(); ++shown)
        index += isPairAt(text, index) ? 2 : 1;
    return static_cast<int>(index);
}

bool RichTextBox::event(QEvent* event) {
    // Keys this widget types must reach keyPressEvent even where a window shortcut uses them.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (characterCode(key) != 0 || isDeleteKey(key)) {
            event->accept();
            return true;
        }
    }
    return QTextEdit::event(event);
}

bool RichTextBox::viewportEvent(QEvent* event) {
    // The mouse acts on the screen's positions, so the screen must show the model first.
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::ContextMenu:
        flushDisplay();
        break;
    default:
        break;
    }
    return QTextEdit::viewportEvent(event);
}

void RichTextBox::keyPressEvent(QKeyEvent* event) {
    flushDisplay();
    if (int code = characterCode(*event); code != 0) {
        event->accept();
        const QPointer<RichTextBox> alive(this);
        emit keyPress(code);
        if (alive && code != 0)
            typeCharacter(code);
        return;
    }
    if (isDeleteKey(*event)) {
        event->accept();
        deleteForward();
        return;
    }
    // Caret moves and selections come back into the model through the cursor signals; a key
    // that moves nothing leaves the model's caret exactly where it was.
    QTextEdit::keyPressEvent(event);
}

void RichTextBox::typeCharacter(int code) {
    if (code == 8)
        deleteBackward();
    else if (code == 13)
        setSelText(QStringLiteral("\r\n"));
    else if (code > 0 && code <= 0xFFFF)
        setSelText(QString(QChar(static_cast<char16_t>(code))));
}

// A CR LF pair, or a surrogate pair, is one character to the user and is erased as one.
void RichTextBox::deleteBackward() {
    if (model_.SelLength() == 0) {
        const int at = model_.SelStart();
        if (at == 0)
            return;
        const QString text = model_.Text();
        const bool pair = isPairAt(text, at - 2) || (at >= 2 && text[at - 1].isLowSurrogate() &&
                                                     text[at - 2].isHighSurrogate());
        const int count = pair ? 2 : 1;
        setSelStart(at - count);
        setSelLength(count);
    }
    setSelText(QString());
}

void RichTextBox::deleteForward() {
    if (model_.SelLength() == 0) {
        const int at = model_.SelStart();
        const QString text = model_.Text();
        if (at >= text.size())
            return;
        const bool pair =
            isPairAt(text, at) ||
            (at + 1 < text.size() && text[at].isHighSurrogate() && text[at + 1].isLowSurrogate());
        setSelLength(pair ? 2 : 1);
    }
    setSelText(QString());
}
