#include "ui/elided_label.h"

#include "base/outside_text.h"

#include <QFontMetrics>

#include <algorithm>

namespace ui {

namespace {

// The width a label asks for at most: a long scan is read in the tooltip, not by widening the
// window.
constexpr int MostAskedChars = 60;

} // namespace

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == full_)
        return;
    full_ = text;
    setToolTip(full_.isEmpty() ? QString() : base::outside_text::toolTip(full_));
    setAccessibleDescription(full_);
    elide();
}

QSize ElidedLabel::sizeHint() const {
    const QFontMetrics metrics(font());
    const int width =
        std::min(metrics.horizontalAdvance(full_), metrics.averageCharWidth() * MostAskedChars);
    return {width + 2 * margin() + 2, metrics.height() + 2 * margin()};
}

QSize ElidedLabel::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.averageCharWidth() * 4, metrics.height() + 2 * margin()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide() {
    // One line: line breaks inside the text would otherwise be drawn as such.
    QString line = full_;
    line.replace(QLatin1Char('\n'), QChar(0x21B5)).replace(QLatin1Char('\r'), QChar(0x21B5));
    const QString shown =
        fontMetrics().elidedText(line, Qt::ElideRight, std::max(0, contentsRect().width()));
    if (shown != text())
        QLabel::setText(shown);
}

} // namespace ui
