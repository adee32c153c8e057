#include "ui/failure_text.h"

#include "port/port_control.h"
#include "ui/prompts.h"

#include <exception>
#include <stdexcept>

namespace ui {

QString currentFailureText() {
    try {
        throw;
    } catch (const port::PortFailure& failure) {
        return failure.description();
    } catch (const std::exception& failure) {
        return QString::fromUtf8(failure.what());
    } catch (...) {
        return QStringLiteral("An unexpected failure occurred.");
    }
}

void reportEscapedFailure(Prompts& prompts, const QString& text) {
    try {
        prompts.warn(text);
    } catch (...) {
        // Nothing is left to report a failure of the report itself with.
    }
}

} // namespace ui
