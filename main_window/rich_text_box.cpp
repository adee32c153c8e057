#include "main_window/rich_text_box.h"

#include "main_window/view_accessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyleOptionSlider>

#include <algorithm>

namespace {

// Blank space around the text, as a QTextDocument keeps on every side.
constexpr int Margin = 4;
// The screen catches up at most once a frame: 16 ms (60 Hz), or 33 ms once changes have come
// in every frame for a while; a change after a quiet spell of two frames shows at once.
constexpr int FrameMs = 16;
constexpr int StreamFrameMs = 33;
constexpr int StreamAfterFrames = 10;
constexpr int QuietMs = 2 * FrameMs;
// How often a drag outside the viewport scrolls on.
constexpr int DragScrollMs = 50;

constexpr QChar Cr = u'\r';
constexpr QChar Lf = u'\n';

int floorDiv(int value, int divisor) {
    return value >= 0 ? value / divisor : -((-value + divisor - 1) / divisor);
}

// True where a position would split what the user sees as one character: a CR LF pair or a
// surrogate pair. The caret never stops there.
bool splitsCharacter(QStringView text, qsizetype position) {
    if (position <= 0 || position >= text.size())
        return false;
    return (text[position - 1] == Cr && text[position] == Lf) ||
           (text[position - 1].isHighSurrogate() && text[position].isLowSurrogate());
}

int snapToCharacter(QStringView text, int position) {
    while (splitsCharacter(text, position))
        --position;
    return position;
}

int nextCharacter(QStringView text, int position) {
    if (position >= text.size())
        return static_cast<int>(text.size());
    ++position;
    while (splitsCharacter(text, position))
        ++position;
    return position;
}

int previousCharacter(QStringView text, int position) {
    if (position <= 0)
        return 0;
    --position;
    while (splitsCharacter(text, position))
        --position;
    return position;
}

bool isWordCharacter(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

int nextWord(QStringView text, int position) {
    const int length = static_cast<int>(text.size());
    while (position < length && isWordCharacter(text[position]))
        ++position;
    while (position < length && !isWordCharacter(text[position]))
        ++position;
    return position;
}

int previousWord(QStringView text, int position) {
    while (position > 0 && !isWordCharacter(text[position - 1]))
        --position;
    while (position > 0 && isWordCharacter(text[position - 1]))
        --position;
    return position;
}

// Control characters other than line breaks (which never reach a row) show as a box.
bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0);
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
};
constexpr CaretKey CaretKeys[] = {
    {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar},
    {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar},
    {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord},
    {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord},
    {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine},
    {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine},
    {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage},
    {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage},
    {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine},
    {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine},
    {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument},
    {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument},
};

bool isViewKey(const QKeyEvent& event) {
    if (characterCode(event) != 0 || isDeleteKey(event) || event.matches(QKeySequence::Copy) ||
        event.matches(QKeySequence::SelectAll))
        return true;
    return std::any_of(std::begin(CaretKeys), std::end(CaretKeys), [&](const CaretKey& key) {
        return event.matches(key.move) || event.matches(key.extend);
    });
}

// A scroll bar that repaints only when it looks different. Data arriving changes a view's
// scroll range at every frame, yet the handle of a long text rarely moves by a whole pixel, and
// the scroll bars' repaints would otherwise cost more than the text's.
class ViewScrollBar : public QScrollBar {
public:
    ViewScrollBar(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {}

protected:
    void sliderChange(SliderChange change) override {
        if (change == SliderRangeChange || change == SliderValueChange) {
            QStyleOptionSlider option;
            initStyleOption(&option);
            const Look look{style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                    QStyle::SC_ScrollBarSlider, this),
                            value() == minimum(), value() == maximum()};
            if (look == shown_)
                return;
            shown_ = look;
        }
        QScrollBar::sliderChange(change);
    }

private:
    struct Look {
        QRect handle;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Look&) const = default;
    };
    Look shown_;
};

} // namespace

