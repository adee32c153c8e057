// Received blocks of any content and size appended to a view: the view stays bounded, the caret
// ends after the new text, and the hex view never gains a line break.
#include "views/text_view.h"
#include "views/view_rules.h"

#include <cstdint>
#include <cstdlib>

using namespace views;

namespace {

constexpr qsizetype Bound = 16384;

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    views::PlainTextView view;
    views::PlainTextView hexView;
    // The first byte of each chunk gives its length, so one input makes a run of blocks; a
    // length byte of 255 makes a large block to exercise several cuts at once.
    size_t at = 0;
    while (at < size) {
        size_t length = data[at++];
        if (length == 255)
            length = std::min<size_t>(size - at, 40000);
        length = std::min(length, size - at);
        QString block = QString::fromLatin1(reinterpret_cast<const char*>(data + at),
                                            static_cast<qsizetype>(length));
        at += length;

        QString hex = views::hexRendering(block);
        check(!hex.contains(QLatin1Char('\r')) && !hex.contains(QLatin1Char('\n')));
        const qsizetype hexLength = hex.size();
        views::AppendToView(hexView, hex);
        check(hexView.TextLength() < Bound + hexLength);
        check(hexView.SelStart() == hexView.TextLength() && hexView.SelLength() == 0);

        const QString received = block;
        views::AppendToView(view, block);
        // Every CR may gain an LF, nothing else grows.
        check(view.TextLength() < Bound + 2 * received.size());
        check(view.SelStart() == view.TextLength() && view.SelLength() == 0);
        check(!block.contains(QChar(8)));
    }
    return 0;
}
