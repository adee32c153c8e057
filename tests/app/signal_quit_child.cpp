// The program as tst_signal_quit runs it: the real main window and port with the same signal
// handling as main(), with COM1 opened at start (LINNET_COM1 names the test's pseudo-terminal).
// Prints "open" once the port is open. Its argument chooses what follows:
//   wait    run the event loop until a signal ends it;
//   held    queue more output than the device takes, then run the event loop;
//   exit    call exit(1) from inside the event loop once a line arrives on standard input, as Qt
//           does when it loses its display connection.

#include "app/signal_quit.h"
#include "base/clock.h"
#include "main_window/form1.h"
#include "port/termios_port.h"
#include "ui/echo.h"
#include "ui/qt_prompts.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

using namespace app;
using namespace main_window;
using namespace port;
using namespace ui;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const char* mode = argc > 1 ? argv[1] : "wait";
    // As if started from a terminal, whatever the test runner ignores.
    for (const int signal : SignalQuit::Signals)
        ::signal(signal, SIG_DFL);

    qint16 echoEnabled = VbFalse;
    Form1 form(std::make_unique<port::TermiosPort>(), std::make_unique<ui::QtPrompts>(),
               base::monotonicMs, echoEnabled);
    SignalQuit signalQuit(form.MSComm1());
    form.show();
    try {
        form.MSComm1().setPortOpen(true);
        if (std::strcmp(mode, "held") == 0)
            form.MSComm1().setOutput(QString(60000, u'x'));
    } catch (const port::PortFailure& failure) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.description()));
        return 2;
    }
    form.showPortState();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    if (std::strcmp(mode, "exit") == 0)
        QObject::connect(&input, &QSocketNotifier::activated, [] { std::exit(1); });
    else
        input.setEnabled(false);

    std::printf("open\n");
    std::fflush(stdout);
    return QApplication::exec();
}
