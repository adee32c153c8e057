#include "port_refusal.h"
#include "pty_pair.h"
#include "serial_comm/port/termios_port.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <functional>

#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

// The taps the Scan Log and the recorder read, and the break and RTS commands, on a
// pseudo-terminal whose master side plays the device.
class TestTermiosTaps : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<TermiosPort> port_;

private slots:
    void init() {
        pty_ = std::make_unique<PtyPair>();
        qputenv("LINNET_COM9", pty_->slavePath().toLocal8Bit());
        port_ = std::make_unique<TermiosPort>();
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
        QSignalSpy arrived(port_.get(), &PortControl::bytesArrived);
        QSignalSpy notified(port_.get(), &PortControl::OnComm);
        QByteArray bytes("]E0\xFF\0\r\n", 7);
        for (int i = 0; i < 3000; ++i)
            bytes.append(char(i % 256));
        const qint64 before = PortControl::monotonicMs();
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
            QVERIFY(call.at(1).toLongLong() <= PortControl::monotonicMs());
        }
        QCOMPARE(notified.count(), 0);
        QCOMPARE(port_->InBufferCount(), bytes.size());
        QCOMPARE(port_->Input(), u"]"_s);
    }

    void tapSeesWhatOutputAccepted() {
        port_->setPortOpen(true);
        QSignalSpy sent(port_.get(), &PortControl::bytesSent);
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

        // Closed in the middle of a break, and opened again before it would have ended.
        port_->sendBreak();
        port_->setPortOpen(false);
        port_->setPortOpen(true);
        QTest::qWait(PortControl::BreakMs + 50);
        port_->setOutput(u"y"_s);
        QCOMPARE(pty_->readMaster(1), QByteArray("y"));
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
