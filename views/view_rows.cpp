#include "views/view_rows.h"

#include <algorithm>

namespace views {

ViewRows::ViewRows() : starts_{0}, ends_{0}, firstRows_{0}, widestBefore_{0} {}

void ViewRows::update(QStringView text, int unchangedBefore) {
    const int length = static_cast<int>(text.size());
    int from = std::clamp(unchangedBefore, 0, std::min(length, textLength_));
    // A CR just before the change may have become (or stopped being) the first half of a pair.
    if (from > 0 && text[from - 1] == Cr)
        --from;

    // Lines that start after `from` are found again; the one holding `from` stays open.
    const auto kept = std::upper_bound(starts_.begin(), starts_.end(), from) - starts_.begin();
    starts_.resize(kept);
    ends_.resize(kept);
    firstRows_.resize(kept);
    widestBefore_.resize(kept);
    const int reopened = static_cast<int>(kept) - 1;

    const char16_t* chars = text.utf16();
    for (int i = from; i < length; ++i) {
        const char16_t c = chars[i];
        if (c != Cr && c != Lf)
            continue;
        ends_.back() = i;
        if (c == Cr && i + 1 < length && chars[i + 1] == Lf)
            ++i;
        starts_.push_back(i + 1);
        ends_.push_back(i + 1);
        firstRows_.push_back(0);
        widestBefore_.push_back(0);
    }
    ends_.back() = length;
    textLength_ = length;
    recountFrom(reopened + 1);
}

void ViewRows::setColumns(int columns) {
    columns = std::max(1, columns);
    if (columns == columns_)
        return;
    columns_ = columns;
    recountFrom(1);
}

// Row and width bookkeeping for the lines from `line` on; the lines before it are as they were.
void ViewRows::recountFrom(int line) {
    for (int k = std::max(1, line); k < static_cast<int>(starts_.size()); ++k) {
        firstRows_[k] = firstRows_[k - 1] + rowsOf(k - 1);
        widestBefore_[k] = std::max(widestBefore_[k - 1], ends_[k - 1] - starts_[k - 1]);
    }
}

int ViewRows::rowsOf(int line) const {
    const int length = ends_[line] - starts_[line];
    return std::max(1, (length + columns_ - 1) / columns_);
}

int ViewRows::rowCount() const {
    const int last = static_cast<int>(starts_.size()) - 1;
    return firstRows_[last] + rowsOf(last);
}

int ViewRows::widestRow() const {
    const int last = static_cast<int>(starts_.size()) - 1;
    return std::min(columns_, std::max(widestBefore_[last], ends_[last] - starts_[last]));
}

int ViewRows::lineOf(int position) const {
    return static_cast<int>(std::upper_bound(starts_.begin(), starts_.end(), position) -
                            starts_.begin()) -
           1;
}

ViewRows::Row ViewRows::row(int index) const {
    index = std::clamp(index, 0, rowCount() - 1);
    const int line = static_cast<int>(
        std::upper_bound(firstRows_.begin(), firstRows_.end(), index) - firstRows_.begin() - 1);
    const int sub = index - firstRows_[line];
    const int start = starts_[line] + sub * columns_;
    return {start, std::min(start + columns_, ends_[line]), sub == rowsOf(line) - 1};
}

ViewRows::Cell ViewRows::cellOf(int position, bool upstream) const {
    const int line = lineOf(std::clamp(position, 0, textLength_));
    const int length = ends_[line] - starts_[line];
    // A position inside a CR LF pair shows where the pair begins.
    const int offset = std::clamp(position - starts_[line], 0, length);
    if (offset > 0 && offset % columns_ == 0 && (offset == length || upstream))
        return {firstRows_[line] + offset / columns_ - 1, columns_};
    return {firstRows_[line] + offset / columns_, offset % columns_};
}

ViewRows::Pick ViewRows::positionAt(int rowIndex, int column) const {
    const Row r = row(rowIndex);
    const int width = r.end - r.start;
    const int offset = std::clamp(column, 0, width);
    return {r.start + offset, offset == width && width > 0 && !r.lastOfLine};
}

} // namespace views
