#include "app/signal_quit.h"
#include "first_paint.h"
#include "main_window/form1.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Linnet-Test"));
    QApplication::setApplicationVersion(QStringLiteral(LINNET_VERSION));
    Form1 form;
    // SIGTERM, SIGINT and SIGHUP close the port at once and end the program.
    SignalQuit signalQuit(form.MSComm1());
    FirstPaintReporter firstPaint(form);
    if (qEnvironmentVariableIsSet("LINNET_REPORT_FIRST_PAINT"))
        app.installEventFilter(&firstPaint);
    form.show();
    // For packaging checks: LINNET_QUIT_AFTER_MS=<n> quits n milliseconds after the window shows.
    bool quitAfterSet = false;
    const int quitAfterMs = qEnvironmentVariableIntValue("LINNET_QUIT_AFTER_MS", &quitAfterSet);
    if (quitAfterSet)
        QTimer::singleShot(std::max(0, quitAfterMs), &app, &QCoreApplication::quit);
    return QApplication::exec();
}
