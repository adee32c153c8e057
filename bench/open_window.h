#pragma once

#include "pty_device.h"

#include "ui/echo.h"

#include <QStringList>

#include <functional>
#include <memory>

class FakePrompts;
namespace main_window {
class Form1;
}

namespace bench {

class DisplayTracker;

// Runs the event loop until done() holds or timeoutMs have passed; done() is checked whenever the
// tracker reports progress and, when pollMs > 0, every pollMs. Returns done().
bool runUntil(const std::function<bool()>& done, const DisplayTracker& tracker, int timeoutMs,
              int pollMs = 0);
// Runs the event loop until done() holds (checked every pollMs) or timeoutMs have passed.
bool pollUntil(const std::function<bool()>& done, int timeoutMs, int pollMs);
// Runs the event loop for the given time.
void runFor(int ms);

// A shown main window with the real termios layer, whose port COM1 is open on a fresh
// pseudo-terminal, and the device that plays the far end.
class OpenWindow {
public:
    OpenWindow();
    ~OpenWindow();

    main_window::Form1& form() { return *form_; }
    PtyDevice& device() { return device_; }
    // Messages the window showed since it opened the port.
    QStringList prompts() const;

private:
    PtyDevice device_;
    FakePrompts* prompts_ = nullptr;
    // Local echo stays off: the benchmark types nothing.
    qint16 echoEnabled_ = ui::VbFalse;
    std::unique_ptr<main_window::Form1> form_;
};

} // namespace bench
