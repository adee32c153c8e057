#include "form_harness.h"
#include "main_window/echo.h"
#include "main_window/rich_text_box.h"
#include "main_window/shape.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class TestPortHandlers : public QObject {
    Q_OBJECT

private slots:
    void twoTogglesReportOpenedThenClosed();
    void failedOpenShowsOnlyTheFailure();
    void buttonTogglesActualStateWhateverItsCaption();
    void buttonMovesFocusToTermMenuDoesNot();
    void twoDigitPortNumbers();
    void settingsMenuStaysUsableWhileOpen();
    void lamps_data();
    void lamps();
    void lampRefreshStopsAtFailingRead();
    void lineQueries_data();
    void lineQueries();
    void dtrCommandFollowsReadBack();
    void failureEscapingMenuCommandIsShown();
    void numberPrompts_data();
    void numberPrompts();
    void numberPromptAfterRefusedRead();
    void parityReplacePrompt_data();
    void parityReplacePrompt();
    void receivedBlockInBothViews();
    void inputLenOneStillShowsEveryCharacter();
    void statusEvents_data();
    void statusEvents();
    void errorPromptOkKeepsPortOpen();
    void errorPromptCancelClosesPortAndControlsFollow();
    void unknownEventCodes_data();
    void unknownEventCodes();
    void typing_data();
    void typing();
};

namespace {

constexpr int Red = 255;
constexpr int Green = 65280;

QAction* action(FormHarness& h, const char* name) {
    return h.child<QAction>(QString::fromLatin1(name));
}

QPushButton* button(FormHarness& h, const char* name) {
    return h.child<QPushButton>(QString::fromLatin1(name));
}

void deliverEvents() {
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

void TestPortHandlers::twoTogglesReportOpenedThenClosed() {
    FormHarness h;
    action(h, "MOpen")->trigger();
    QVERIFY(h.port->PortOpen());
    QCOMPARE(button(h, "cmdOPEN")->text(), QStringLiteral("Close COM1"));
    QVERIFY(action(h, "MOpen")->isChecked());
    QVERIFY(!button(h, "cmdConfig")->isEnabled());

    action(h, "MOpen")->trigger();
    QVERIFY(!h.port->PortOpen());
    QCOMPARE(button(h, "cmdOPEN")->text(), QStringLiteral("Open COM1"));
    QVERIFY(!action(h, "MOpen")->isChecked());
    QVERIFY(button(h, "cmdConfig")->isEnabled());

    const auto messages = h.prompts->messages();
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[0].text, QStringLiteral("COM1 is  < Opened > and ready to scan barcode."));
    QCOMPARE(messages[1].text, QStringLiteral("COM1 is  < Closed > !!"));
    for (const auto& message : messages) {
        QCOMPARE(message.icon, Prompts::Icon::Information);
        QCOMPARE(message.buttons, Prompts::Buttons::Ok);
        QCOMPARE(message.title, QStringLiteral("Linnet-Test"));
    }
}

void TestPortHandlers::failedOpenShowsOnlyTheFailure() {
    FormHarness h;
    const QString reason = QStringLiteral("COM1 (/dev/ttyS0) does not exist.");
    h.port->failWrite(QStringLiteral("PortOpen"), reason);
    QTest::mouseClick(button(h, "cmdOPEN"), Qt::LeftButton);

    const auto messages = h.prompts->messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, reason);
    QCOMPARE(messages[0].icon, Prompts::Icon::Exclamation);
    QCOMPARE(button(h, "cmdOPEN")->text(), QStringLiteral("Open COM1"));
    QVERIFY(!action(h, "MOpen")->isChecked());
    QVERIFY(button(h, "cmdConfig")->isEnabled());
    // The lamps were refreshed all the same: a closed port holds no line.
    QCOMPARE(h.form->shapeMSCommPins(1).BackColor(), Green);
    QCOMPARE(h.form->shapeMSCommPins(6).BackColor(), Red);
}

