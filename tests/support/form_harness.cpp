#include "form_harness.h"

#include <QAction>
#include <QCoreApplication>

using namespace main_window;
using namespace ui;

FormHarness::FormHarness() {
    auto fakePort = std::make_unique<FakePort>();
    auto fakePrompts = std::make_unique<FakePrompts>();
    port = fakePort.get();
    port->clock = clock->clock();
    prompts = fakePrompts.get();
    form = std::make_unique<Form1>(std::move(fakePort), std::move(fakePrompts), clock->clock(),
                                   EchoEnabled);
}

FormHarness::~FormHarness() = default;

void choose(QAction* item) {
    item->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}
