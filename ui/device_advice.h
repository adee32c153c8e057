#pragma once

#include <QString>

namespace devices {
class DeviceRegistry;
}

namespace ui {

// The sentences added to a refused open of COM<number>: when its device is missing, the serial
// devices connected now with their numbers (or, with none, what to check); when the user may not
// open it, the device's group and what to do about membership; when ModemManager holds it, how to
// keep it away. Empty when none applies.
QString openFailureAdvice(const devices::DeviceRegistry& registry, int number);

// Whether a process named ModemManager has the device node open.
bool heldByModemManager(const QString& node);

// Joins an extra sentence to a message, with one blank between them.
QString withSentence(const QString& text, const QString& sentence);

} // namespace ui
