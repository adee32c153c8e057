#include "data_columns.h"
#include "form_harness.h"
#include "main_window/shape.h"
#include "port/port_messages.h"
#include "ui/echo.h"
#include "views/rich_text_box.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace main_window;
using namespace port;
using namespace ui;
using namespace views;

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int Red = 255;
constexpr int Green = 65280;

QAction* action(FormHarness& h, const char* name) {
    return h.child<QAction>(QString::fromLatin1(name));
}

QPushButton* button(FormHarness& h, const char* name) {
    return h.child<QPushButton>(QString::fromLatin1(name));
}

// The open button's caption, and whether the open command is checked and Config enabled.
QString controls(FormHarness& h) {
    return u"%1 %2 %3"_s.arg(button(h, "cmdOPEN")->text())
        .arg(action(h, "MOpen")->isChecked() ? u"checked"_s : u"unchecked"_s)
        .arg(button(h, "cmdConfig")->isEnabled() ? u"Config"_s : u"no Config"_s);
}

// The texts of the message boxes shown so far.
QStringList shown(FormHarness& h) {
    QStringList texts;
    for (const auto& message : h.prompts->messages())
        texts << message.text;
    return texts;
}

} // namespace

class TestPortHandlers : public QObject {
    Q_OBJECT

private slots:
    void togglesReportWhatHappened() {
        FormHarness h;
        h.form->show();
        h.form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.form.get()));
        // Opened behind the window's back: the caption says "Open", the button still closes.
        h.port->setCommPort(12);
        h.port->forceOpen(true);
        button(h, "cmdClear")->setFocus();
        QTest::mouseClick(button(h, "cmdOPEN"), Qt::LeftButton);
        QVERIFY(!h.port->PortOpen());
        QCOMPARE(controls(h), u"Open COM12 unchecked Config"_s);
        QCOMPARE(QApplication::focusWidget(), &h.form->Term()); // the button hands focus over
        // A failed open shows only the failure.
        const port::PortError missing =
            h.port->fault(port::PortOperation::Open, port::FailureCause::OpenRefused);
        h.port->failWrite(u"PortOpen"_s, missing);
        button(h, "cmdClear")->setFocus();
        QTest::mouseClick(button(h, "cmdOPEN"), Qt::LeftButton);
        QCOMPARE(controls(h), u"Open COM12 unchecked Config"_s);
        QCOMPARE(QApplication::focusWidget(), &h.form->Term());

        h.port->clearFailures();
        button(h, "cmdClear")->setFocus();
        choose(action(h, "MOpen"));
        QVERIFY(h.port->PortOpen());
        QCOMPARE(controls(h), u"Close COM12 checked no Config"_s);
        QVERIFY(action(h, "MSettings")->isEnabled());
        QCOMPARE(QApplication::focusWidget(), button(h, "cmdClear")); // the menu keeps it

        QCOMPARE(shown(h), (QStringList{u"COM12 is  < Closed > !!"_s, port::failureText(missing),
                                        u"COM12 is  < Opened > and ready to scan barcode."_s}));
        QCOMPARE(h.prompts->messages()[0].icon, ui::Prompts::Icon::Information);
        QCOMPARE(h.prompts->messages()[1].icon, ui::Prompts::Icon::Exclamation);
    }

    void lamps_data() {
        QTest::addColumn<int>("lines");
        for (int lines = 0; lines < 8; ++lines)
            QTest::addRow("cd%d dsr%d cts%d", lines & 1, lines >> 1 & 1, lines >> 2 & 1) << lines;
    }
    void lamps() {
        QFETCH(int, lines);
        const bool cd = lines & 1, dsr = lines & 2, cts = lines & 4;
        FormHarness h;
        h.port->forceOpen(true);
        h.port->setLines(cd, dsr, cts);
        h.form->SerialPinLamps();
        // CD is red when held, DSR and CTS green; the state in words too, for screen readers.
        QCOMPARE(h.form->shapeMSCommPins(1).BackColor(), cd ? Red : Green);
        QCOMPARE(h.form->shapeMSCommPins(6).BackColor(), dsr ? Green : Red);
        QCOMPARE(h.form->shapeMSCommPins(8).BackColor(), cts ? Green : Red);
        QCOMPARE(h.form->shapeMSCommPins(1).toolTip(), cd ? u"CD: held"_s : u"CD: not held"_s);
    }

    void lineQueriesAndDtr() {
        FormHarness h;
        h.port->forceOpen(true);
        h.port->setLines(true, false, true);
        choose(action(h, "MHCD"));
        choose(action(h, "MHDSR"));
        QCOMPARE(h.form->PropertyText, u"False"_s);
        QAction* dtr = action(h, "MDTREnable");
        // The check mark shows the line from the start, so the first command drops it.
        QVERIFY(h.port->DTREnable() && dtr->isChecked());
        choose(dtr);
        QVERIFY(!h.port->DTREnable() && !dtr->isChecked());
        choose(dtr);
        QVERIFY(h.port->DTREnable() && dtr->isChecked());
        // A failure escaping a menu command is shown, and the check follows what the port says.
        const port::PortError refused =
            h.port->fault(port::PortOperation::SetDtr, port::FailureCause::DtrNotSet);
        h.port->failWrite(u"DTREnable"_s, refused);
        choose(dtr);
        QVERIFY(dtr->isChecked());
        QCOMPARE(shown(h), (QStringList{u"CDHolding = True"_s, u"DSRHolding = False"_s,
                                        port::failureText(refused)}));
        QCOMPARE(h.prompts->messages()[2].icon, ui::Prompts::Icon::Exclamation);
    }

    void propertyPrompts_data() {
        // answer: invalid: Cancel
        // written: empty: nothing written
        addColumns<QString, QVariant, QString, QString>("item", "answer", "written", "warning");
        const auto row = [](const char* name, const char* item, const QVariant& answer,
                            const char* written, const char* warning = "") {
            QTest::newRow(name) << QString::fromLatin1(item) << answer << QString::fromUtf8(written)
                                << QString::fromLatin1(warning);
        };
        row("InputLen offered value", "MInputLen", u" 0"_s, "InputLen=0");
        row("SThreshold half to even", "MSThreshold", u"2.5"_s, "SThreshold=2");
        row("letters read 0", "MRThreshold", u"abc"_s, "RThreshold=0");
        row("overflow", "MInputLen", u"40000"_s, "", "Overflow: 40000 is outside -32768 to 32767");
        row("number cancelled", "MInputLen", QVariant(), "");
        row("number cleared", "MSThreshold", u""_s, "");
        row("replacement: first character", "MParRep", u"xyz"_s, "ParityReplace=x");
        row("replacement: first character beyond the BMP", "MParRep", u"\U0001F600x"_s,
            "ParityReplace=\U0001F600");
        row("replacement cleared", "MParRep", u""_s, "ParityReplace=");
        row("replacement cancelled", "MParRep", QVariant(), "");
    }
    void propertyPrompts() {
        QFETCH(QString, item);
        QFETCH(QVariant, answer);
        QFETCH(QString, written);
        QFETCH(QString, warning);
        // Prompt text, title and offered answer of each command.
        const QHash<QString, QString> prompts{
            {u"MInputLen"_s, u"Enter New InputLen:|InputLen| 0"_s},
            {u"MRThreshold"_s, u"Enter New RThreshold:|RThreshold| 1"_s},
            {u"MSThreshold"_s, u"Enter New SThreshold Value|SThreshold| 0"_s},
            {u"MParRep"_s, u"Enter Replace Character|ParityReplace|?"_s}};
        FormHarness h;
        h.form->PropertyText = u"True"_s; // left by a line query
        h.prompts->inputs.push_back(answer.isValid() ? std::optional(answer.toString())
                                                     : std::nullopt);
        choose(h.child<QAction>(item));
        const auto& input = h.prompts->calls.first();
        QCOMPARE(QStringList({input.text, input.title, input.defaultAnswer}).join(u'|'),
                 prompts.value(item));
        QCOMPARE(h.port->writes, written.isEmpty() ? QStringList() : QStringList{written});
        QCOMPARE(h.form->PropertyText, answer.toString());
        QCOMPARE(shown(h), warning.isEmpty() ? QStringList() : QStringList{warning});
    }

    void propertyPromptUnreadable_data() {
        // earlier: PropertyText left by an earlier command
        addColumns<QString, QString, QString>("item", "property", "earlier");
        const auto row = [](const char* item, const char* property, const char* earlier) {
            QTest::addRow("%s after \"%s\"", item, earlier)
                << QString::fromLatin1(item) << QString::fromLatin1(property)
                << QString::fromLatin1(earlier);
        };
        row("MInputLen", "InputLen", "True");
        row("MRThreshold", "RThreshold", "7");
        row("MSThreshold", "SThreshold", "");
        row("MParRep", "ParityReplace", "x");
    }
    void propertyPromptUnreadable() {
        // A current value that cannot be read: no prompt, nothing written, the failure shown.
        QFETCH(QString, item);
        QFETCH(QString, property);
        QFETCH(QString, earlier);
        FormHarness h;
        const port::PortError unreadable =
            h.port->fault(port::PortOperation::Read, port::FailureCause::DeviceLost);
        h.port->failRead(property, unreadable);
        h.form->PropertyText = earlier;
        choose(action(h, qPrintable(item)));
        QVERIFY(h.port->writes.isEmpty());
        QCOMPARE(shown(h), QStringList{port::failureText(unreadable)});
        QCOMPARE(h.prompts->calls.size(), 1);
        QCOMPARE(h.prompts->calls[0].icon, ui::Prompts::Icon::Exclamation);
    }

    void propertyPromptRefused() {
        // A value the port refuses: its own text, and the property keeps its value.
        FormHarness h;
        port::PortError refused =
            h.port->fault(port::PortOperation::SetSThreshold, port::FailureCause::OutOfRange);
        refused.value = u"-1"_s;
        h.port->failWrite(u"SThreshold"_s, refused);
        h.prompts->inputs.push_back(u"-1"_s);
        choose(action(h, "MSThreshold"));
        QVERIFY(h.port->writes.isEmpty());
        QCOMPARE(h.port->SThreshold(), qint16(0));
        QCOMPARE(shown(h), QStringList{port::failureText(refused)});
    }

    void receivedCharactersReachBothViews() {
        FormHarness h;
        choose(action(h, "MOpen"));
        h.port->setInputLen(1); // one character per Receive, every one shown all the same
        h.port->receive(u"AB\r\n"_s + QChar(0) + QChar(0xFF));
        QTRY_COMPARE(h.form->TermHex().Text(), u"41h 42h Dh Ah 0h FFh "_s);
        QCOMPARE(h.port->inputReads, 6);
        QVERIFY(h.form->Term().Text().startsWith(u"AB\r\n"_s));
    }

    void notifications_data() {
        // status: the label
        // error: the prompt, with a beep
        // cancel: the answer to it
        addColumns<int, QString, QString, bool>("code", "status", "error", "cancel");
        QTest::newRow("line event") << 3 << "Change in CTS Detected"
                                    << "" << false;
        QTest::newRow("send") << 1 << ""
                              << "" << false;
        QTest::newRow("error, OK ignores it") << 1002 << ""
                                              << "CTS Timeout" << false;
        QTest::newRow("unknown") << -3 << ""
                                 << "Unknown error or event-3" << false;
        QTest::newRow("error, Cancel closes") << 1005 << ""
                                              << "Overrun Error" << true;
    }
    void notifications() {
        QFETCH(int, code);
        QFETCH(QString, status);
        QFETCH(QString, error);
        QFETCH(bool, cancel);
        FormHarness h;
        choose(action(h, "MOpen"));
        h.prompts->calls.clear();
        h.port->setLines(false, true, false);
        h.prompts->answers = {cancel ? ui::Prompts::Answer::Cancel : ui::Prompts::Answer::Ok};
        // The window's handler is connected before the spy, so it has run when the spy counts.
        QSignalSpy handled(h.port, &port::PortControl::OnComm);
        h.port->raise(qint16(code));
        QTRY_COMPARE(handled.count(), 1);
        QCOMPARE(h.child<QLabel>(u"Label1"_s)->text(), status);
        QCOMPARE(h.prompts->beeps(), error.isEmpty() ? 0 : 1);
        QCOMPARE(shown(h), error.isEmpty() ? QStringList() : QStringList{error});
        if (!error.isEmpty()) {
            QCOMPARE(h.prompts->messages()[0].title, u"Click Cancel to quit, OK to ignore."_s);
            QCOMPARE(h.prompts->messages()[0].buttons, ui::Prompts::Buttons::OkCancel);
        }
        QCOMPARE(h.port->PortOpen(), !cancel);
        QCOMPARE(controls(h),
                 cancel ? u"Open COM1 unchecked Config"_s : u"Close COM1 checked no Config"_s);
        // The lamps are refreshed before the handling, and again after closing: DSR is held on
        // the open port, and no line is held on a closed one.
        QCOMPARE(h.form->shapeMSCommPins(6).BackColor(), cancel ? Red : Green);
    }

    void typing_data() {
        // shown: the view held "xy" before
        addColumns<bool, int, QString, QString, QString>("open", "echo", "keys", "sent", "shown");
        const auto row = [](const char* name, bool open, int echo, const QString& keys,
                            const QString& sent, const QString& shown) {
            QTest::newRow(name) << open << echo << keys << sent << shown;
        };
        row("closed", false, VbTrue, u"abc"_s, u""_s, u"xyabc"_s);
        row("echo off", true, VbFalse, u"abc"_s, u"abc"_s, u"xy"_s);
        row("echo not exactly true", true, 1, u"ab"_s, u"ab"_s, u"xy"_s);
        row("echo on", true, VbTrue, u"abc\r"_s, u"abc\r"_s, u"xyabc\r\n"_s);
        row("backspace, echo off", true, VbFalse, u"\b"_s, u"\b"_s, u"xy"_s);
        row("backspace, echo on", true, VbTrue, u"\b"_s, u"\b"_s, u"x"_s);
        row("beyond one byte", true, VbTrue, u"\u20ac"_s, u""_s, u"xy"_s);
    }
    void typing() {
        QFETCH(bool, open);
        QFETCH(int, echo);
        QFETCH(QString, keys);
        QFETCH(QString, sent);
        QFETCH(QString, shown);
        FormHarness h;
        h.port->forceOpen(open);
        h.EchoEnabled = qint16(echo);
        views::RichTextBox& term = h.form->Term();
        term.setText(u"xy"_s);
        term.setSelStart(2);
        h.form->show();
        term.setFocus();
        for (QChar key : keys) {
            const auto code = key == u'\r'   ? Qt::Key_Return
                              : key == u'\b' ? Qt::Key_Backspace
                                             : Qt::Key_unknown;
            QTest::sendKeyEvent(QTest::Click, &term, code, QString(key), {});
        }
        QCOMPARE(h.port->sent, sent);
        QCOMPARE(term.Text(), shown);
    }
};

QTEST_MAIN(TestPortHandlers)
#include "tst_port_handlers.moc"