RichTextBox::RichTextBox(QWidget* parent) : QAbstractScrollArea(parent) {
    installViewAccessibility();
    setVerticalScrollBar(new ViewScrollBar(Qt::Vertical, this));
    setHorizontalScrollBar(new ViewScrollBar(Qt::Horizontal, this));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);

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
                const int topRow = std::max(0, floorDiv(scrolled, lineHeight_));
                keepAtTop_ = rows_.row(topRow).start;
                keepAtTopOffset_ = scrolled - topRow * lineHeight_;
            }
            keepAtTop_ = static_cast<int>(std::max<qsizetype>(0, keepAtTop_ - cut));
        } else {
            keepAtTop_ = -1;
        }
    }
    const QString old = QAccessible::isActive() ? model_.Text() : QString();
    model_.setText(text);
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent changed(this, 0, old, text);
        QAccessible::updateAccessibility(&changed);
    }
    caretAtStart_ = upstream_ = false;
    preferredColumn_ = -1;
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
    caretAtStart_ = upstream_ = false;
    preferredColumn_ = -1;
    noteSelectionChange();
}

int RichTextBox::SelLength() const {
    return model_.SelLength();
}

void RichTextBox::setSelLength(int length) {
    model_.setSelLength(length);
    caretAtStart_ = upstream_ = false;
    preferredColumn_ = -1;
    noteSelectionChange();
}

void RichTextBox::setSelText(const QString& text) {
    const int from = model_.SelStart();
    const bool changes = model_.SelLength() > 0 || !text.isEmpty();
    const bool tell = changes && QAccessible::isActive();
    const QString removed = tell ? model_.Text().mid(from, model_.SelLength()) : QString();
    model_.setSelText(text);
    if (tell && removed.isEmpty()) {
        QAccessibleTextInsertEvent inserted(this, from, text);
        QAccessible::updateAccessibility(&inserted);
    } else if (tell) {
        QAccessibleTextUpdateEvent replaced(this, from, removed, text);
        QAccessible::updateAccessibility(&replaced);
    }
    caretAtStart_ = upstream_ = false;
    preferredColumn_ = -1;
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

// A change after a quiet spell shows at the next pass of the event loop; changes that follow each
// other closely wait for the rest of the frame, so that a stream costs one refresh per frame.
// Once a stream has gone on for a while the frames are stretched: it then costs half the
// processor time, and each change still shows well within a twentieth of a second.
void RichTextBox::scheduleRefresh() {
    if (refreshTimer_.isActive())
        return;
    const qint64 since = sinceRefresh_.isValid() ? sinceRefresh_.elapsed() : QuietMs;
    if (since >= QuietMs) {
        busyFrames_ = 0;
        refreshTimer_.start(0);
        return;
    }
    ++busyFrames_;
    const int frame = busyFrames_ > StreamAfterFrames ? StreamFrameMs : FrameMs;
    refreshTimer_.start(static_cast<int>(std::max<qint64>(0, frame - since)));
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
    return std::max(1, (width - 2 * Margin) / charWidth_);
}

void RichTextBox::setRightMargin(int pixels) {
    rightMargin_ = std::max(0, pixels);
    relayout();
}

void RichTextBox::applyFont() {
    const QFontMetrics metrics(font());
    charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('M')));
    lineHeight_ = std::max(1, metrics.lineSpacing());
    ascent_ = metrics.ascent();
    // Glyphs are placed one per column by hand: the font's own advance is fractional, and the
    // columns must stay where the caret and the selection arithmetic put them.
    rawFont_ = QRawFont::fromFont(font());
    std::array<QChar, 256> latin1;
    for (int i = 0; i < 256; ++i)
        latin1[i] = QChar(static_cast<char16_t>(i));
    int count = 256;
    latin1Glyphs_.fill(0);
    if (rawFont_.isValid())
        rawFont_.glyphIndexesForChars(latin1.data(), 256, latin1Glyphs_.data(), &count);
    for (int i = 0; i < 256; ++i) {
        if (!rawFont_.isValid() || !rawFont_.supportsCharacter(latin1[i]))
            latin1Glyphs_[i] = 0;
    }
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

