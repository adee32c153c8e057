#include "views/rich_text_box.h"

#include "views/caret_moves.h"
#include "views/view_scroll_bar.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyleOptionSlider>

#include <algorithm>

namespace views {

namespace {

// Blank space around the text, as a QTextDocument keeps on every side.
constexpr int Margin = 4;
// The height of the bands the background is filled in.
constexpr int BackgroundBand = 64;
// How often a drag outside the viewport scrolls on.
constexpr int DragScrollMs = 50;

int floorDiv(int value, int divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

// The character code a key types, or 0 for a key that types nothing (those keep their text-box
// meaning: caret movement, selection, copy, select all, focus change).
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

// Caret keys: each moves the caret, or with its partner extends the selection.
struct CaretKey {
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey extend;
    CaretMove caretMove;
};
constexpr CaretKey CaretKeys[] = {
    {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, CaretMove::NextChar},
    {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, CaretMove::PreviousChar},
    {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, CaretMove::NextWord},
    {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, CaretMove::PreviousWord},
    {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, CaretMove::NextRow},
    {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, CaretMove::PreviousRow},
    {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, CaretMove::NextPage},
    {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, CaretMove::PreviousPage},
    {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, CaretMove::StartOfRow},
    {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, CaretMove::EndOfRow},
    {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument,
     CaretMove::StartOfText},
    {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, CaretMove::EndOfText},
};

bool isViewKey(const QKeyEvent& event) {
    if (characterCode(event) != 0 || isDeleteKey(event) || event.matches(QKeySequence::Copy) ||
        event.matches(QKeySequence::SelectAll))
        return true;
    return std::any_of(std::begin(CaretKeys), std::end(CaretKeys), [&](const CaretKey& key) {
        return event.matches(key.move) || event.matches(key.extend);
    });
}

} // namespace

RichTextBox::RichTextBox(QWidget* parent) : QAbstractScrollArea(parent) {
    installViewAccessibility();
    setVerticalScrollBar(new ViewScrollBar(Qt::Vertical, this));
    setHorizontalScrollBar(new ViewScrollBar(Qt::Horizontal, this));
    followScrollBarsHere();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    // The paint event fills the background itself (see paintEvent).
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    QFont font(QStringLiteral("Courier New"));
    font.setPointSizeF(9.75);
    font.setStyleHint(QFont::TypeWriter);
    setFont(font);
    applyFont();

    refreshTimer_.setSingleShot(true);
    refreshTimer_.setTimerType(Qt::PreciseTimer);
    connect(&refreshTimer_, &QTimer::timeout, this, &RichTextBox::flushDisplay);
    relayout();
}

RichTextBox::~RichTextBox() = default;

// --- The model ---

QString RichTextBox::Text() const {
    return model_.Text();
}

void RichTextBox::setText(const QString& text) {
    if (!followingEnd()) {
        // A cut from the front (the text becomes a suffix of itself) must not move what the user
        // is reading; any other new text has nothing in common with the old to hold on to.
        const QString old = model_.Text();
        const qsizetype cut = old.size() - text.size();
        if (cut > 0 && QStringView(old).sliced(cut) == text) {
            if (keepAtTop_ < 0) {
                ensureIndex();
                const int scrolled = verticalScrollBar()->value() - Margin;
                const int topRow = std::max(0, floorDiv(scrolled, lineHeight()));
                keepAtTop_ = rows_.row(topRow).start;
                keepAtTopOffset_ = scrolled - topRow * lineHeight();
            }
            keepAtTop_ = static_cast<int>(std::max<qsizetype>(0, keepAtTop_ - cut));
        } else {
            keepAtTop_ = -1;
        }
    }
    const QString old = accessibilityListening() ? model_.Text() : QString();
    model_.setText(text);
    notifyTextSet(this, old, text);
    forgetCaretPlacement();
    noteTextChange(0);
}

int RichTextBox::TextLength() const {
    return model_.TextLength();
}

int RichTextBox::SelStart() const {
    return model_.SelStart();
}

void RichTextBox::setSelStart(int start) {
    model_.setSelStart(start);
    selectionSetByProgram();
}

int RichTextBox::SelLength() const {
    return model_.SelLength();
}

void RichTextBox::setSelLength(int length) {
    model_.setSelLength(length);
    selectionSetByProgram();
}

// A selection set from outside starts afresh: no remembered column, the caret at its end.
void RichTextBox::forgetCaretPlacement() {
    caretAtStart_ = upstream_ = false;
    preferredColumn_ = -1;
}

void RichTextBox::selectionSetByProgram() {
    forgetCaretPlacement();
    noteSelectionChange();
}

void RichTextBox::setSelText(const QString& text) {
    const int from = model_.SelStart();
    const bool changes = model_.SelLength() > 0 || !text.isEmpty();
    const bool tell = changes && accessibilityListening();
    const QString removed = tell ? model_.Text().mid(from, model_.SelLength()) : QString();
    model_.setSelText(text);
    if (tell)
        notifyTextReplaced(this, from, removed, text);
    forgetCaretPlacement();
    if (changes)
        noteTextChange(from);
    else
        noteSelectionChange();
}

int RichTextBox::caretPosition() const {
    return model_.SelStart() + (caretAtStart_ ? 0 : model_.SelLength());
}

int RichTextBox::anchorPosition() const {
    return model_.SelStart() + (caretAtStart_ ? model_.SelLength() : 0);
}

void RichTextBox::select(int anchor, int caret, bool upstream) {
    const int length = model_.TextLength();
    anchor = std::clamp(anchor, 0, length);
    caret = std::clamp(caret, 0, length);
    model_.setSelStart(std::min(anchor, caret));
    model_.setSelLength(std::abs(caret - anchor));
    caretAtStart_ = caret < anchor;
    upstream_ = upstream;
    preferredColumn_ = -1;
    noteSelectionChange();
}

void RichTextBox::selectAll() {
    select(0, model_.TextLength());
    flushDisplay();
}

void RichTextBox::copy() const {
    if (model_.SelLength() > 0)
        QGuiApplication::clipboard()->setText(model_.Text().mid(SelStart(), SelLength()));
}

// --- Keeping the screen in step ---

void RichTextBox::noteTextChange(int from) {
    indexValidBefore_ = std::min(indexValidBefore_, from);
    paintFrom_ = std::min(paintFrom_, from);
    noteSelectionChange();
}

void RichTextBox::noteSelectionChange() {
    pending_ = true;
    scheduleRefresh();
}

// The pacer says when: see FramePacer.
void RichTextBox::scheduleRefresh() {
    if (!refreshTimer_.isActive())
        refreshTimer_.start(pacer_.delayForChange());
}

void RichTextBox::ensureIndex() const {
    if (indexValidBefore_ == INT_MAX)
        return;
    const QString text = model_.Text();
    rows_.update(text, indexValidBefore_);
    indexValidBefore_ = INT_MAX;
}

bool RichTextBox::followingEnd() const {
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

int RichTextBox::wrapColumns() const {
    const int width = rightMargin_ > 0 ? rightMargin_ : viewport()->width();
    return std::max(1, (width - 2 * Margin) / charWidth());
}

void RichTextBox::setRightMargin(int pixels) {
    rightMargin_ = std::max(0, pixels);
    relayout();
}

void RichTextBox::applyFont() {
    rowPainter_.setFont(font());
}

// After a change of font, wrap width or size: the rows and scroll ranges are recomputed, and a
// view that followed the end still does.
void RichTextBox::relayout() {
    const bool follow = followingEnd();
    ensureIndex();
    rows_.setColumns(wrapColumns());
    updateScrollBars();
    if (follow)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    viewport()->update();
}

// The scroll area follows its bars in ways that cost a view under a stream, whose ranges and
// positions change at every refresh: it lays the bars out again after every change of a range,
// which with both bars shown repaints them and what lies beneath (it raises each above the
// other), and it flashes both bars at every move, which starts a timer for each even where the
// style always shows them. Here a move scrolls the viewport and nothing more, and the layout is
// asked for when a bar comes or goes (updateScrollBars). A style whose bars show only while they
// move keeps the scroll area's way.
void RichTextBox::followScrollBarsHere() {
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    QStyleOptionSlider option;
    option.initFrom(vertical);
    if (style()->styleHint(QStyle::SH_ScrollBar_Transient, &option, vertical))
        return;
    for (QScrollBar* bar : {vertical, horizontal})
        disconnect(bar, SIGNAL(rangeChanged(int, int)), this, SLOT(_q_showOrHideScrollBars()));
    scrolledTo_ = QPoint(horizontal->value(), vertical->value());
    if (disconnect(vertical, SIGNAL(valueChanged(int)), this, SLOT(_q_vslide(int))))
        connect(vertical, &QScrollBar::valueChanged, this, [this](int y) {
            const int dy = scrolledTo_.y() - y;
            scrolledTo_.setY(y);
            scrollContentsBy(0, dy);
        });
    if (disconnect(horizontal, SIGNAL(valueChanged(int)), this, SLOT(_q_hslide(int))))
        connect(horizontal, &QScrollBar::valueChanged, this, [this](int x) {
            const int dx = scrolledTo_.x() - x;
            scrolledTo_.setX(x);
            scrollContentsBy(dx, 0);
        });
}

void RichTextBox::updateScrollBars() {
    const QSize area = viewport()->size();
    const int height = rows_.rowCount() * lineHeight() + 2 * Margin;
    // One pixel more for a caret after the last column.
    const int width = rows_.widestRow() * charWidth() + 2 * Margin + 1;
    QScrollBar* vertical = verticalScrollBar();
    QScrollBar* horizontal = horizontalScrollBar();
    const auto needed = [&] {
        return std::pair(vertical->maximum() > 0, horizontal->maximum() > 0);
    };
    const auto neededBefore = needed();
    vertical->setRange(0, std::max(0, height - area.height()));
    vertical->setPageStep(area.height());
    vertical->setSingleStep(lineHeight());
    horizontal->setRange(0, std::max(0, width - area.width()));
    horizontal->setPageStep(area.width());
    horizontal->setSingleStep(charWidth());
    // A bar comes or goes: the scroll area lays them out again (setting the policy it has does
    // that), after this change as it would have.
    if (needed() != neededBefore)
        QMetaObject::invokeMethod(
            this, [this] { setVerticalScrollBarPolicy(verticalScrollBarPolicy()); },
            Qt::QueuedConnection);
}

// The single place where the model reaches the screen.
void RichTextBox::flushDisplay() {
    refreshTimer_.stop();
    if (!pending_)
        return;
    pending_ = false;
    setScrollBarsPaced(true);
    QScrollBar* vertical = verticalScrollBar();
    const bool follow = followingEnd();
    ensureIndex();
    updateScrollBars();
    // Scroll first, paint after: every area marked below is in the final coordinates.
    if (follow) {
        vertical->setValue(vertical->maximum());
        if (caretPosition() == model_.TextLength())
            ensurePositionVisible(caretPosition());
    } else if (keepAtTop_ >= 0) {
        vertical->setValue(Margin + rows_.cellOf(keepAtTop_).row * lineHeight() + keepAtTopOffset_);
    }
    keepAtTop_ = -1;
    setScrollBarsPaced(false);

    const int start = model_.SelStart();
    const int end = start + model_.SelLength();
    const int caretRow = caretCell().row;
    const int selectionTop = std::min(rows_.cellOf(start, true).row, caretRow);
    const int selectionBottom = std::max(rows_.cellOf(end).row, caretRow);
    // A change of text repaints from its row to the last row of the text, or of the text as it
    // was when that was longer; the selection and caret repaint only where they moved.
    const int rowCount = rows_.rowCount();
    if (paintFrom_ != INT_MAX)
        updateRows(rows_.cellOf(paintFrom_, true).row, std::max(rowCount, shownRowCount_) - 1);
    shownRowCount_ = rowCount;
    const Shown shown{start, end, caretPosition(), upstream_};
    if (shown != shown_ || !caretOn_) {
        updateRows(shownSelectionTop_, shownSelectionBottom_);
        updateRows(selectionTop, selectionBottom);
    }
    shown_ = shown;
    shownSelectionTop_ = selectionTop;
    shownSelectionBottom_ = selectionBottom;
    paintFrom_ = INT_MAX;
    caretOn_ = true;

    notifyCaret(this, SelStart(), SelLength(), caretPosition());
    pacer_.refreshed();
    emit displayRefreshed();
}

void RichTextBox::setScrollBarsPaced(bool paced) {
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()})
        if (auto* viewBar = dynamic_cast<ViewScrollBar*>(bar))
            viewBar->setPaced(paced);
}

int RichTextBox::rowTop(int row) const {
    return Margin + row * lineHeight() - verticalScrollBar()->value();
}

// Marks rows first..last (INT_MAX: to the bottom of the viewport) for painting.
void RichTextBox::updateRows(int first, int last) {
    const int scrolled = verticalScrollBar()->value() - Margin;
    const int height = viewport()->height();
    first = std::max(first, floorDiv(scrolled, lineHeight()));
    last = std::min(last, floorDiv(scrolled + height, lineHeight()));
    if (first > last)
        return;
    const int top = std::max(0, rowTop(first));
    const int bottom = std::min(height, rowTop(last) + lineHeight());
    if (top < bottom)
        viewport()->update(QRect(0, top, viewport()->width(), bottom - top));
}

void RichTextBox::ensurePositionVisible(int position) {
    ensureIndex();
    const ViewRows::Cell cell = position == caretPosition() ? caretCell() : rows_.cellOf(position);
    const QSize area = viewport()->size();
    QScrollBar* vertical = verticalScrollBar();
    const int top = Margin + cell.row * lineHeight();
    const int bottom = top + lineHeight();
    if (top < vertical->value() + Margin)
        vertical->setValue(cell.row == 0 ? 0 : top);
    else if (bottom > vertical->value() + area.height())
        vertical->setValue(bottom - area.height() +
                           (cell.row == rows_.rowCount() - 1 ? Margin : 0));
    // Sideways the view jumps by a third of its width, so that a caret running along a long row
    // does not scroll the view at every character.
    QScrollBar* horizontal = horizontalScrollBar();
    const int left = Margin + cell.column * charWidth();
    if (left - Margin < horizontal->value())
        horizontal->setValue(left - Margin - area.width() / 3);
    else if (left + charWidth() > horizontal->value() + area.width())
        horizontal->setValue(left + charWidth() - area.width() * 2 / 3);
}

void RichTextBox::revealCaret() {
    flushDisplay();
    ensurePositionVisible(caretPosition());
    restartBlink();
}

QString RichTextBox::displayText() const {
    ensureIndex();
    const QString text = model_.Text();
    QString shown;
    shown.reserve(text.size());
    const int count = rows_.rowCount();
    for (int i = 0; i < count; ++i) {
        const ViewRows::Row row = rows_.row(i);
        if (i > 0)
            shown += Lf;
        shown += QStringView(text).sliced(row.start, row.end - row.start);
    }
    return shown;
}

// --- Geometry ---

ViewRows::Cell RichTextBox::caretCell() const {
    ensureIndex();
    return rows_.cellOf(caretPosition(), upstream_);
}

QRect RichTextBox::characterRect(int position) const {
    ensureIndex();
    const ViewRows::Cell cell = rows_.cellOf(position);
    return {Margin + cell.column * charWidth() - horizontalScrollBar()->value(), rowTop(cell.row),
            charWidth(), lineHeight()};
}

RichTextBox::Pick RichTextBox::pickAt(const QPoint& point) const {
    ensureIndex();
    const int y = point.y() + verticalScrollBar()->value() - Margin;
    const int x = point.x() + horizontalScrollBar()->value() - Margin;
    const ViewRows::Pick pick =
        rows_.positionAt(floorDiv(y, lineHeight()), floorDiv(x + charWidth() / 2, charWidth()));
    const QString text = model_.Text();
    return {snapToCharacter(text, pick.position), pick.upstream};
}

int RichTextBox::positionAt(const QPoint& point) const {
    return pickAt(point).position;
}

// --- Painting ---

void RichTextBox::paintEvent(QPaintEvent* event) {
    ensureIndex();
    QPainter painter(viewport());
    // Filled in bands a few rows high: Qt's raster engine hands a fill of more than about a
    // hundred scan lines to helper threads, and waking them costs more than the fill.
    const QBrush background = viewport()->palette().brush(viewport()->backgroundRole());
    for (const QRect& part : event->region()) {
        for (int top = part.top(); top <= part.bottom(); top += BackgroundBand)
            painter.fillRect(QRect(part.left(), top, part.width(),
                                   std::min(BackgroundBand, part.bottom() + 1 - top)),
                             background);
    }
    const QRect area = event->rect();
    const int scrollX = horizontalScrollBar()->value();
    const int scrollY = verticalScrollBar()->value();
    const int firstRow = std::max(0, floorDiv(area.top() + scrollY - Margin, lineHeight()));
    const int lastRow =
        std::min(rows_.rowCount() - 1, floorDiv(area.bottom() + scrollY - Margin, lineHeight()));
    const int firstColumn = std::max(0, floorDiv(area.left() + scrollX - Margin, charWidth()));
    const int endColumn = std::max(0, floorDiv(area.right() + scrollX - Margin, charWidth()) + 1);
    const int selStart = model_.SelStart();

    const QPalette::ColorGroup group = !isEnabled()       ? QPalette::Disabled
                                       : isActiveWindow() ? QPalette::Active
                                                          : QPalette::Inactive;
    const RowPainter::Colours colours{
        palette().color(group, QPalette::Text), palette().color(group, QPalette::HighlightedText),
        palette().color(group, QPalette::Highlight),
        background.style() == Qt::SolidPattern ? background.color() : QColor()};
    const QPoint origin(Margin - scrollX, Margin - scrollY);
    rowPainter_.paintRows(painter, model_.Text(), rows_, firstRow, lastRow, firstColumn, endColumn,
                          origin, selStart, selStart + model_.SelLength(), colours);

    if (hasFocus() && caretOn_) {
        const ViewRows::Cell cell = caretCell();
        painter.fillRect(
            QRect(origin.x() + cell.column * charWidth(), rowTop(cell.row), 1, lineHeight()),
            colours.text);
    }
}

void RichTextBox::scrollContentsBy(int dx, int dy) {
    viewport()->scroll(dx, dy);
}

void RichTextBox::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void RichTextBox::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
        applyFont();
        relayout();
        break;
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
    case QEvent::ActivationChange:
        viewport()->update();
        break;
    default:
        break;
    }
}

