#pragma once

#include <QStringView>

#include <vector>

namespace views {

// The two characters that break a line in the views.
inline constexpr char16_t Cr = u'\r';
inline constexpr char16_t Lf = u'\n';

// Where the rows of a fixed-pitch view fall in its text. A line ends at a line break (a CR LF
// pair, a lone CR or a lone LF; the break itself is not shown) and wraps into rows of a fixed
// number of columns, one character per column; an empty line is still one row.
//
// The index is brought up to date from the first changed character on, so appending to the text
// costs as much as the appended part, whatever the length of the line it extends.
class ViewRows {
public:
    struct Row {
        int start; // text position of the row's first character
        int end;   // position after its last character (before the line break, if any)
        bool lastOfLine;
    };
    // Where a caret is shown: a row and the number of columns before it.
    struct Cell {
        int row;
        int column;
    };
    // A text position picked on screen. `upstream` is set when the pick lies past the end of a
    // wrapped row, whose end is the same position as the start of the next row.
    struct Pick {
        int position;
        bool upstream;
    };

    ViewRows();

    // Brings the index up to date with text, given that its first `unchangedBefore` characters
    // are the same as at the previous update (0 rebuilds the whole index).
    void update(QStringView text, int unchangedBefore);

    // Columns per row, at least 1.
    void setColumns(int columns);
    int columns() const { return columns_; }

    int rowCount() const;
    // Columns of the widest row.
    int widestRow() const;
    Row row(int index) const;

    // The cell of a caret at position. A position at a wrap is shown at the start of the next row,
    // or with upstream at the end of the row before (where End puts it). The end of a line whose
    // last row is full is shown after that row's last column.
    Cell cellOf(int position, bool upstream = false) const;
    // The position nearest to a column of a row; rows and columns out of range are clamped.
    Pick positionAt(int row, int column) const;

private:
    int lineOf(int position) const;
    int rowsOf(int line) const;
    void recountFrom(int line);

    int columns_ = 1;
    int textLength_ = 0;
    // Per line: first character, end of its characters (where its break begins), first row, and
    // the widest of the lines before it.
    std::vector<int> starts_;
    std::vector<int> ends_;
    std::vector<int> firstRows_;
    std::vector<int> widestBefore_;
};

} // namespace views