void RichTextBox::updateScrollBars() {
    const QSize area = viewport()->size();
    const int height = rows_.rowCount() * lineHeight_ + 2 * Margin;
    // One pixel more for a caret after the last column.
    const int width = rows_.widestRow() * charWidth_ + 2 * Margin + 1;
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, std::max(0, height - area.height()));
    vertical->setPageStep(area.height());
    vertical->setSingleStep(lineHeight_);
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, width - area.width()));
    horizontal->setPageStep(area.width());
    horizontal->setSingleStep(charWidth_);
}

// The single place where the model reaches the screen.
void RichTextBox::flushDisplay() {
    refreshTimer_.stop();
    if (!pending_)
        return;
    pending_ = false;
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
        vertical->setValue(Margin + rows_.cellOf(keepAtTop_).row * lineHeight_ + keepAtTopOffset_);
    }
    keepAtTop_ = -1;

    const int start = model_.SelStart();
    const int end = start + model_.SelLength();
    const int caretRow = caretCell().row;
    const int selectionTop = std::min(rows_.cellOf(start, true).row, caretRow);
    const int selectionBottom = std::max(rows_.cellOf(end).row, caretRow);
    if (paintFrom_ != INT_MAX)
        updateRows(rows_.cellOf(paintFrom_, true).row, INT_MAX);
    updateRows(shownSelectionTop_, shownSelectionBottom_);
    updateRows(selectionTop, selectionBottom);
    shownSelectionTop_ = selectionTop;
    shownSelectionBottom_ = selectionBottom;
    paintFrom_ = INT_MAX;
    caretOn_ = true;

    notifyAccessibility();
    sinceRefresh_.start();
    ++refreshCount_;
    emit displayRefreshed();
}

int RichTextBox::rowTop(int row) const {
    return Margin + row * lineHeight_ - verticalScrollBar()->value();
}

// Marks rows first..last (INT_MAX: to the bottom of the viewport) for painting.
void RichTextBox::updateRows(int first, int last) {
    const int scrolled = verticalScrollBar()->value() - Margin;
    const int height = viewport()->height();
    first = std::max(first, floorDiv(scrolled, lineHeight_));
    last = std::min(last, floorDiv(scrolled + height, lineHeight_));
    if (first > last)
        return;
    const int top = std::max(0, rowTop(first));
    const int bottom = std::min(height, rowTop(last) + lineHeight_);
    if (top < bottom)
        viewport()->update(QRect(0, top, viewport()->width(), bottom - top));
}

void RichTextBox::ensurePositionVisible(int position) {
    ensureIndex();
    const ViewRows::Cell cell = position == caretPosition() ? caretCell() : rows_.cellOf(position);
    const QSize area = viewport()->size();
    QScrollBar* vertical = verticalScrollBar();
    const int top = Margin + cell.row * lineHeight_;
    const int bottom = top + lineHeight_;
    if (top < vertical->value() + Margin)
        vertical->setValue(cell.row == 0 ? 0 : top);
    else if (bottom > vertical->value() + area.height())
        vertical->setValue(bottom - area.height() +
                           (cell.row == rows_.rowCount() - 1 ? Margin : 0));
    // Sideways the view jumps by a third of its width, so that a caret running along a long row
    // does not scroll the view at every character.
    QScrollBar* horizontal = horizontalScrollBar();
    const int left = Margin + cell.column * charWidth_;
    if (left - Margin < horizontal->value())
        horizontal->setValue(left - Margin - area.width() / 3);
    else if (left + charWidth_ > horizontal->value() + area.width())
        horizontal->setValue(left + charWidth_ - area.width() * 2 / 3);
}

void RichTextBox::revealCaret() {
    flushDisplay();
    ensurePositionVisible(caretPosition());
    restartBlink();
}

// Text changes are told as they happen (see setText and setSelText); the caret and selection once
// per refresh.
void RichTextBox::notifyAccessibility() {
    if (!QAccessible::isActive())
        return;
    if (model_.SelLength() > 0) {
        QAccessibleTextSelectionEvent selected(this, SelStart(), SelStart() + SelLength());
        selected.setCursorPosition(caretPosition());
        QAccessible::updateAccessibility(&selected);
    } else {
        QAccessibleTextCursorEvent moved(this, caretPosition());
        QAccessible::updateAccessibility(&moved);
    }
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
    return {Margin + cell.column * charWidth_ - horizontalScrollBar()->value(), rowTop(cell.row),
            charWidth_, lineHeight_};
}

