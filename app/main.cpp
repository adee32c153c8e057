#include "app/app_texts.h"
#include "app/command_line.h"
#include "app/device_resolver.h"
#include "app/first_paint.h"
#include "app/signal_quit.h"
#include "base/clock.h"
#include "devices/device_registry.h"
#include "main_window/form1.h"
#include "port/termios_port.h"
#include "ui/echo.h"
#include "ui/qt_prompts.h"
#include "ui/version.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

// `linnet-test --test-sheet FILE.pdf [--paper Letter]` writes the sheet of test codes and exits,
// without a window or a display.
int writeSheetOnly(int argc, char** argv, const app::CommandLine& line) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    return app::writeSheetFromCommandLine(line);
}

int main(int argc, char** argv) {
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    const app::CommandLine line = app::readCommandLine(arguments);
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "linnet-test: %s\n%s\n", qUtf8Printable(line.error),
                     qUtf8Printable(app::usageText()));
        return 2;
    }
    if (line.testSheet)
        return writeSheetOnly(argc, argv, line);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Linnet-Test"));
    QApplication::setApplicationVersion(ui::version::file());
    // The program is put together here: the window gets the termios port, Qt's dialogs, the
    // monotonic clock and the local-echo switch (off at start), and hands what the settings dialog
    // needs on to it. One device registry for the run lists the serial devices, gives them their
    // COM numbers and follows plugging; the port opens what it says a number leads to, and the
    // windows name the devices with it.
    devices::DeviceRegistry devices;
    // What the device layer could not do (the table file, following plugging) is said once on
    // standard error; the program goes on without it.
    const auto tell = [](const devices::DevicesProblem& problem) {
        std::fprintf(stderr, "linnet-test: %s\n", qUtf8Printable(app::devicesProblemText(problem)));
    };
    for (const devices::DevicesProblem& problem : devices.problems())
        tell(problem);
    QObject::connect(&devices, &devices::DeviceRegistry::problemFound, tell);
    qint16 echoEnabled = ui::VbFalse;
    auto port = std::make_unique<port::TermiosPort>();
    port->setDeviceResolver(app::registryResolver(devices));
    auto prompts = std::make_unique<ui::QtPrompts>();
    ui::QtPrompts& dialogs = *prompts;
    main_window::Form1 form(std::move(port), std::move(prompts), base::monotonicMs, echoEnabled);
    dialogs.setParent(&form);
    form.setDeviceRegistry(&devices);
    form.readHidScanners();
    // SIGTERM, SIGINT and SIGHUP close the port at once and end the program.
    app::SignalQuit signalQuit(form.MSComm1());
    app::FirstPaintReporter firstPaint(form);
    if (qEnvironmentVariableIsSet("LINNET_REPORT_FIRST_PAINT"))
        application.installEventFilter(&firstPaint);
    form.show();
    // For packaging checks: LINNET_QUIT_AFTER_MS=<n> quits n milliseconds after the window shows.
    bool quitAfterSet = false;
    const int quitAfterMs = qEnvironmentVariableIntValue("LINNET_QUIT_AFTER_MS", &quitAfterSet);
    if (quitAfterSet)
        QTimer::singleShot(std::max(0, quitAfterMs), &application, &QCoreApplication::quit);
    return QApplication::exec();
}
