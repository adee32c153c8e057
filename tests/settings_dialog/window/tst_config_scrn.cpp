#include "data_columns.h"
#include "form_harness.h"
#include "port/port_messages.h"
#include "port/termios_port.h"
#include "port_environment.h"
#include "pty_pair.h"
#include "settings_dialog/window/config_scrn.h"
#include "ui/echo.h"
#include "ui/twips.h"

#include <QAccessible>
#include <QAction>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace port;
using namespace settings_dialog;
using namespace ui;
using namespace main_window;

namespace {

settings_dialog::ConfigScrn* openDialog(Form1& form) {
    choose(form.findChild<QAction*>(QStringLiteral("MSettings")));
    if (!form.configScrn() || !form.configScrn()->isVisible())
        qFatal("the settings dialog did not open");
    return form.configScrn();
}

QAbstractButton* button(settings_dialog::ConfigScrn* dialog, const QString& name) {
    auto* found = dialog->findChild<QAbstractButton*>(name);
    if (found == nullptr)
        qFatal("no button %s", qPrintable(name));
    return found;
}

// Clicks each of the space-separated options or buttons, as the user would.
void click(settings_dialog::ConfigScrn* dialog, const QString& names) {
    for (const QString& name : names.split(' ', Qt::SkipEmptyParts)) {
        QAbstractButton* b = button(dialog, name);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
    }
}

QString onOptions(settings_dialog::ConfigScrn* dialog) {
    QStringList names;
    for (QRadioButton* radio : dialog->findChildren<QRadioButton*>())
        if (radio->isChecked())
            names << radio->objectName();
    names.sort();
    return names.join(' ');
}

// The pending choice as "port|baud|parity|data|stop|handshaking".
QString pendingOf(const settings_dialog::ConfigScrn* d) {
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(d->NewPort)
        .arg(d->NewBaud, d->NewParity, d->NewDataBits, d->NewStopBits)
        .arg(d->NewHandshaking);
}

// Puts the fake port into a state without leaving a trace in its record of writes.
void setPortState(FakePort& port, qint16 number, const QString& settings, qint32 handshaking) {
    port.setCommPort(number);
    port.setSettings(settings);
    port.setHandshaking(handshaking);
    port.writes.clear();
}

void checkMainWindowShows(Form1& form, const QString& caption) {
    const bool open = caption.startsWith("Close");
    QCOMPARE(form.cmdOPEN().text(), caption);
    QCOMPARE(form.MOpen().isChecked(), open);
    QCOMPARE(form.cmdConfig().isEnabled(), !open);
}

} // namespace

