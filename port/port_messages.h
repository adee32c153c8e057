#pragma once

#include "port/port_error.h"

#include <QString>

namespace port {

// The sentences the user reads for a failed port operation, written from the failure's values
// alone: which port and device, what went wrong and, where there is something to do, what to do.
// `extra` is appended as sentences of its own (a caller that knows more, such as which devices
// are connected now, adds it there).
QString failureText(const PortError& error, const QString& extra = {});

} // namespace port
