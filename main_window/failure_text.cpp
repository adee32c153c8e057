#include "main_window/failure_text.h"

#include "serial_comm/port/port_control.h"

#include <exception>
#include <stdexcept>

QString currentFailureText() {
    try {
        throw;
    } catch (const PortFailure& failure) {
        return failure.description();
    } catch (const std::exception& failure) {
        return QString::fromUtf8(failure.what());
    } catch (...) {
        return QStringLiteral("An unexpected failure occurred.");
    }
}