void TestPortHandlers::buttonTogglesActualStateWhateverItsCaption() {
    FormHarness h;
    h.port->forceOpen(true);
    QCOMPARE(button(h, "cmdOPEN")->text(), QStringLiteral("Open COM1"));
    QTest::mouseClick(button(h, "cmdOPEN"), Qt::LeftButton);
    QVERIFY(!h.port->PortOpen());
    QCOMPARE(h.prompts->messages().last().text, QStringLiteral("COM1 is  < Closed > !!"));
    QCOMPARE(button(h, "cmdOPEN")->text(), QStringLiteral("Open COM1"));
}

void TestPortHandlers::buttonMovesFocusToTermMenuDoesNot() {
    FormHarness h;
    h.form->show();
    h.form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
    button(h, "cmdClear")->setFocus();
    action(h, "MOpen")->trigger();
    QCOMPARE(QApplication::focusWidget(), button(h, "cmdClear"));
    QTest::mouseClick(button(h, "cmdOPEN"), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), &h.form->Term());

    // Also after a failed toggle.
    button(h, "cmdClear")->setFocus();
    h.port->failWrite(QStringLiteral("PortOpen"), QStringLiteral("refused"));
    QTest::mouseClick(button(h, "cmdOPEN"), Qt::LeftButton);
    QCOMPARE(QApplication::focusWidget(), &h.form->Term());
}

void TestPortHandlers::twoDigitPortNumbers() {
    FormHarness h;
    h.port->setCommPort(12);
    action(h, "MOpen")->trigger();
    QCOMPARE(button(h, "cmdOPEN")->text(), QStringLiteral("Close COM12"));
    QCOMPARE(h.prompts->messages().last().text,
             QStringLiteral("COM12 is  < Opened > and ready to scan barcode."));
}

void TestPortHandlers::settingsMenuStaysUsableWhileOpen() {
    FormHarness h;
    action(h, "MOpen")->trigger();
    QVERIFY(!button(h, "cmdConfig")->isEnabled());
    QVERIFY(action(h, "MSettings")->isEnabled());
    action(h, "MSettings")->trigger();
    QVERIFY(h.form->configScrn());
    QVERIFY(reinterpret_cast<QWidget*>(h.form->configScrn())->isVisible());
    reinterpret_cast<QWidget*>(h.form->configScrn())->close();
}

void TestPortHandlers::lamps_data() {
    QTest::addColumn<bool>("cd");
    QTest::addColumn<bool>("dsr");
    QTest::addColumn<bool>("cts");
    for (int bits = 0; bits < 8; ++bits) {
        const bool cd = bits & 1, dsr = bits & 2, cts = bits & 4;
        QTest::addRow("cd%d dsr%d cts%d", cd, dsr, cts) << cd << dsr << cts;
    }
}

void TestPortHandlers::lamps() {
    QFETCH(bool, cd);
    QFETCH(bool, dsr);
    QFETCH(bool, cts);
    FormHarness h;
    h.port->forceOpen(true);
    h.port->setLines(cd, dsr, cts);
    QList<int> others;
    for (int i : {2, 3, 4, 5, 7, 9})
        others << h.form->shapeMSCommPins(i).BackColor();
    h.form->SerialPinLamps();
    h.form->SerialPinLamps(); // a refresh with nothing changed sets the same colours
    QCOMPARE(h.form->shapeMSCommPins(1).BackColor(), cd ? Red : Green);
    QCOMPARE(h.form->shapeMSCommPins(6).BackColor(), dsr ? Green : Red);
    QCOMPARE(h.form->shapeMSCommPins(8).BackColor(), cts ? Green : Red);
    // The state in words, for a colour-blind user and for screen readers.
    auto words = [](const char* line, bool held) {
        return QString::fromLatin1(line) +
               (held ? QStringLiteral(": held") : QStringLiteral(": not held"));
    };
    QCOMPARE(h.form->shapeMSCommPins(1).stateText(), words("CD", cd));
    QCOMPARE(h.form->shapeMSCommPins(6).accessibleName(), words("DSR", dsr));
    QCOMPARE(h.form->shapeMSCommPins(8).toolTip(), words("CTS", cts));
    QList<int> after;
    for (int i : {2, 3, 4, 5, 7, 9})
        after << h.form->shapeMSCommPins(i).BackColor();
    QCOMPARE(after, others);
}