// --- Caret ---

void RichTextBox::restartBlink() {
    caretOn_ = true;
    const int flashTime = QApplication::cursorFlashTime();
    if (hasFocus() && flashTime >= 2)
        blinkTimer_.start(flashTime / 2, this);
    else
        blinkTimer_.stop();
    updateCaretArea();
}

void RichTextBox::updateCaretArea() {
    const ViewRows::Cell cell = caretCell();
    viewport()->update(
        QRect(Margin + cell.column * charWidth() - horizontalScrollBar()->value() - 1,
              rowTop(cell.row), 3, lineHeight()));
}

void RichTextBox::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
}

void RichTextBox::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    blinkTimer_.stop();
    restartBlink(); // without focus this only wipes the caret off
}

void RichTextBox::timerEvent(QTimerEvent* event) {
    if (event->timerId() == blinkTimer_.timerId()) {
        caretOn_ = !caretOn_;
        updateCaretArea();
    } else if (event->timerId() == dragTimer_.timerId()) {
        const Pick pick = pickAt(dragPoint_);
        select(anchorPosition(), pick.position, pick.upstream);
        revealCaret();
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

// --- Keyboard ---

bool RichTextBox::event(QEvent* event) {
    // Keys this widget acts on must reach keyPressEvent even where a window shortcut uses them.
    if (event->type() == QEvent::ShortcutOverride &&
        isViewKey(static_cast<const QKeyEvent&>(*event))) {
        event->accept();
        return true;
    }
    const bool handled = QAbstractScrollArea::event(event);
    // The frame is painted here, not in paintEvent, which paints the viewport.
    if (event->type() == QEvent::Paint && hasFocus())
        paintFocusFrame();
    return handled;
}

void RichTextBox::paintFocusFrame() {
    // The caret alone is easy to miss: the frame turns the highlight colour while the view has
    // the focus, as a focused line edit's does.
    const int width = std::max(1, frameWidth());
    const QRegion ring = QRegion(rect()) - QRegion(rect().adjusted(width, width, -width, -width));
    QPainter painter(this);
    const QColor colour = palette().color(QPalette::Active, QPalette::Highlight);
    for (const QRect& part : ring)
        painter.fillRect(part, colour);
}

void RichTextBox::keyPressEvent(QKeyEvent* event) {
    if (int code = characterCode(*event); code != 0) {
        event->accept();
        const QPointer<RichTextBox> alive(this);
        emit keyPress(code);
        if (!alive)
            return;
        if (code != 0)
            typeCharacter(code);
        revealCaret();
        return;
    }
    if (isDeleteKey(*event)) {
        event->accept();
        deleteForward();
        revealCaret();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        event->accept();
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        event->accept();
        selectAll();
        return;
    }
    if (moveCaret(*event)) {
        event->accept();
        revealCaret();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool RichTextBox::moveCaret(const QKeyEvent& event) {
    const CaretKey* key = nullptr;
    bool extend = false;
    for (const CaretKey& candidate : CaretKeys) {
        if (event.matches(candidate.move) || event.matches(candidate.extend)) {
            key = &candidate;
            extend = event.matches(candidate.extend);
            break;
        }
    }
    if (!key)
        return false;

    ensureIndex();
    const CaretState from{anchorPosition(), caretPosition(), upstream_, preferredColumn_};
    const CaretStep step = views::moveCaret(model_.Text(), rows_, from, key->caretMove, extend,
                                            viewport()->height() / lineHeight());
    if (step.scrollRows != 0)
        verticalScrollBar()->setValue(verticalScrollBar()->value() +
                                      step.scrollRows * lineHeight());
    select(step.state.anchor, step.state.caret, step.state.upstream);
    preferredColumn_ = step.state.preferredColumn;
    return true;
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
        const int from = previousCharacter(text, at);
        setSelStart(from);
        setSelLength(at - from);
    }
    setSelText(QString());
}

void RichTextBox::deleteForward() {
    if (model_.SelLength() == 0) {
        const int at = model_.SelStart();
        const QString text = model_.Text();
        if (at >= text.size())
            return;
        setSelLength(nextCharacter(text, at) - at);
    }
    setSelText(QString());
}

// --- Mouse ---

void RichTextBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    // What the user clicks on is what the screen shows: bring it up to date first.
    flushDisplay();
    const Pick pick = pickAt(event->position().toPoint());
    const int anchor = event->modifiers() & Qt::ShiftModifier ? anchorPosition() : pick.position;
    select(anchor, pick.position, pick.upstream);
    dragging_ = true;
    dragPoint_ = event->position().toPoint();
    revealCaret();
}

void RichTextBox::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    dragPoint_ = event->position().toPoint();
    const Pick pick = pickAt(dragPoint_);
    select(anchorPosition(), pick.position, pick.upstream);
    revealCaret();
    // Held outside the viewport, the drag goes on scrolling towards the pointer.
    if (viewport()->rect().contains(dragPoint_))
        dragTimer_.stop();
    else if (!dragTimer_.isActive())
        dragTimer_.start(DragScrollMs, this);
}

void RichTextBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    dragTimer_.stop();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (model_.SelLength() > 0 && clipboard->supportsSelection())
        clipboard->setText(model_.Text().mid(SelStart(), SelLength()), QClipboard::Selection);
}

void RichTextBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    flushDisplay();
    const TextSpan word = wordAt(model_.Text(), pickAt(event->position().toPoint()).position);
    select(word.from, word.to);
    revealCaret();
}

void RichTextBox::contextMenuEvent(QContextMenuEvent* event) {
    flushDisplay();
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

QMenu* RichTextBox::createStandardContextMenu() {
    auto* menu = new QMenu(this);
    QAction* copyAction = menu->addAction(tr("&Copy"));
    copyAction->setObjectName(QStringLiteral("copy"));
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(model_.SelLength() > 0);
    connect(copyAction, &QAction::triggered, this, [this] { copy(); });
    menu->addSeparator();
    QAction* selectAllAction = menu->addAction(tr("Select All"));
    selectAllAction->setObjectName(QStringLiteral("selectAll"));
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setEnabled(model_.TextLength() > 0);
    connect(selectAllAction, &QAction::triggered, this, [this] { selectAll(); });
    return menu;
}

} // namespace views
