#pragma once

#include "views/view_rows.h"

#include <QStringView>

// Where the caret of a fixed-pitch view goes, worked out from its text and rows alone.
//
// The caret stops between the characters a user sees: a CR LF pair and a surrogate pair are one
// character each. A word is a run of letters, digits and '_'.

namespace views {

// A position that splits a CR LF pair or a surrogate pair, moved back to the pair's start.
int snapToCharacter(QStringView text, int position);
// The caret position one character after, or before, position (clamped to the text).
int nextCharacter(QStringView text, int position);
int previousCharacter(QStringView text, int position);
// Ctrl+Right: to the start of the next word. Ctrl+Left: to the start of this word or the one
// before.
int nextWord(QStringView text, int position);
int previousWord(QStringView text, int position);

struct TextSpan {
    int from;
    int to;
    bool operator==(const TextSpan&) const = default;
};
// What a double click at position selects: the word it touches, or else the one character after
// it.
TextSpan wordAt(QStringView text, int position);

// The caret keys of a text box; each moves the caret, or with Shift extends the selection.
enum class CaretMove {
    NextChar,
    PreviousChar,
    NextWord,
    PreviousWord,
    NextRow,
    PreviousRow,
    NextPage,
    PreviousPage,
    StartOfRow,
    EndOfRow,
    StartOfText,
    EndOfText,
};

// A selection as the user moves it. The anchor is the end that stays, the caret the end that
// moves (where it is drawn); upstream shows a caret at a wrap at the end of the row before (where
// End puts it). Up and down keep to preferredColumn across shorter rows, -1 for the caret's own.
struct CaretState {
    int anchor = 0;
    int caret = 0;
    bool upstream = false;
    int preferredColumn = -1;
    bool operator==(const CaretState&) const = default;
};

struct CaretStep {
    CaretState state;
    // Rows to scroll the view by (Page Up and Page Down), before the caret is brought into sight.
    int scrollRows = 0;
};

// The selection after a caret key. Without extend, the key collapses a selection first (Left and
// Right to its start or end); with extend, the anchor stays. rows must be up to date with text;
// pageRows is how many rows a page holds (at least one is moved).
CaretStep moveCaret(QStringView text, const ViewRows& rows, const CaretState& from, CaretMove move,
                    bool extend, int pageRows);

} // namespace views