void TestPortHandlers::lampRefreshStopsAtFailingRead() {
    FormHarness h;
    h.port->forceOpen(true);
    h.port->setLines(true, true, true);
    const int dsrBefore = h.form->shapeMSCommPins(6).BackColor();
    const int ctsBefore = h.form->shapeMSCommPins(8).BackColor();
    h.port->failRead(QStringLiteral("DSRHolding"), QStringLiteral("cannot read DSR"));
    QVERIFY_THROWS_EXCEPTION(PortFailure, h.form->SerialPinLamps());
    QCOMPARE(h.form->shapeMSCommPins(1).BackColor(), Red);
    QCOMPARE(h.form->shapeMSCommPins(6).BackColor(), dsrBefore);
    QCOMPARE(h.form->shapeMSCommPins(8).BackColor(), ctsBefore);
}

void TestPortHandlers::lineQueries_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("held");
    QTest::addColumn<QString>("text");
    QTest::newRow("CD held") << "MHCD" << true << "CDHolding = True";
    QTest::newRow("CTS held") << "MHCTS" << true << "CTSHolding = True";
    QTest::newRow("DSR not held") << "MHDSR" << false << "DSRHolding = False";
}

void TestPortHandlers::lineQueries() {
    QFETCH(QString, item);
    QFETCH(bool, held);
    QFETCH(QString, text);
    FormHarness h;
    h.port->forceOpen(true);
    h.port->setLines(held, held, held);
    const int lampBefore = h.form->shapeMSCommPins(1).BackColor();
    h.child<QAction>(item)->trigger();
    const auto messages = h.prompts->messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, text);
    QCOMPARE(messages[0].icon, Prompts::Icon::None);
    QCOMPARE(messages[0].title, QStringLiteral("Linnet-Test"));
    QCOMPARE(h.form->PropertyText, held ? QStringLiteral("True") : QStringLiteral("False"));
    QCOMPARE(h.form->shapeMSCommPins(1).BackColor(), lampBefore); // queries do not refresh
}

void TestPortHandlers::dtrCommandFollowsReadBack() {
    FormHarness h;
    QAction* dtr = action(h, "MDTREnable");
    QVERIFY(!dtr->isChecked());
    dtr->trigger();
    QVERIFY(!h.port->DTREnable());
    QVERIFY(!dtr->isChecked());
    dtr->trigger();
    QVERIFY(h.port->DTREnable());
    QVERIFY(dtr->isChecked());
    QCOMPARE(h.port->writes, QStringList({"DTREnable=false", "DTREnable=true"}));
}

void TestPortHandlers::failureEscapingMenuCommandIsShown() {
    FormHarness h;
    h.port->failWrite(QStringLiteral("DTREnable"), QStringLiteral("DTR cannot be changed."));
    action(h, "MDTREnable")->trigger();
    QVERIFY(!action(h, "MDTREnable")->isChecked());
    const auto messages = h.prompts->messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, QStringLiteral("DTR cannot be changed."));
    QCOMPARE(messages[0].icon, Prompts::Icon::Exclamation);

    h.port->failRead(QStringLiteral("CDHolding"), QStringLiteral("CD unreadable."));
    action(h, "MHCD")->trigger();
    QCOMPARE(h.prompts->messages().size(), 2);
    QCOMPARE(h.prompts->messages().last().text, QStringLiteral("CD unreadable."));
}

void TestPortHandlers::numberPrompts_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QVariant>("answer"); // invalid QVariant: Cancel
    QTest::addColumn<QString>("written"); // empty: nothing written
    QTest::addColumn<QString>("warning");

    const QString overflow = QStringLiteral("Overflow: 40000 is outside -32768 to 32767");
    QTest::newRow("InputLen unchanged") << "MInputLen"
                                        << "InputLen"
                                        << "Enter New InputLen:"
                                        << "InputLen" << QVariant(" 0") << "InputLen=0"
                                        << "";
    QTest::newRow("RThreshold blanks") << "MRThreshold"
                                       << "RThreshold"
                                       << "Enter New RThreshold:"
                                       << "RThreshold" << QVariant("  25  ") << "RThreshold=25"
                                       << "";
    QTest::newRow("SThreshold 2.5") << "MSThreshold"
                                    << "SThreshold"
                                    << "Enter New SThreshold Value"
                                    << "SThreshold" << QVariant("2.5") << "SThreshold=2"
                                    << "";
    QTest::newRow("SThreshold 3.5") << "MSThreshold"
                                    << "SThreshold"
                                    << "Enter New SThreshold Value"
                                    << "SThreshold" << QVariant("3.5") << "SThreshold=4"
                                    << "";
    QTest::newRow("overflow") << "MInputLen"
                              << "InputLen"
                              << "Enter New InputLen:"
                              << "InputLen" << QVariant("40000") << "" << overflow;
    QTest::newRow("letters") << "MRThreshold"
                             << "RThreshold"
                             << "Enter New RThreshold:"
                             << "RThreshold" << QVariant("abc") << "RThreshold=0"
                             << "";
    QTest::newRow("cancel") << "MInputLen"
                            << "InputLen"
                            << "Enter New InputLen:"
                            << "InputLen" << QVariant() << ""
                            << "";
    QTest::newRow("cleared") << "MSThreshold"
                             << "SThreshold"
                             << "Enter New SThreshold Value"
                             << "SThreshold" << QVariant("") << ""
                             << "";
}