RichTextBox::Pick RichTextBox::pickAt(const QPoint& point) const {
    ensureIndex();
    const int y = point.y() + verticalScrollBar()->value() - Margin;
    const int x = point.x() + horizontalScrollBar()->value() - Margin;
    const ViewRows::Pick pick =
        rows_.positionAt(floorDiv(y, lineHeight_), floorDiv(x + charWidth_ / 2, charWidth_));
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
    const QRect area = event->rect();
    const QString text = model_.Text();
    const QStringView chars(text);
    const int scrollX = horizontalScrollBar()->value();
    const int scrollY = verticalScrollBar()->value();
    const int firstRow = std::max(0, floorDiv(area.top() + scrollY - Margin, lineHeight_));
    const int lastRow =
        std::min(rows_.rowCount() - 1, floorDiv(area.bottom() + scrollY - Margin, lineHeight_));
    const int firstColumn = std::max(0, floorDiv(area.left() + scrollX - Margin, charWidth_));
    const int endColumn = std::max(0, floorDiv(area.right() + scrollX - Margin, charWidth_) + 1);
    const int selStart = model_.SelStart();
    const int selEnd = selStart + model_.SelLength();

    const QPalette::ColorGroup group = !isEnabled()       ? QPalette::Disabled
                                       : isActiveWindow() ? QPalette::Active
                                                          : QPalette::Inactive;
    const QColor colours[2] = {palette().color(group, QPalette::Text),
                               palette().color(group, QPalette::HighlightedText)};
    const QColor highlight = palette().color(group, QPalette::Highlight);

    // Everything of one colour goes out in one glyph run.
    QList<quint32> glyphs[2];
    QList<QPointF> positions[2];
    QList<QRectF> boxes[2];
    struct Fallback {
        QPointF at;
        QString text;
        bool selected;
    };
    QList<Fallback> fallbacks;
    auto xOf = [&](int column) { return Margin + column * charWidth_ - scrollX; };

    for (int r = firstRow; r <= lastRow; ++r) {
        const ViewRows::Row row = rows_.row(r);
        const int top = Margin + r * lineHeight_ - scrollY;
        const int baseline = top + ascent_;
        const int from = std::max(selStart, row.start);
        const int to = std::min(selEnd, row.end);
        if (from < to)
            painter.fillRect(
                QRect(xOf(from - row.start), top, (to - from) * charWidth_, lineHeight_),
                highlight);
        // A selected line break shows as one selected cell after the line.
        if (row.lastOfLine && row.end < chars.size() && selStart <= row.end && selEnd > row.end)
            painter.fillRect(QRect(xOf(row.end - row.start), top, charWidth_, lineHeight_),
                             highlight);

        const int stop = std::min(row.end, row.start + endColumn);
        for (int p = row.start + firstColumn; p < stop; ++p) {
            const char16_t c = chars[p].unicode();
            if (c == u' ' || c == u'\t')
                continue;
            const bool selected = p >= selStart && p < selEnd;
            const int x = xOf(p - row.start);
            if (isControl(c)) {
                boxes[selected] << QRectF(x + 1.5, top + lineHeight_ / 4 + 0.5, charWidth_ - 3,
                                          lineHeight_ / 2);
                continue;
            }
            quint32 glyph = c < 0x100 ? latin1Glyphs_[c] : 0;
            if (glyph == 0 && c >= 0x100 && !QChar::isSurrogate(c) &&
                rawFont_.supportsCharacter(QChar(c))) {
                int count = 1;
                const QChar one(c);
                rawFont_.glyphIndexesForChars(&one, 1, &glyph, &count);
            }
            if (glyph != 0) {
                glyphs[selected] << glyph;
                positions[selected] << QPointF(x, baseline);
                continue;
            }
            // Other characters are left to the font fallback, drawn alone in their cell.
            const bool pair =
                QChar::isHighSurrogate(c) && p + 1 < row.end && chars[p + 1].isLowSurrogate();
            fallbacks << Fallback{QPointF(x, baseline), chars.sliced(p, pair ? 2 : 1).toString(),
                                  selected};
            p += pair;
        }
    }

    for (int selected = 0; selected < 2; ++selected) {
        painter.setPen(colours[selected]);
        if (!glyphs[selected].isEmpty()) {
            QGlyphRun run;
            run.setRawFont(rawFont_);
            run.setGlyphIndexes(glyphs[selected]);
            run.setPositions(positions[selected]);
            painter.drawGlyphRun(QPointF(0, 0), run);
        }
        for (const QRectF& box : std::as_const(boxes[selected]))
            painter.drawRect(box);
    }
    painter.setFont(font());
    for (const Fallback& fallback : std::as_const(fallbacks)) {
        painter.setPen(colours[fallback.selected]);
        painter.drawText(fallback.at, fallback.text);
    }

    if (hasFocus() && caretOn_) {
        const ViewRows::Cell cell = caretCell();
        painter.fillRect(QRect(xOf(cell.column), rowTop(cell.row), 1, lineHeight_), colours[0]);
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
    viewport()->update(QRect(Margin + cell.column * charWidth_ - horizontalScrollBar()->value() - 1,
                             rowTop(cell.row), 3, lineHeight_));
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
    const QString text = model_.Text();
    const int caret = caretPosition();
    const bool collapse = !extend && model_.SelLength() > 0;
    const ViewRows::Cell cell = caretCell();
    ViewRows::Pick target{caret, false};
    int rows = 0; // rows to move up (negative) or down
    int keepColumn = -1;
    switch (key->move) {
    case QKeySequence::MoveToNextChar:
        target.position = collapse ? SelStart() + SelLength() : nextCharacter(text, caret);
        break;
    case QKeySequence::MoveToPreviousChar:
        target.position = collapse ? SelStart() : previousCharacter(text, caret);
        break;
    case QKeySequence::MoveToNextWord:
        target.position = nextWord(text, caret);
        break;
    case QKeySequence::MoveToPreviousWord:
        target.position = previousWord(text, caret);
        break;
    case QKeySequence::MoveToNextLine:
        rows = 1;
        break;
    case QKeySequence::MoveToPreviousLine:
        rows = -1;
        break;
    case QKeySequence::MoveToNextPage:
        rows = std::max(1, viewport()->height() / lineHeight_);
        break;
    case QKeySequence::MoveToPreviousPage:
        rows = -std::max(1, viewport()->height() / lineHeight_);
        break;
    case QKeySequence::MoveToStartOfLine:
        target = rows_.positionAt(cell.row, 0);
        break;
    case QKeySequence::MoveToEndOfLine:
        target = rows_.positionAt(cell.row, INT_MAX);
        break;
    case QKeySequence::MoveToStartOfDocument:
        target.position = 0;
        break;
    case QKeySequence::MoveToEndOfDocument:
        target.position = static_cast<int>(text.size());
        break;
    default:
        return false;
    }
    if (rows != 0) {
        // Up and down keep to the column the caret left, across shorter rows.
        keepColumn = preferredColumn_ >= 0 ? preferredColumn_ : cell.column;
        const int row = cell.row + rows;
        const bool page = rows > 1 || rows < -1;
        if (page) {
            verticalScrollBar()->setValue(verticalScrollBar()->value() + rows * lineHeight_);
            target = rows_.positionAt(std::clamp(row, 0, rows_.rowCount() - 1), keepColumn);
        } else if (row >= 0 && row < rows_.rowCount()) {
            target = rows_.positionAt(row, keepColumn);
        } else {
            target = {caret, upstream_};
        }
    }
    target.position = snapToCharacter(text, target.position);
    select(extend ? anchorPosition() : target.position, target.position, target.upstream);
    preferredColumn_ = keepColumn;
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
    const int at = pickAt(event->position().toPoint()).position;
    const QString text = model_.Text();
    const int length = static_cast<int>(text.size());
    int from = at;
    int to = at;
    while (from > 0 && isWordCharacter(text[from - 1]))
        --from;
    while (to < length && isWordCharacter(text[to]))
        ++to;
    if (from == to)
        to = nextCharacter(text, at);
    select(from, to);
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
