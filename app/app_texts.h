#pragma once

#include <QString>

namespace devices {
struct DevicesProblem;
}

namespace app {

// The sentences the program writes on standard error: for whoever runs it from a terminal or
// packages it, not for the person at the bench, who is never held up by these.
QString devicesProblemText(const devices::DevicesProblem& problem);

} // namespace app