void TestPortHandlers::numberPrompts() {
    QFETCH(QString, item);
    QFETCH(QString, property);
    QFETCH(QString, prompt);
    QFETCH(QString, title);
    QFETCH(QVariant, answer);
    QFETCH(QString, written);
    QFETCH(QString, warning);

    FormHarness h;
    h.form->PropertyText = QStringLiteral("True"); // left by a line query
    h.prompts->inputs.push_back(answer.isValid() ? std::optional(answer.toString()) : std::nullopt);
    h.child<QAction>(item)->trigger();

    QCOMPARE(h.prompts->calls.size() >= 1, true);
    const auto& input = h.prompts->calls.first();
    QCOMPARE(input.kind, FakePrompts::Call::Kind::Input);
    QCOMPARE(input.text, prompt);
    QCOMPARE(input.title, title);
    QCOMPARE(input.defaultAnswer,
             property == QLatin1String("RThreshold") ? QStringLiteral(" 1") : QStringLiteral(" 0"));
    QCOMPARE(h.port->writes, written.isEmpty() ? QStringList() : QStringList{written});
    const auto messages = h.prompts->messages();
    if (warning.isEmpty()) {
        QVERIFY(messages.isEmpty());
    } else {
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].text, warning);
        QCOMPARE(messages[0].icon, Prompts::Icon::Exclamation);
    }
    QCOMPARE(h.form->PropertyText, answer.toString());
}

void TestPortHandlers::numberPromptAfterRefusedRead() {
    // A refused read shows no prompt; the earlier answer is used and the failure is shown.
    FormHarness h;
    h.port->failRead(QStringLiteral("InputLen"), QStringLiteral("InputLen unreadable."));
    h.form->PropertyText = QStringLiteral("7");
    action(h, "MInputLen")->trigger();
    QCOMPARE(h.port->writes, QStringList({"InputLen=7"}));
    QCOMPARE(h.prompts->calls.size(), 1);
    QCOMPARE(h.prompts->calls[0].text, QStringLiteral("InputLen unreadable."));

    // With nothing to fall back on the command ends silently.
    FormHarness quiet;
    quiet.port->failRead(QStringLiteral("RThreshold"), QStringLiteral("unreadable"));
    action(quiet, "MRThreshold")->trigger();
    QVERIFY(quiet.prompts->calls.isEmpty());
    QVERIFY(quiet.port->writes.isEmpty());

    // A value the port refuses: its own text, and the property keeps its value.
    FormHarness refused;
    refused.port->failWrite(QStringLiteral("SThreshold"), QStringLiteral("SThreshold -1 refused."));
    refused.prompts->inputs.push_back(QStringLiteral("-1"));
    action(refused, "MSThreshold")->trigger();
    QCOMPARE(refused.port->SThreshold(), qint16(0));
    QCOMPARE(refused.prompts->messages().last().text, QStringLiteral("SThreshold -1 refused."));
}

void TestPortHandlers::parityReplacePrompt_data() {
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("written");
    QTest::newRow("three letters") << QVariant("xyz") << "x" << true;
    QTest::newRow("unchanged") << QVariant("?") << "?" << true;
    QTest::newRow("empty with OK") << QVariant("") << "" << true;
    QTest::newRow("cancel keeps it") << QVariant() << "?" << false;
}

