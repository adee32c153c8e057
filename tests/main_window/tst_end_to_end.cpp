// The main window on the real serial layer, with a pseudo-terminal standing in for the scanner.

#include "fake_clock.h"
#include "fake_prompts.h"
#include "main_window/form1.h"
#include "port/termios_port.h"
#include "port_environment.h"
#include "pty_pair.h"
#include "scan_log/window/scan_collector.h"
#include "ui/echo.h"
#include "views/rich_text_box.h"

#include <QPushButton>
#include <QTest>
#include <QThread>

#include <ctime>

using namespace main_window;
using namespace port;
using namespace ui;
using namespace views;

using namespace Qt::Literals::StringLiterals;

class TestEndToEnd : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<Form1> form_;
    FakePrompts* prompts_ = nullptr;
    FakeClock clock_;
    qint16 echoEnabled_ = VbFalse;

    QPushButton* openButton() const { return form_->findChild<QPushButton*>(u"cmdOPEN"_s); }
    port::PortControl& port() const { return form_->MSComm1(); }

    // A new scanner for COM1, opened with the window's button.
    void connectScanner() {
        pty_ = std::make_unique<PtyPair>();
        qputenv("LINNET_COM1", pty_->slavePath().toLocal8Bit());
        openButton()->click();
        QVERIFY(port().PortOpen());
    }

private slots:
    void initTestCase() { clearPortVariables(); }
    void init() {
        echoEnabled_ = VbFalse;
        form_ = std::make_unique<Form1>(std::make_unique<port::TermiosPort>(),
                                        std::unique_ptr<ui::Prompts>(prompts_ = new FakePrompts),
                                        clock_.clock(), echoEnabled_);
        form_->show();
        connectScanner();
    }
    void cleanup() {
        form_.reset();
        pty_.reset();
    }

    void scanThenHangUp() {
        // The window reads first: at a hang-up the kernel discards what the device side has not
        // read.
        pty_->writeMaster("4006381\r\n");
        QTRY_COMPARE(form_->Term().Text(), u"4006381\r\n"_s);
        QCOMPARE(form_->TermHex().Text(), u"34h 30h 30h 36h 33h 38h 31h Dh Ah "_s);
        prompts_->calls.clear();
        const QString device = pty_->slavePath();
        pty_->closeMaster();
        QTRY_COMPARE(prompts_->messages().value(0).text,
                     u"COM1 (%1) was disconnected; the port is closed."_s.arg(device));
        QVERIFY(!port().PortOpen());
        QCOMPARE(openButton()->text(), u"Open COM1"_s);

        // A notifier left on the dead device would fire without end and burn a whole core. A
        // bounded wait, as it shows that something does not happen.
        const std::clock_t before = std::clock();
        QTest::qWait(300);
        const double cpuMs = double(std::clock() - before) * 1000 / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 60, qPrintable(QString::number(cpuMs)));
        QCOMPARE(prompts_->messages().size(), 1);

        // The scanner is back, at a new device path: "Open COM1" works again.
        connectScanner();
        pty_->writeMaster("again\r");
        QTRY_COMPARE(form_->Term().Text(), u"4006381\r\nagain\r\n"_s);
    }

    // A scan without terminator whose rest arrives while the window is busy is one scan: the
    // program was late, the line was not silent.
    void scanWhoseRestArrivesWhileTheWindowIsBusy() {
        scan_log::ScanCollector& log = form_->scanLog();
        // Long enough that the first part is seen well before the line could count as silent.
        log.setSilenceMs(250);
        pty_->writeMaster("0123456789");
        QTRY_VERIFY(form_->Term().Text().contains(u"0123456789"_s));
        pty_->writeMaster("ABCDEFGHIJ");
        // Held past the silence, with the rest waiting in the device.
        QThread::msleep(400);
        QTRY_COMPARE(log.model().rowCount(), 1);
        QCOMPARE(log.model().cellText(0, scan_log::ScanLogModel::Data), u"0123456789ABCDEFGHIJ"_s);
    }

    void xoffHoldsTypedKeysThroughTheCloseWait() {
        port().setHandshaking(1);
        // The scanner says XOFF; the byte after it shows that the device side has taken it.
        pty_->writeMaster("\x13!");
        QTRY_COMPARE(form_->Term().Text(), u"!"_s);
        form_->Term().setFocus();
        QTest::keyClicks(&form_->Term(), u"scan\r"_s);
        QCOMPARE(port().OutBufferCount(), 5);
        QCOMPARE(pty_->readMaster(1, std::chrono::milliseconds(0)), QByteArray());

        // The close wait sees the held keys; with the clock running out it asks, and Abort keeps
        // the window and the port open.
        clock_.stepPerReadingMs = 5000;
        prompts_->calls.clear();
        prompts_->answers.push_back(ui::Prompts::Answer::Abort);
        QVERIFY(!form_->close());
        QVERIFY(form_->isVisible() && port().PortOpen());
        QCOMPARE(prompts_->messages().size(), 1);
        QCOMPARE(prompts_->messages()[0].text, u"Data cannot be sent"_s);

        // XON lets the keys go, in the order typed.
        pty_->writeMaster("\x11");
        QTRY_COMPARE(port().OutBufferCount(), 0);
        QCOMPARE(pty_->readMaster(5), QByteArray("scan\r"));
    }

    void keysForAFullTransmitBufferAreNeitherSentNorEchoed() {
        port().setHandshaking(1);
        pty_->writeMaster("\x13!");
        QTRY_COMPARE(form_->Term().Text(), u"!"_s);
        port().setOutput(QString(port::TermiosPort::OutputBufferSize, u'x'));
        echoEnabled_ = VbTrue;
        prompts_->calls.clear();
        form_->Term().setFocus();
        QTest::keyClicks(&form_->Term(), u"abcde"_s);
        // The full buffer is reported once for the episode, not once a key.
        QTRY_COMPARE(prompts_->messages().size(), 1);
        QCOMPARE(prompts_->messages().at(0).text, u"Transmit Buffer Full"_s);
        // A short wait that proves no further prompt follows.
        QTest::qWait(50);
        QCOMPARE(prompts_->messages().size(), 1);
        QCOMPARE(form_->Term().Text(), u"!"_s);
        QCOMPARE(port().OutBufferCount(), port::TermiosPort::OutputBufferSize);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
