#include "settings_dialog/model/settings_text.h"

#include "base/number_text.h"

namespace settings_dialog {

namespace {

// A field read as a number; a number too large to read matches no option.
std::optional<double> numberIn(const QString& field) {
    const base::Result<double, base::NumberOverflow> number = base::readNumber(field);
    return number ? std::optional(*number) : std::nullopt;
}

} // namespace

SettingsFields readSettingsFields(const QString& settings) {
    SettingsFields fields;
    const qsizetype comma = settings.indexOf(QLatin1Char(','));
    if (comma < 0)
        return fields;
    fields.baud = numberIn(settings.left(comma));
    // One character, upper-cased as a character: a string's upper case may grow ("ß" is "SS").
    if (comma + 1 < settings.size())
        fields.parity = QString(settings.at(comma + 1).toUpper());
    fields.dataBits = numberIn(settings.mid(comma + 3, 1));
    fields.stopBits = numberIn(settings.mid(comma + 5, 1));
    return fields;
}

} // namespace settings_dialog