void TestPortHandlers::parityReplacePrompt() {
    QFETCH(QVariant, answer);
    QFETCH(QString, expected);
    QFETCH(bool, written);
    FormHarness h;
    h.prompts->inputs.push_back(answer.isValid() ? std::optional(answer.toString()) : std::nullopt);
    action(h, "MParRep")->trigger();
    const auto& input = h.prompts->calls.first();
    QCOMPARE(input.text, QStringLiteral("Enter Replace Character"));
    QCOMPARE(input.title, QStringLiteral("ParityReplace"));
    QCOMPARE(input.defaultAnswer, QStringLiteral("?"));
    QCOMPARE(h.port->ParityReplace(), expected);
    QCOMPARE(h.port->writes.isEmpty(), !written);
    QVERIFY(h.prompts->messages().isEmpty());
}

void TestPortHandlers::receivedBlockInBothViews() {
    FormHarness h;
    action(h, "MOpen")->trigger();
    h.port->receive(QStringLiteral("AB\r\n"));
    deliverEvents();
    QCOMPARE(h.form->TermHex().Text(), QStringLiteral("41h 42h Dh Ah "));
    QCOMPARE(h.form->Term().Text(), QStringLiteral("AB\r\n"));
    QCOMPARE(h.form->ReceivedText, QStringLiteral("AB\r\n"));
    QCOMPARE(h.form->HexText, QStringLiteral("41h 42h Dh Ah "));

    // NUL and 0xFF are shown too.
    h.port->receive(QString(QChar(0)) + QChar(0xFF));
    deliverEvents();
    QVERIFY(h.form->TermHex().Text().endsWith(QStringLiteral("0h FFh ")));
}

void TestPortHandlers::inputLenOneStillShowsEveryCharacter() {
    FormHarness h;
    action(h, "MOpen")->trigger();
    h.port->setInputLen(1);
    h.port->receive(QStringLiteral("ABC"));
    QTRY_COMPARE(h.form->TermHex().Text(), QStringLiteral("41h 42h 43h "));
    QCOMPARE(h.port->inputReads, 3);
    QCOMPARE(h.form->Term().Text(), QStringLiteral("ABC"));
}

void TestPortHandlers::statusEvents_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("status");
    QTest::newRow("CTS") << 3 << "Change in CTS Detected";
    QTest::newRow("DSR") << 4 << "Change in DSR Detected";
    QTest::newRow("CD") << 5 << "Change in CD Detected";
    QTest::newRow("ring") << 6 << "The Phone is Ringing";
    QTest::newRow("EOF") << 7 << "End of File Detected";
    QTest::newRow("break") << 1001 << "Break Received";
    QTest::newRow("framing") << 1004 << "Framing Error";
    QTest::newRow("parity") << 1008 << "Parity Error";
    QTest::newRow("send") << 1 << "";
}

void TestPortHandlers::statusEvents() {
    QFETCH(int, code);
    QFETCH(QString, status);
    FormHarness h;
    h.port->forceOpen(true);
    h.port->setLines(true, false, false);
    h.port->raise(static_cast<qint16>(code));
    deliverEvents();
    QCOMPARE(h.child<QLabel>(QStringLiteral("Label1"))->text(), status);
    QCOMPARE(h.prompts->beeps(), 0);
    QVERIFY(h.prompts->messages().isEmpty());
    QVERIFY(h.form->EventMessage.isEmpty());
    QCOMPARE(h.form->shapeMSCommPins(1).BackColor(), Red); // refreshed first
}

void TestPortHandlers::errorPromptOkKeepsPortOpen() {
    FormHarness h;
    action(h, "MOpen")->trigger();
    h.prompts->calls.clear();
    h.port->raise(1002);
    deliverEvents();
    QCOMPARE(h.prompts->beeps(), 1);
    const auto messages = h.prompts->messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, QStringLiteral("CTS Timeout"));
    QCOMPARE(messages[0].title, QStringLiteral("Click Cancel to quit, OK to ignore."));
    QCOMPARE(messages[0].buttons, Prompts::Buttons::OkCancel);
    QCOMPARE(messages[0].icon, Prompts::Icon::None);
    QVERIFY(h.port->PortOpen());
    QVERIFY(h.form->ErrorMessage.isEmpty());
}

