// The program ended from outside while its port is open: by SIGTERM, SIGINT or SIGHUP, and by an
// exit() that bypasses the event loop (Qt's answer to a lost display). The device must get back
// the settings it had before the program opened it. The program runs as a child process
// (signal_quit_child) on a pseudo-terminal whose settings the test reads from its own side.

#include "app/signal_quit.h"
#include "data_columns.h"
#include "fake_port.h"
#include "pty_pair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <termios.h>

using namespace app;
using namespace port;

using namespace Qt::StringLiterals;

namespace {

// A terminal as a shell leaves it: line editing, echo, output processing, 38400 baud.
termios cookedSettings() {
    termios t{};
    t.c_iflag = ICRNL | IXON | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD | HUPCL;
    t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
    t.c_cc[VMIN] = 1;
    t.c_cc[VINTR] = 3;
    t.c_cc[VEOF] = 4;
    ::cfsetispeed(&t, B38400);
    ::cfsetospeed(&t, B38400);
    return t;
}

// What the program changes and must put back, as stty shows it.
QString describe(const termios& t) {
    return QStringLiteral("speed %1/%2 iflag %3 oflag %4 cflag %5 lflag %6 min %7 time %8")
        .arg(QString::number(::cfgetispeed(&t)), QString::number(::cfgetospeed(&t)),
             QString::number(t.c_iflag, 8), QString::number(t.c_oflag, 8),
             QString::number(t.c_cflag, 8), QString::number(t.c_lflag, 8),
             QString::number(t.c_cc[VMIN]), QString::number(t.c_cc[VTIME]));
}

void (*handlerOf(int signal))(int) {
    struct sigaction current {};
    ::sigaction(signal, nullptr, &current);
    return current.sa_handler;
}

extern "C" void earlierHandler(int) {}

QString settingsOf(const PtyPair& pty) {
    termios t{};
    if (::tcgetattr(pty.slaveFd(), &t) != 0)
        return QStringLiteral("unreadable");
    return describe(t);
}

} // namespace

class TestSignalQuit : public QObject {
    Q_OBJECT

private slots:
    // The handlers in force before the program's are there again after it, a signal ignored at
    // start (nohup) stays ignored throughout, and SIGPIPE is ignored only meanwhile.
    void leavesTheSignalsAsItFoundThem_data() {
        addColumns<int, bool>("signal", "ignoredAtStart");
        QTest::newRow("SIGTERM with a handler") << SIGTERM << false;
        QTest::newRow("SIGINT with a handler") << SIGINT << false;
        QTest::newRow("SIGHUP ignored (nohup)") << SIGHUP << true;
        QTest::newRow("SIGTERM ignored") << SIGTERM << true;
    }
    void leavesTheSignalsAsItFoundThem() {
        QFETCH(int, signal);
        QFETCH(bool, ignoredAtStart);
        const auto before = ignoredAtStart ? SIG_IGN : &earlierHandler;
        ::signal(signal, before);
        ::signal(SIGPIPE, &earlierHandler);
        FakePort port;
        {
            SignalQuit quit(port);
            if (ignoredAtStart)
                QVERIFY(handlerOf(signal) == SIG_IGN);
            else
                QVERIFY(handlerOf(signal) != before && handlerOf(signal) != SIG_IGN);
            QVERIFY(handlerOf(SIGPIPE) == SIG_IGN);
        }
        QVERIFY(handlerOf(signal) == before);
        QVERIFY(handlerOf(SIGPIPE) == &earlierHandler);
        ::signal(signal, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
    }

    void restoresTheDeviceWhenEndedFromOutside_data() {
        // signal: 0: the child exits by itself
        addColumns<QString, int, int>("mode", "signal", "exitCode");
        QTest::newRow("SIGTERM") << u"wait"_s << SIGTERM << 128 + SIGTERM;
        QTest::newRow("SIGINT") << u"wait"_s << SIGINT << 128 + SIGINT;
        QTest::newRow("SIGHUP") << u"wait"_s << SIGHUP << 128 + SIGHUP;
        // Output the device does not take would hold an ordinary close for 10 s and a prompt.
        QTest::newRow("SIGTERM, output held") << u"held"_s << SIGTERM << 128 + SIGTERM;
        QTest::newRow("exit() from the event loop") << u"exit"_s << 0 << 1;
    }
    void restoresTheDeviceWhenEndedFromOutside() {
        QFETCH(QString, mode);
        QFETCH(int, signal);
        QFETCH(int, exitCode);
        PtyPair pty;
        const termios cooked = cookedSettings();
        QCOMPARE(::tcsetattr(pty.slaveFd(), TCSANOW, &cooked), 0);
        const QString before = settingsOf(pty);

        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (int n = 1; n <= 18; ++n)
            environment.remove(QStringLiteral("LINNET_COM%1").arg(n));
        environment.insert(u"LINNET_COM1"_s, pty.slavePath());
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        QTemporaryDir locks;
        QVERIFY(locks.isValid());
        environment.insert(u"LINNET_LOCK_DIR"_s, locks.path());
        const auto lockFiles = [&] {
            return QDir(locks.path()).entryList(QDir::Files | QDir::System);
        };
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(SIGNAL_QUIT_CHILD), {mode});
        QVERIFY(child.waitForStarted(5000));
        QVERIFY(child.waitForReadyRead(10000));
        QCOMPARE(child.readLine().trimmed(), QByteArray("open"));
        // The program has the device in its own settings; otherwise this test would prove nothing.
        QVERIFY(settingsOf(pty) != before);
        QCOMPARE(lockFiles().size(), 1);

        QElapsedTimer ending;
        ending.start();
        if (signal != 0)
            QCOMPARE(::kill(static_cast<pid_t>(child.processId()), signal), 0);
        else
            child.write("exit\n");
        QVERIFY(child.waitForFinished(5000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), exitCode);
        QVERIFY2(ending.elapsed() < 3000, "the end waited as an ordinary close does");
        QCOMPARE(settingsOf(pty), before);
        // The lock file goes with the program, however it ended.
        QCOMPARE(lockFiles(), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestSignalQuit)
#include "tst_signal_quit.moc"
