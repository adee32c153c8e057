#include "ui/window_texts.h"

#include "ui/number_text.h"

QString overflowText(const NumberOverflow& overflow) {
    switch (overflow.kind) {
    case NumberOverflow::Kind::Radix:
        return QStringLiteral("Overflow: %1 needs more than 32 bits").arg(overflow.number);
    case NumberOverflow::Kind::Double:
        return QStringLiteral("Overflow: %1 is too large to hold as a number").arg(overflow.number);
    case NumberOverflow::Kind::Finite:
        return QStringLiteral("Overflow: the number is too large to hold");
    case NumberOverflow::Kind::Int16:
        return QStringLiteral("Overflow: %1 is outside -32768 to 32767").arg(overflow.number);
    }
    return {};
}