void TestPortHandlers::errorPromptCancelClosesPortAndControlsFollow() {
    FormHarness h;
    action(h, "MOpen")->trigger();
    h.port->setLines(false, true, true);
    h.prompts->calls.clear();
    h.prompts->answers = {Prompts::Answer::Cancel};
    h.port->raise(1005);
    deliverEvents();
    QCOMPARE(h.prompts->messages().size(), 1);
    QCOMPARE(h.prompts->messages()[0].text, QStringLiteral("Overrun Error"));
    QVERIFY(!h.port->PortOpen());
    QCOMPARE(button(h, "cmdOPEN")->text(), QStringLiteral("Open COM1"));
    QVERIFY(!action(h, "MOpen")->isChecked());
    QVERIFY(button(h, "cmdConfig")->isEnabled());
    // Lamps refreshed after closing: no line is held on a closed port.
    QCOMPARE(h.form->shapeMSCommPins(6).BackColor(), Red);
}

void TestPortHandlers::unknownEventCodes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("1010") << 1010 << "Unknown error or event 1010";
    QTest::newRow("negative") << -3 << "Unknown error or event-3";
    QTest::newRow("CD timeout") << 1006 << "Carrier Detect Timeout";
    QTest::newRow("rx overflow") << 1007 << "Receive Buffer Overflow";
    QTest::newRow("tx full") << 1009 << "Transmit Buffer Full";
}

void TestPortHandlers::unknownEventCodes() {
    QFETCH(int, code);
    QFETCH(QString, message);
    FormHarness h;
    h.port->forceOpen(true);
    h.port->raise(static_cast<qint16>(code));
    deliverEvents();
    QCOMPARE(h.prompts->messages().size(), 1);
    QCOMPARE(h.prompts->messages()[0].text, message);
    QCOMPARE(h.prompts->beeps(), 1);
}

void TestPortHandlers::typing_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<int>("echo");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("shown");
    QTest::newRow("closed") << false << int(VbTrue) << "abc"
                            << ""
                            << "abc";
    QTest::newRow("open, echo off") << true << int(VbFalse) << "abc"
                                    << "abc"
                                    << "";
    QTest::newRow("open, echo not exactly true") << true << 1 << "ab"
                                                 << "ab"
                                                 << "";
    QTest::newRow("open, echo on") << true << int(VbTrue) << "abc\r"
                                   << "abc\r"
                                   << "abc\r\n";
    QTest::newRow("backspace, echo off") << true << int(VbFalse) << "\b"
                                         << "\b"
                                         << "xy";
    QTest::newRow("backspace, echo on") << true << int(VbTrue) << "\b"
                                        << "\b"
                                        << "x";
    QTest::newRow("beyond one byte, open") << true << int(VbTrue) << "\u20ac"
                                           << ""
                                           << "";
    QTest::newRow("beyond one byte, closed") << false << int(VbTrue) << "\u20ac"
                                             << ""
                                             << "\u20ac";
}

void TestPortHandlers::typing() {
    QFETCH(bool, open);
    QFETCH(int, echo);
    QFETCH(QString, keys);
    QFETCH(QString, sent);
    QFETCH(QString, shown);
    FormHarness h;
    h.port->forceOpen(open);
    EchoEnabled = static_cast<qint16>(echo);
    RichTextBox& term = h.form->Term();
    if (keys.startsWith(QLatin1Char('\b'))) {
        term.setText(QStringLiteral("xy"));
        term.setSelStart(2);
    }
    h.form->show();
    term.setFocus();
    for (QChar key : keys) {
        if (key == QLatin1Char('\r'))
            QTest::keyClick(&term, Qt::Key_Return);
        else if (key == QLatin1Char('\b'))
            QTest::keyClick(&term, Qt::Key_Backspace);
        else
            QTest::sendKeyEvent(QTest::Click, &term, Qt::Key_unknown, QString(key), Qt::NoModifier);
    }
    QCOMPARE(h.port->sent, sent);
    QCOMPARE(term.Text(), shown);
    EchoEnabled = VbFalse;
}

QTEST_MAIN(TestPortHandlers)
#include "tst_port_handlers.moc"
