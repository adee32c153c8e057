// Names, paths and scans from outside, as bytes and as text: what the plain-text helper makes of
// them holds no character that could hide or reorder the sentence around it, and a tooltip made
// of them holds no markup but its own.
#include "base/outside_text.h"

#include <cstdint>
#include <cstdlib>

using namespace base;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void checkVisible(const QString& shown) {
    for (qsizetype i = 0; i < shown.size(); ++i) {
        const QChar c = shown.at(i);
        check(c.unicode() >= 0x20 && c.unicode() != 0x7F);
        if (c.isHighSurrogate()) {
            check(i + 1 < shown.size() && shown.at(i + 1).isLowSurrogate());
            const char32_t code = QChar::surrogateToUcs4(c, shown.at(i + 1));
            check(QChar::category(code) != QChar::Other_Format);
            ++i;
            continue;
        }
        check(!c.isLowSurrogate());
        const QChar::Category category = c.category();
        check(category != QChar::Other_Format && category != QChar::Other_Control &&
              category != QChar::Separator_Line && category != QChar::Separator_Paragraph);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkVisible(base::outside_text::visible(bytes));
    // The same bytes taken as UTF-16 text, unpaired surrogates and all.
    const QString text(reinterpret_cast<const QChar*>(data), static_cast<qsizetype>(size / 2));
    checkVisible(base::outside_text::visible(text));

    const QString tip = base::outside_text::toolTip(text);
    const qsizetype open = tip.indexOf(u'>') + 1;
    const qsizetype close = tip.lastIndexOf(u'<');
    check(open > 0 && close >= open);
    check(!tip.mid(open, close - open).contains(u'<'));
    return 0;
}
