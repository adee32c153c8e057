#include "views/view_rules.h"

#include "views/text_view.h"

namespace views {

namespace {

constexpr int ViewLimit = 16384;
constexpr int ViewCut = 4096;

constexpr QChar Backspace(8);
constexpr QChar LineFeed(10);
constexpr QChar CarriageReturn(13);

int hexDigitCount(char16_t code) {
    int count = 1;
    while (code >>= 4)
        ++count;
    return count;
}

} // namespace

QString hexRendering(QStringView block) {
    static constexpr char16_t digits[] = u"0123456789ABCDEF";

    qsizetype length = 0;
    for (QChar c : block)
        length += hexDigitCount(c.unicode()) + 2;

    QString rendering(length, Qt::Uninitialized);
    QChar* out = rendering.data();
    for (QChar c : block) {
        const char16_t code = c.unicode();
        for (int shift = (hexDigitCount(code) - 1) * 4; shift >= 0; shift -= 4)
            *out++ = QChar(digits[(code >> shift) & 0xF]);
        *out++ = QLatin1Char('h');
        *out++ = QLatin1Char(' ');
    }
    return rendering;
}

void AppendToView(TextView& view, QString& text) {
    int length = view.TextLength();
    if (length >= ViewLimit) {
        // Cut as often as needed in one go: a single cut cannot keep up with blocks longer than
        // the cut itself.
        const int cuts = (length - ViewLimit) / ViewCut + 1;
        view.setText(view.Text().mid(qsizetype(cuts) * ViewCut));
        length = view.TextLength();
    }
    view.setSelStart(length);

    // Backspace pass. Taking out "x<BS>" pairs one at a time, always at the first backspace,
    // leaves what a stack leaves: each backspace pops the last kept character, and one that finds
    // nothing kept stands at the front of the text and selects the view's last character instead.
    // Done as a stack, in place, so large blocks stay linear; blocks without control characters
    // (every hex rendering) skip the passes after one search each.
    bool eraseLastOfView = false;
    if (text.contains(Backspace)) {
        QChar* const begin = text.data();
        QChar* out = begin;
        for (const QChar* in = begin; in != begin + text.size(); ++in) {
            if (*in != Backspace)
                *out++ = *in;
            else if (out != begin)
                --out;
            else
                eraseLastOfView = true;
        }
        text.truncate(out - begin);
    }
    if (eraseLastOfView && length > 0) {
        view.setSelStart(length - 1);
        view.setSelLength(1);
    }

    // Line-feed pass, then one line feed after every carriage return.
    if (text.contains(LineFeed))
        text.remove(LineFeed);
    if (text.contains(CarriageReturn))
        text.replace(CarriageReturn, QStringLiteral("\r\n"));

    view.setSelText(text);
}

} // namespace views
