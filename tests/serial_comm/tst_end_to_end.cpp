// The main window on the real serial layer, with a pseudo-terminal standing in for the scanner.

#include "fake_clock.h"
#include "fake_prompts.h"
#include "main_window/echo.h"
#include "main_window/form1.h"
#include "main_window/rich_text_box.h"
#include "pty_pair.h"
#include "serial_comm/termios_port.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <ctime>

using namespace std::chrono_literals;

namespace {

// Processor time this process has used, in milliseconds.
double cpuMilliseconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Reads from the master side until `count` bytes came, running the event loop in between so that
// the port can send what it holds.
QByteArray drainMaster(PtyPair& pty, qsizetype count) {
    QByteArray received;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        received += pty.readMaster(1, 20ms);
    }
    return received;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void scannedCodeAppearsInBothViews();
    void typedKeysReachTheDeviceInOrder();
    void hangUpWhileOpenClosesThePort();
    void xoffHoldsTypedKeysThroughTheCloseWait();

private:
    QPushButton& openButton() const {
        return *form_->findChild<QPushButton*>(QStringLiteral("cmdOPEN"));
    }

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<Form1> form_;
    FakePrompts* prompts_ = nullptr;
    FakeClock* clock_ = nullptr;
};

void TestEndToEnd::init() {
    pty_ = std::make_unique<PtyPair>();
    qputenv("LINNET_COM1", pty_->slavePath().toLocal8Bit());
    auto prompts = std::make_unique<FakePrompts>();
    prompts_ = prompts.get();
    auto clock = std::make_unique<FakeClock>();
    clock_ = clock.get();
    form_ = std::make_unique<Form1>(std::make_unique<TermiosPort>(), std::move(prompts),
                                    std::move(clock));
    EchoEnabled = VbFalse;
    form_->show();
    form_->findChild<QPushButton*>(QStringLiteral("cmdOPEN"))->click();
    QVERIFY(form_->MSComm1().PortOpen());
    QCOMPARE(prompts_->messages().last().text,
             QStringLiteral("COM1 is  < Opened > and ready to scan barcode."));
}

void TestEndToEnd::cleanup() {
    form_.reset();
    pty_.reset();
    qunsetenv("LINNET_COM1");
    qunsetenv("LINNET_COM3");
}

void TestEndToEnd::scannedCodeAppearsInBothViews() {
    pty_->writeMaster(QByteArray("4006381333931\r\n"));
    QTRY_COMPARE(form_->Term().Text(), QStringLiteral("4006381333931\r\n"));
    QCOMPARE(form_->TermHex().Text(),
             QStringLiteral("34h 30h 30h 36h 33h 38h 31h 33h 33h 33h 39h 33h 31h Dh Ah "));

    // Every byte value arrives unchanged.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    form_->cmdClear_Click();
    pty_->writeMaster(all);
    QTRY_COMPARE(form_->TermHex().Text().count(QLatin1Char('h')), 256);
    QVERIFY(form_->TermHex().Text().endsWith(QStringLiteral("FEh FFh ")));
}

void TestEndToEnd::typedKeysReachTheDeviceInOrder() {
    RichTextBox& term = form_->Term();
    term.setFocus();
    QTest::keyClicks(&term, QStringLiteral("abc"));
    QTest::keyClick(&term, Qt::Key_Return);
    QTest::keyClick(&term, Qt::Key_Backspace);
    QCOMPARE(pty_->readMaster(5), QByteArray("abc\r\b"));
    QCOMPARE(term.Text(), QString()); // echo is off until the settings dialog loads
}

