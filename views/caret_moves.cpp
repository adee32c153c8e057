#include "views/caret_moves.h"

#include "views/view_rows.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace views {

namespace {

// True where a position would split what the user sees as one character. The caret never stops
// there.
bool splitsCharacter(QStringView text, qsizetype position) {
    if (position <= 0 || position >= text.size())
        return false;
    return (text[position - 1] == Cr && text[position] == Lf) ||
           (text[position - 1].isHighSurrogate() && text[position].isLowSurrogate());
}

bool isWordCharacter(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

} // namespace

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

TextSpan wordAt(QStringView text, int position) {
    const int length = static_cast<int>(text.size());
    TextSpan span{position, position};
    while (span.from > 0 && isWordCharacter(text[span.from - 1]))
        --span.from;
    while (span.to < length && isWordCharacter(text[span.to]))
        ++span.to;
    if (span.from == span.to)
        span.to = nextCharacter(text, position);
    return span;
}

CaretStep moveCaret(QStringView text, const ViewRows& rows, const CaretState& from, CaretMove move,
                    bool extend, int pageRows) {
    const int caret = from.caret;
    const int selectionStart = std::min(from.anchor, from.caret);
    const int selectionEnd = std::max(from.anchor, from.caret);
    const bool collapse = !extend && selectionStart != selectionEnd;
    const ViewRows::Cell cell = rows.cellOf(caret, from.upstream);
    const int page = std::max(1, pageRows);
    ViewRows::Pick target{caret, false};
    int rowsToMove = 0; // up (negative) or down
    switch (move) {
    case CaretMove::NextChar:
        target.position = collapse ? selectionEnd : nextCharacter(text, caret);
        break;
    case CaretMove::PreviousChar:
        target.position = collapse ? selectionStart : previousCharacter(text, caret);
        break;
    case CaretMove::NextWord:
        target.position = nextWord(text, caret);
        break;
    case CaretMove::PreviousWord:
        target.position = previousWord(text, caret);
        break;
    case CaretMove::NextRow:
        rowsToMove = 1;
        break;
    case CaretMove::PreviousRow:
        rowsToMove = -1;
        break;
    case CaretMove::NextPage:
        rowsToMove = page;
        break;
    case CaretMove::PreviousPage:
        rowsToMove = -page;
        break;
    case CaretMove::StartOfRow:
        target = rows.positionAt(cell.row, 0);
        break;
    case CaretMove::EndOfRow:
        target = rows.positionAt(cell.row, INT_MAX);
        break;
    case CaretMove::StartOfText:
        target.position = 0;
        break;
    case CaretMove::EndOfText:
        target.position = static_cast<int>(text.size());
        break;
    }

    CaretStep step;
    if (rowsToMove != 0) {
        // Up and down keep to the column the caret left, across shorter rows.
        step.state.preferredColumn = from.preferredColumn >= 0 ? from.preferredColumn : cell.column;
        const int row = cell.row + rowsToMove;
        if (std::abs(rowsToMove) > 1) {
            step.scrollRows = rowsToMove;
            target = rows.positionAt(std::clamp(row, 0, rows.rowCount() - 1),
                                     step.state.preferredColumn);
        } else if (row >= 0 && row < rows.rowCount()) {
            target = rows.positionAt(row, step.state.preferredColumn);
        } else {
            target = {caret, from.upstream};
        }
    }
    const int length = static_cast<int>(text.size());
    const int position = snapToCharacter(text, target.position);
    step.state.anchor = std::clamp(extend ? from.anchor : position, 0, length);
    step.state.caret = std::clamp(position, 0, length);
    step.state.upstream = target.upstream;
    return step;
}

} // namespace views
