#pragma once

#include "fake_clock.h"
#include "fake_port.h"
#include "fake_prompts.h"
#include "main_window/form1.h"
#include "ui/echo.h"

#include <memory>

// A main window wired to doubles, with handles on the doubles it owns.
struct FormHarness {
    // The window's local-echo switch, off as at start-up; it outlives the window.
    qint16 EchoEnabled = ui::VbFalse;
    FakePort* port;
    FakePrompts* prompts;
    // The window's clock; it outlives the window.
    std::unique_ptr<FakeClock> clock = std::make_unique<FakeClock>();
    std::unique_ptr<main_window::Form1> form;

    FormHarness();
    ~FormHarness();

    template <typename T> T* child(const QString& name) const { return form->findChild<T*>(name); }
};

class QAction;

// Chooses a menu command and runs what it starts, as the event loop does right after the choice.
void choose(QAction* item);
