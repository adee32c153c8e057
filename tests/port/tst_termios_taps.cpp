#include "port/termios_port.h"
#include "port_refusal.h"
#include "pty_pair.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <cstdarg>
#include <functional>
#include <thread>

#include <dlfcn.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

using namespace port;

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

// The line calls the port makes, seen through an ioctl of the test's own that stands in front of
// the C library's: on a pseudo-terminal they change nothing the far end could see, so only the
// calls themselves show whether the port raises or drops the right line.
struct LineCall {
    unsigned long request;
    int bits; // the modem bits of TIOCMBIS and TIOCMBIC, 0 for the others
    bool operator==(const LineCall&) const = default;
};
QList<LineCall>& lineCalls() {
    static QList<LineCall> calls;
    return calls;
}
// Modem-line calls answer as a serial port's would (success), so that the port keeps them up.
bool pretendLines = false;

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    using Real = int (*)(int, unsigned long, void*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "ioctl"));
    switch (request) {
    case TIOCMBIS:
    case TIOCMBIC:
        lineCalls().append({request, *static_cast<int*>(argument)});
        if (pretendLines)
            return 0;
        break;
    case TIOCSBRK:
    case TIOCCBRK:
        lineCalls().append({request, 0});
        break;
    default:
        break;
    }
    return real(fd, request, argument);
}

// The taps the Scan Log and the recorder read, and the break and RTS commands, on a
// pseudo-terminal whose master side plays the device.
class TestTermiosTaps : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<port::TermiosPort> port_;