class TestConfigScrn : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { clearPortVariables(); }
    void form() {
        FormHarness h;
        settings_dialog::ConfigScrn* dialog = openDialog(*h.form);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Communication Settings"));
        QCOMPARE(dialog->size(), QSize(ui::twipsToPixels(5880), ui::twipsToPixels(5730)));
        QVERIFY(!dialog->isModal() && dialog->parent() == nullptr);
        QVERIFY(static_cast<QPushButton*>(button(dialog, "OKButton"))->isDefault());

        // The frames lie side by side inside the dialog, none over another, each holding its
        // options; OK above Cancel, clear of every frame.
        const QList<QGroupBox*> frames = dialog->findChildren<QGroupBox*>();
        QCOMPARE(frames.size(), 7);
        const QRect okRect = button(dialog, "OKButton")->geometry();
        const QRect cancel = button(dialog, "CancelButton")->geometry();
        QVERIFY(okRect.bottom() < cancel.top() && okRect.left() == cancel.left());
        for (QGroupBox* frame : frames) {
            const QString name = frame->objectName();
            QVERIFY2(dialog->rect().contains(frame->geometry()), qPrintable(name));
            QVERIFY2(!frame->geometry().intersects(okRect) && !frame->geometry().intersects(cancel),
                     qPrintable(name));
            for (QGroupBox* other : frames)
                QVERIFY2(other == frame || !other->geometry().intersects(frame->geometry()),
                         qPrintable(name + ' ' + other->objectName()));
            for (QAbstractButton* option : frame->findChildren<QAbstractButton*>())
                QVERIFY2(frame->rect().contains(option->geometry()),
                         qPrintable(option->objectName()));
        }
        // The ports in two columns read downwards: Com1 to Com9, then Com10 to Com18.
        for (int n = 2; n <= 18; ++n) {
            const QRect above = button(dialog, QStringLiteral("ComPort_%1").arg(n - 1))->geometry();
            const QRect port = button(dialog, QStringLiteral("ComPort_%1").arg(n))->geometry();
            if (n == 10)
                QVERIFY(port.left() > above.left() && port.top() < above.top());
            else
                QVERIFY2(port.left() == above.left() && port.top() > above.bottom(),
                         qPrintable(QString::number(n)));
        }
    }

    // Enter presses OK and Escape Cancel wherever the focus is, Cancel included. Cancel, also by
    // Escape or the close button, applies nothing; the echo options act at once all the same.
    void endings_data() {
        // key: 0: the window's close button
        addColumns<QString, int>("focus", "key");
        QTest::newRow("Return on Cancel") << "CancelButton" << int(Qt::Key_Return);
        QTest::newRow("keypad Enter on an option") << "NoFlow" << int(Qt::Key_Enter);
        QTest::newRow("Escape on OK") << "OKButton" << int(Qt::Key_Escape);
        QTest::newRow("close button") << "Baud3" << 0;
    }
    void endings() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        const bool ok = key == Qt::Key_Return || key == Qt::Key_Enter;
        FormHarness h;
        h.port->forceOpen(true);
        settings_dialog::ConfigScrn* dialog = openDialog(*h.form);
        click(dialog, "ComPort_9 ComPort_17 Baud6 OddParity Data7 Stop2 BothFlow EchoOff");
        button(dialog, focus)->setFocus();
        if (key == 0)
            QVERIFY(dialog->close());
        else
            QTest::keyClick(button(dialog, focus), Qt::Key(key));
        QVERIFY(!dialog->isVisible() && h.prompts->calls.isEmpty());
        QCOMPARE(h.port->writes.isEmpty(), !ok);
        QCOMPARE(h.port->CommPort(), ok ? 17 : 1);
        QCOMPARE(h.EchoEnabled, VbFalse);
        QCOMPARE(pendingOf(dialog), QStringLiteral("17|600|O|7|2|3"));
    }

    // However an option is turned on, its handler records it: by the mouse, the keyboard, a
    // screen reader's Toggle or Press, or from outside.
    void everyWayOfChoosing_data() {
        QTest::addColumn<QString>("way");
        for (const char* way : {"mouse", "space", "toggle action", "press action", "setChecked"})
            QTest::newRow(way) << QString::fromLatin1(way);
    }
    void everyWayOfChoosing() {
        QFETCH(QString, way);
        FormHarness h;
        settings_dialog::ConfigScrn* dialog = openDialog(*h.form);
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        for (const char* name : {"ComPort_2", "Baud96", "XonFlow", "EchoOff"}) {
            QAbstractButton* option = button(dialog, QString::fromLatin1(name));
            QAccessibleActionInterface* actions =
                QAccessible::queryAccessibleInterface(option)->actionInterface();
            if (way == "mouse")
                click(dialog, QString::fromLatin1(name));
            else if (way == "space")
                QTest::keyClick(option, Qt::Key_Space);
            else if (way == "toggle action")
                actions->doAction(QAccessibleActionInterface::toggleAction());
            else if (way == "press action")
                actions->doAction(QAccessibleActionInterface::pressAction());
            else
                option->setChecked(true);
            QTRY_VERIFY2(option->isChecked(), name);
        }
        QCOMPARE(h.EchoEnabled, VbFalse);
        click(dialog, "OKButton");
        QCOMPARE(h.port->writes.join(' '),
                 QStringLiteral("CommPort=2 Settings=9600,N,8,1 Handshaking=1"));
        QVERIFY(!dialog->isVisible());
    }

    // Each frame is one stop for Tab and its access key, at its option that is on (the first
    // when none is); the arrows turn the next option of the frame on.
    void keyboardInGroups_data() {
        // steps: keys, or "on:NAME" for a screen reader's Toggle
        // stops: the focus after each step
        addColumns<QString, QString, QString, QString>("settings", "steps", "stops", "pending");
        auto row = [](const char* name, const char* settings, const char* steps, const char* stops,
                      const char* pending) {
            QTest::newRow(name) << settings << steps << stops << pending;
        };
        row("Tab", "115200,N,8,1", "Tab Tab Tab Tab Tab Tab Tab Tab Tab",
            "CancelButton Baud1152 Data8 Stop1 EchoOn NoParity ComPort_1 NoFlow OKButton",
            "1|115200|N|8|1|0");
        row("Backtab", "9600,E,7,2", "Backtab Backtab Backtab", "NoFlow ComPort_1 EvenParity",
            "1|9600|E|7|2|0");
        row("access keys", "115200,N,8,1", "Alt+F Alt+B Alt+C Alt+S",
            "NoFlow Baud1152 ComPort_1 Stop1", "1|115200|N|8|1|0");
        row("arrows", "115200,N,8,1", "Alt+B Left Down Alt+F Down Down Up Alt+C Right",
            "Baud1152 Baud384 Baud96 NoFlow XonFlow RTSFlow XonFlow ComPort_1 ComPort_10",
            "10|9600|N|8|1|1");
        row("none on", "1200,N,8,1", "Alt+B Right Tab Backtab", "Baud3 Baud6 Data8 Baud6",
            "1|600|N|8|1|0");
        row("checked, not focused last", "115200,N,8,1", "Alt+B Left Backtab on:Baud3 Alt+B Tab",
            "Baud1152 Baud384 CancelButton CancelButton Baud3 Data8", "1|19200|N|8|1|0");
    }
    void keyboardInGroups() {
        QFETCH(QString, settings);
        QFETCH(QString, steps);
        QFETCH(QString, stops);
        QFETCH(QString, pending);
        FormHarness h;
        setPortState(*h.port, 1, settings, 0);
        settings_dialog::ConfigScrn* dialog = openDialog(*h.form);
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        button(dialog, "OKButton")->setFocus();
        QStringList reached;
        for (const QString& step : steps.split(' ')) {
            QWidget* focus = QApplication::focusWidget();
            if (step.startsWith("on:"))
                QAccessible::queryAccessibleInterface(button(dialog, step.mid(3)))
                    ->actionInterface()
                    ->doAction(QAccessibleActionInterface::toggleAction());
            else if (step.startsWith("Alt+"))
                QTest::keyClick(focus, step.back().toLatin1(), Qt::AltModifier);
            else
                QTest::keyClick(focus, QKeySequence(step)[0].key());
            reached << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(reached.join(' '), stops);
        QCOMPARE(pendingOf(dialog), pending);
    }

    // Each row loads after a first load of port 5, 57600,E,7,2, Xon/Xoff: a group that finds no
    // match keeps that earlier pending value. Every load switches echo on.
    void load_data() {
        addColumns<qint16, QString, qint32, QString, QString>("port", "settings", "handshaking",
                                                              "on", "pending");
        auto row = [](const char* name, qint16 port, const char* settings, qint32 handshaking,
                      const char* on, const char* pending) {
            QTest::newRow(name) << port << settings << handshaking << on << pending;
        };
        row("lower-case parity", 1, "9600,n,8,1", 0,
            "Baud96 ComPort_1 Data8 EchoOn NoFlow NoParity Stop1", "1|9600|N|8|1|0");
        row("19200 is Baud3, stop 1.5", 7, "19200,E,7,1.5", 2,
            "Baud3 ComPort_7 Data7 EchoOn EvenParity RTSFlow Stop1", "7|19200|E|7|1|2");
        row("600 is Baud6", 18, "600,o,8,2", 3,
            "Baud6 BothFlow ComPort_18 Data8 EchoOn OddParity Stop2", "18|600|O|8|2|3");
        row("115200", 10, "115200,N,8,1", 1,
            "Baud1152 ComPort_10 Data8 EchoOn NoParity Stop1 XonFlow", "10|115200|N|8|1|1");
        row("nothing offered", 5, "1200,M,6", 4, "ComPort_5 EchoOn", "5|57600|E|7|2|1");
        row("port 0", 0, "9600,N,8,1", 0, "Baud96 Data8 EchoOn NoFlow NoParity Stop1",
            "5|9600|N|8|1|0");
    }
    void load() {
        QFETCH(qint16, port);
        QFETCH(QString, settings);
        QFETCH(qint32, handshaking);
        QFETCH(QString, on);
        QFETCH(QString, pending);
        FormHarness h;
        setPortState(*h.port, 5, "57600,E,7,2", 1);
        settings_dialog::ConfigScrn* dialog = openDialog(*h.form);
        click(dialog, "CancelButton");

        setPortState(*h.port, port, settings, handshaking);
        h.EchoEnabled = VbFalse;
        QCOMPARE(openDialog(*h.form), dialog);
        QCOMPARE(onOptions(dialog), on);
        QCOMPARE(pendingOf(dialog), pending);
        QCOMPARE(h.EchoEnabled, VbTrue);
        QVERIFY(h.port->writes.isEmpty());
    }

    void showWhileOpenKeepsUnappliedClicks() {
        FormHarness h;
        settings_dialog::ConfigScrn* dialog = openDialog(*h.form);
        click(dialog, "Baud3 ComPort_4 EchoOff");
        setPortState(*h.port, 2, "2400,E,7,2", 3); // behind the dialog's back
        QCOMPARE(openDialog(*h.form), dialog);
        QCOMPARE(onOptions(dialog), "Baud3 ComPort_4 Data8 EchoOff NoFlow NoParity Stop1");
        QCOMPARE(pendingOf(dialog), QStringLiteral("4|19200|N|8|1|0"));
        QCOMPARE(h.EchoEnabled, VbFalse);
    }

    // OK applies the port number (closing and reopening an open port), then the settings, then
    // the flow control, as far as the first refused step; a refusal is shown and keeps the dialog,
    // and OK once the port takes it again applies what is still to do.
    void ok_data() {
        // retried: a second OK once the port takes it
        addColumns<bool, QString, QString, QString, QString, QString>(
            "open", "clicks", "refused", "writes", "retried", "caption");
        auto row = [](const char* name, bool open, const char* clicks, const char* refused,
                      const QString& writes, const QString& retried, const char* caption) {
            QTest::newRow(name) << open << clicks << refused << writes << retried << caption;
        };
        const QString rest = " Settings=115200,N,8,1 Handshaking=0";
        row("same number, open", true, "Baud96 EvenParity Data7 Stop2 RTSFlow ComPort_4 ComPort_1",
            "", "Settings=9600,E,7,2 Handshaking=2", "", "Close COM1");
        row("new number, open", true, "ComPort_15", "",
            "PortOpen=false CommPort=15 PortOpen=true" + rest, "", "Close COM15");
        // A refused renumbering is refused on the way back too, and that is not reported. The
        // port is never opened again on the old number.
        row("close refused", true, "ComPort_6", "PortOpen", "CommPort=6 CommPort=1",
            "PortOpen=false CommPort=6 PortOpen=true" + rest, "Close COM1");
        row("renumber refused", true, "ComPort_6", "CommPort", "PortOpen=false",
            "CommPort=6" + rest, "Open COM1");
        row("settings refused after renumbering", true, "ComPort_2 Baud48", "Settings",
            "PortOpen=false CommPort=2 PortOpen=true", "Settings=4800,N,8,1 Handshaking=0",
            "Close COM2");
        row("handshaking refused", false, "XonFlow", "Handshaking", "Settings=115200,N,8,1",
            "Settings=115200,N,8,1 Handshaking=1", "Open COM1");
    }
    void ok() {
        QFETCH(bool, open);
        QFETCH(QString, clicks);
        QFETCH(QString, refused);
        QFETCH(QString, writes);
        QFETCH(QString, retried);
        QFETCH(QString, caption);
        FormHarness h;
        settings_dialog::ConfigScrn* dialog = openDialog(*h.form);
        click(dialog, clicks);
        h.port->forceOpen(open); // opened after the dialog loaded: OK goes by what it finds
        const port::PortError refusal =
            h.port->fault(port::PortOperation::SetSettings, port::FailureCause::SettingsNotTaken);
        if (!refused.isEmpty())
            h.port->failWrite(refused, refusal);
        click(dialog, "OKButton");

        QCOMPARE(h.port->writes.join(' '), writes);
        checkMainWindowShows(*h.form, caption);
        QCOMPARE(dialog->isVisible(), !refused.isEmpty());
        QCOMPARE(h.prompts->calls.size(), refused.isEmpty() ? 0 : 1);
        if (refused.isEmpty())
            return;
        QCOMPARE(h.prompts->calls[0].text, port::failureText(refusal));
        QCOMPARE(h.prompts->calls[0].icon, ui::Prompts::Icon::Exclamation);
        for (const QString& name : clicks.split(' '))
            QVERIFY(button(dialog, name)->isChecked());

        h.port->clearFailures();
        h.port->writes.clear();
        click(dialog, "OKButton");
        QCOMPARE(h.port->writes.join(' '), retried);
        QVERIFY(!dialog->isVisible() && h.prompts->calls.size() == 1);
    }

    // With the termios layer on pseudo-terminals: OK retunes the open device and moves it to
    // another one, and fails to reopen on a device that is not there.
    void termiosMovesAndFailsToReopen() {
        PtyPair first, second;
        qputenv("LINNET_COM1", first.slavePath().toLocal8Bit());
        qputenv("LINNET_COM2", second.slavePath().toLocal8Bit());
        qputenv("LINNET_COM3", "/nonexistent/linnet-test-device");
        auto owned = std::make_unique<port::TermiosPort>();
        port::TermiosPort& port = *owned;
        auto ownedPrompts = std::make_unique<FakePrompts>();
        FakePrompts& prompts = *ownedPrompts;
        qint16 echoEnabled = VbFalse;
        Form1 form(std::move(owned), std::move(ownedPrompts), base::monotonicMs, echoEnabled);
        port.setPortOpen(true);

        settings_dialog::ConfigScrn* dialog = openDialog(form);
        const QString tip = button(dialog, "ComPort_2")->accessibleDescription();
        QVERIFY2(tip.contains(second.slavePath() + ", which is present"), qPrintable(tip));
        click(dialog, "Baud96 EvenParity ComPort_2 OKButton");
        QVERIFY2(prompts.calls.isEmpty(), qPrintable(prompts.calls.value(0).text));
        QCOMPARE(port.Settings(), QStringLiteral("9600,E,8,1"));
        checkMainWindowShows(form, "Close COM2");
        port.setOutput("to scanner");
        QCOMPARE(second.readMaster(10), QByteArray("to scanner"));
        QCOMPARE(first.readMaster(1, std::chrono::milliseconds(50)), QByteArray());

        openDialog(form);
        QVERIFY(button(dialog, "ComPort_3")->accessibleDescription().contains("not present"));
        click(dialog, "ComPort_3 OKButton");
        QCOMPARE(prompts.messages().size(), 1);
        QVERIFY(prompts.messages()[0].text.contains("COM3"));
        QVERIFY(port.CommPort() == 2 && !port.PortOpen() && dialog->isVisible());
        checkMainWindowShows(form, "Open COM2");
        for (const char* name : {"LINNET_COM1", "LINNET_COM2", "LINNET_COM3"})
            qunsetenv(name);
    }
};

QTEST_MAIN(TestConfigScrn)
#include "tst_config_scrn.moc"
