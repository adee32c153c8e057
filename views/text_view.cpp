#include "views/text_view.h"

#include <algorithm>

namespace views {

void PlainTextView::setText(const QString& text) {
    text_ = text;
    selStart_ = 0;
    selLength_ = 0;
}

void PlainTextView::setSelStart(int start) {
    selStart_ = std::clamp(start, 0, TextLength());
    selLength_ = 0;
}

void PlainTextView::setSelLength(int length) {
    selLength_ = std::clamp(length, 0, TextLength() - selStart_);
}

void PlainTextView::setSelText(const QString& text) {
    text_.replace(selStart_, selLength_, text);
    selStart_ += static_cast<int>(text.size());
    selLength_ = 0;
}

} // namespace views
