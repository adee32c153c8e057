#pragma once

#include <QString>

#include <optional>

namespace settings_dialog {

// The fields of a settings text such as "9600,n,8,1" as the dialog reads them to choose its
// options: the baud rate is the number before the first comma, and parity, data bits and stop
// bits are one character each at fixed places after it. A field that holds no usable value is
// empty, so it matches no option.
struct SettingsFields {
    std::optional<double> baud;
    QString parity; // upper case; empty when the text has no character there
    std::optional<double> dataBits;
    std::optional<double> stopBits;
};

// A text without a comma has no fields at all.
SettingsFields readSettingsFields(const QString& settings);

} // namespace settings_dialog
