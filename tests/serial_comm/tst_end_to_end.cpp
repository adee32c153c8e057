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

class TestEndToEnd : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void scannedCodeAppearsInBothViews();
    void typedKeysReachTheDeviceInOrder();
    void hangUpWhileOpenClosesThePort();

private:
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<Form1> form_;
    FakePrompts* prompts_ = nullptr;
};

void TestEndToEnd::init() {
    pty_ = std::make_unique<PtyPair>();
    qputenv("LINNET_COM1", pty_->slavePath().toLocal8Bit());
    auto prompts = std::make_unique<FakePrompts>();
    prompts_ = prompts.get();
    form_ = std::make_unique<Form1>(std::make_unique<TermiosPort>(), std::move(prompts),
                                    std::make_unique<FakeClock>());
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
    pty_->writeMaster(QByteArray("last\r"));
    QTRY_COMPARE(form_->Term().Text(), QStringLiteral("last\r\n"));
    prompts_->calls.clear();
    pty_->closeMaster();
    QTRY_VERIFY(!form_->MSComm1().PortOpen());
    QTRY_COMPARE(prompts_->messages().size(), 1);
    QVERIFY(prompts_->messages()[0].text.contains(QStringLiteral("disconnected")));
    QCOMPARE(form_->findChild<QPushButton*>(QStringLiteral("cmdOPEN"))->text(),
             QStringLiteral("Open COM1"));
    QVERIFY(!form_->findChild<QAction*>(QStringLiteral("MOpen"))->isChecked());
    QVERIFY(form_->findChild<QPushButton*>(QStringLiteral("cmdConfig"))->isEnabled());
    // The event loop is not kept busy by the dead device.
    QTest::qWait(100);
    QCOMPARE(prompts_->messages().size(), 1);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"
