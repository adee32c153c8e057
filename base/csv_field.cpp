#include "base/csv_field.h"

#include <QRegularExpression>

namespace base {

namespace {

// Text a spreadsheet would run as a formula (=, +, -, @, TAB or CR first) gets a leading "'";
// a plain number (-3, +1.5e3) stays a number.
QString defused(const QString& text) {
    static const QRegularExpression number(
        QStringLiteral("^[-+]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][-+]?[0-9]+)?$"));
    if (text.isEmpty() || !QStringView(u"=+-@\t\r").contains(text.front()) ||
        number.match(text).hasMatch())
        return text;
    return u'\'' + text;
}

} // namespace

QString csvField(const QString& raw) {
    const QString text = defused(raw);
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') &&
        !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace base