void TestEndToEnd::hangUpWhileOpenClosesThePort() {
    // The scanner on COM3, as a USB scanner often is.
    openButton().click();
    QVERIFY(!form_->MSComm1().PortOpen());
    auto scanner = std::make_unique<PtyPair>();
    const QString device = scanner->slavePath();
    qputenv("LINNET_COM3", device.toLocal8Bit());
    form_->MSComm1().setCommPort(3);
    openButton().click();
    QVERIFY(form_->MSComm1().PortOpen());

    // The window reads first: at a hang-up the kernel discards what the device side has not read.
    scanner->writeMaster(QByteArray("last\r"));
    QTRY_COMPARE(form_->Term().Text(), QStringLiteral("last\r\n"));
    prompts_->calls.clear();
    scanner->closeMaster();
    QTRY_VERIFY(!form_->MSComm1().PortOpen());
    QTRY_COMPARE(prompts_->messages().size(), 1);
    QCOMPARE(prompts_->messages()[0].text,
             QStringLiteral("COM3 (%1) was disconnected; the port is closed.").arg(device));
    QCOMPARE(openButton().text(), QStringLiteral("Open COM3"));
    QVERIFY(!form_->findChild<QAction*>(QStringLiteral("MOpen"))->isChecked());
    QVERIFY(form_->findChild<QPushButton*>(QStringLiteral("cmdConfig"))->isEnabled());

    // A notifier left on the dead device would fire without end and burn a whole core.
    const double cpuBefore = cpuMilliseconds();
    QTest::qWait(300);
    const double cpuUsed = cpuMilliseconds() - cpuBefore;
    qInfo("processor time in the 300 ms after the hang-up: %.1f ms", cpuUsed);
    QVERIFY2(cpuUsed < 60.0, qPrintable(QString::number(cpuUsed)));
    QCOMPARE(prompts_->messages().size(), 1);

    // The scanner is back, at a new device path: "Open COM3" works again.
    scanner = std::make_unique<PtyPair>();
    qputenv("LINNET_COM3", scanner->slavePath().toLocal8Bit());
    openButton().click();
    QVERIFY(form_->MSComm1().PortOpen());
    QCOMPARE(prompts_->messages().last().text,
             QStringLiteral("COM3 is  < Opened > and ready to scan barcode."));
    QCOMPARE(openButton().text(), QStringLiteral("Close COM3"));
    scanner->writeMaster(QByteArray("again\r"));
    QTRY_COMPARE(form_->Term().Text(), QStringLiteral("last\r\nagain\r\n"));
}

void TestEndToEnd::xoffHoldsTypedKeysThroughTheCloseWait() {
    PortControl& port = form_->MSComm1();
    port.setHandshaking(1);
    // The scanner says XOFF; the byte after it shows that the device side has taken it.
    pty_->writeMaster(QByteArray("\x13!"));
    QTRY_COMPARE(form_->Term().Text(), QStringLiteral("!"));

    RichTextBox& term = form_->Term();
    term.setFocus();
    QTest::keyClicks(&term, QStringLiteral("scan"));
    QTest::keyClick(&term, Qt::Key_Return);
    QCOMPARE(port.OutBufferCount(), 5);
    QCOMPARE(pty_->readMaster(1, 0ms), QByteArray());

    // The close wait sees the held keys; with the clock running out it asks, and Abort keeps the
    // window and the port open.
    clock_->stepPerReading = 5.0;
    prompts_->calls.clear();
    prompts_->answers.push_back(Prompts::Answer::Abort);
    QVERIFY(!form_->close());
    QVERIFY(form_->isVisible());
    QVERIFY(port.PortOpen());
    QCOMPARE(prompts_->messages().size(), 1);
    QCOMPARE(prompts_->messages()[0].text, QStringLiteral("Data cannot be sent"));
    QCOMPARE(prompts_->messages()[0].buttons, Prompts::Buttons::AbortRetryIgnore);
    QCOMPARE(port.OutBufferCount(), 5);

    // XON lets them go, in the order typed.
    clock_->stepPerReading = 0.0;
    pty_->writeMaster(QByteArray("\x11"));
    QCOMPARE(drainMaster(*pty_, 5), QByteArray("scan\r"));
    QTRY_COMPARE(port.OutBufferCount(), 0);

    // With nothing left to send the window closes without asking.
    QVERIFY(form_->close());
    QVERIFY(!port.PortOpen());
    QCOMPARE(prompts_->messages().size(), 1);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