private slots:
    void init() {
        lineCalls().clear();
        pretendLines = false;
        pty_ = std::make_unique<PtyPair>();
        qputenv("LINNET_COM9", pty_->slavePath().toLocal8Bit());
        port_ = std::make_unique<port::TermiosPort>();
        port_->setCommPort(9);
    }
    void cleanup() {
        port_.reset();
        pty_.reset();
    }

    // Every byte reaches bytesArrived once and in order, line-error marks decoded, with InputLen 1
    // and RThreshold 0 (no Receive, nothing read); Input still has every byte to give.
    void tapSeesEveryByteWhateverInputDoes() {
        port_->setInputLen(1);
        port_->setRThreshold(0);
        port_->setPortOpen(true);
        QSignalSpy arrived(port_.get(), &port::PortControl::bytesArrived);
        QSignalSpy notified(port_.get(), &port::PortControl::OnComm);
        QByteArray bytes("]E0\xFF\0\r\n", 7);
        for (int i = 0; i < 3000; ++i)
            bytes.append(char(i % 256));
        const qint64 before = port::PortControl::monotonicMs();
        pty_->writeMaster(bytes);
        QByteArray tapped;
        QVERIFY(QTest::qWaitFor([&] {
            tapped.clear();
            for (const QList<QVariant>& call : arrived)
                tapped += call.at(0).toByteArray();
            return tapped.size() >= bytes.size();
        }));
        QCOMPARE(tapped, bytes);
        for (const QList<QVariant>& call : arrived) {
            QVERIFY(call.at(1).toLongLong() >= before);
            QVERIFY(call.at(1).toLongLong() <= port::PortControl::monotonicMs());
        }
        QCOMPARE(notified.count(), 0);
        QCOMPARE(port_->InBufferCount(), bytes.size());
        QCOMPARE(port_->Input(), u"]"_s);
    }

    // The times are those of arrival: bytes that came while the window's thread was held keep
    // them, and while they wait, the port counts them as waiting.
    void timesAreThoseOfArrivalWhileTheWindowIsHeld() {
        port_->setPortOpen(true);
        QSignalSpy arrived(port_.get(), &port::PortControl::bytesArrived);
        const qint64 start = port::PortControl::monotonicMs();
        // The event loop does not run from here to the wait below.
        pty_->writeMaster("12\r");
        std::this_thread::sleep_for(300ms);
        pty_->writeMaster("34\r");
        std::this_thread::sleep_for(300ms);
        QVERIFY(port_->WaitingInDevice() >= 6);
        QTRY_COMPARE(arrived.count(), 2);
        QCOMPARE(arrived.at(0).at(0).toByteArray(), QByteArray("12\r"));
        QCOMPARE(arrived.at(1).at(0).toByteArray(), QByteArray("34\r"));
        const qint64 first = arrived.at(0).at(1).toLongLong();
        const qint64 gap = arrived.at(1).at(1).toLongLong() - first;
        QVERIFY2(first - start < 100, qPrintable(QString::number(first - start)));
        QVERIFY2(gap >= 280 && gap < 450, qPrintable(QString::number(gap)));
        QCOMPARE(port_->WaitingInDevice(), 0);
    }

    void tapSeesWhatOutputAccepted() {
        port_->setPortOpen(true);
        QSignalSpy sent(port_.get(), &port::PortControl::bytesSent);
        port_->setOutput(u"a"_s);
        port_->setOutput(QString::fromLatin1("\r\xff"));
        QVERIFY(!refusal([&] { port_->setOutput(u"\u20ac"_s); }).isEmpty());
        QCOMPARE(sent.count(), 2);
        QCOMPARE(sent.at(0).at(0).toByteArray(), QByteArray("a"));
        QCOMPARE(sent.at(1).at(0).toByteArray(), QByteArray("\r\xff"));
        QCOMPARE(pty_->readMaster(3), QByteArray("a\r\xff"));
    }

    // A pseudo-terminal has no line to hold at space: the break is taken (TIOCSBRK succeeds) and
    // the far end sees nothing, not even the 0 byte a marked break gives on a serial port, and no
    // counter (TIOCGICOUNT answers ENOTTY). The port goes on working during and after it.
    void breakIsRefusedWhileClosedAndTakenWhileOpen() {
        const QString closed = refusal([&] { port_->sendBreak(); });
        QCOMPARE(closed, u"COM9 (%1) is not open; open it first."_s.arg(pty_->slavePath()));

        termios far{};
        QCOMPARE(::tcgetattr(pty_->masterFd(), &far), 0);
        far.c_iflag = (far.c_iflag | PARMRK | INPCK) & ~(IGNBRK | BRKINT | IGNPAR);
        QCOMPARE(::tcsetattr(pty_->masterFd(), TCSANOW, &far), 0);

        port_->setPortOpen(true);
        lineCalls().clear();
        QElapsedTimer took;
        took.start();
        QCOMPARE(refusal([&] { port_->sendBreak(); }), QString());
        QVERIFY(took.elapsed() < 50); // the break does not hold the caller
        port_->setOutput(u"x"_s);
        QCOMPARE(pty_->readMaster(1), QByteArray("x"));
        QCOMPARE(pty_->readMaster(1, 400ms), QByteArray());
        serial_icounter_struct counters{};
        QCOMPARE(::ioctl(pty_->masterFd(), TIOCGICOUNT, &counters), -1);
        QCOMPARE(errno, ENOTTY);

        // The line is held at space, then let go once the break's time is up.
        QTRY_COMPARE(lineCalls(), (QList<LineCall>{{TIOCSBRK, 0}, {TIOCCBRK, 0}}));
        QVERIFY(took.elapsed() >= port::PortControl::BreakMs);

        // Closed in the middle of a break (which lets the line go), and opened again before it
        // would have ended.
        lineCalls().clear();
        port_->sendBreak();
        port_->setPortOpen(false);
        QCOMPARE(lineCalls().value(1), (LineCall{TIOCCBRK, 0}));
        port_->setPortOpen(true);
        QTest::qWait(port::PortControl::BreakMs + 50);
        port_->setOutput(u"y"_s);
        QCOMPARE(pty_->readMaster(1), QByteArray("y"));
    }

    // What RTSEnable and DTREnable ask of the line, on a device that has lines: raised with
    // TIOCMBIS, dropped with TIOCMBIC, each its own bit; under RTS/CTS flow control RTS is left to
    // the driver and applied when the port leaves it.
    void rtsAndDtrMoveTheirOwnLines() {
        pretendLines = true;
        port_->setPortOpen(true);
        lineCalls().clear();
        port_->setRTSEnable(false);
        port_->setDTREnable(false);
        port_->setRTSEnable(true);
        port_->setDTREnable(true);
        QCOMPARE(lineCalls(), (QList<LineCall>{{TIOCMBIC, TIOCM_RTS},
                                               {TIOCMBIC, TIOCM_DTR},
                                               {TIOCMBIS, TIOCM_RTS},
                                               {TIOCMBIS, TIOCM_DTR}}));
        port_->setHandshaking(2);
        lineCalls().clear();
        port_->setRTSEnable(false);
        QCOMPARE(lineCalls(), QList<LineCall>());
        port_->setHandshaking(0);
        QCOMPARE(lineCalls(), (QList<LineCall>{{TIOCMBIC, TIOCM_RTS}}));
    }

    // A pseudo-terminal has no modem lines (TIOCMBIS answers ENOTTY): RTS is then a setting kept
    // as DTREnable is, applied to nothing, and no failure. Under RTS/CTS flow control the setting
    // is kept without touching the line.
    void rtsOnADeviceWithoutLines() {
        int bits = TIOCM_RTS;
        QCOMPARE(::ioctl(pty_->slaveFd(), TIOCMBIS, &bits), -1);
        QCOMPARE(errno, ENOTTY);

        QVERIFY(port_->RTSEnable());
        port_->setRTSEnable(false); // closed: kept for the open
        port_->setPortOpen(true);
        QVERIFY(!port_->RTSEnable());
        QCOMPARE(refusal([&] { port_->setRTSEnable(true); }), QString());
        QVERIFY(port_->RTSEnable());
        port_->setHandshaking(2);
        QCOMPARE(refusal([&] { port_->setRTSEnable(false); }), QString());
        QVERIFY(!port_->RTSEnable());
        QCOMPARE(refusal([&] { port_->setHandshaking(0); }), QString());
        port_->setOutput(u"z"_s);
        QCOMPARE(pty_->readMaster(1), QByteArray("z"));
    }
};

QTEST_MAIN(TestTermiosTaps)
#include "tst_termios_taps.moc"
