#include "fake_clock.h"
#include "fake_prompts.h"
#include "form_harness.h"
#include "main_window/echo.h"
#include "main_window/rich_text_box.h"
#include "main_window/twips.h"
#include "pty_pair.h"
#include "serial_comm/termios_port.h"
#include "settings_dialog/config_scrn.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <termios.h>

class TestConfigScrn : public QObject {
    Q_OBJECT

private slots:
    void cleanup();

    void controls_data();
    void controls();
    void window();
    void framesAreSeparateGroups();
    void tabOrderFollowsFrames();
    void enterPressesOkAndEscapeCancel_data();
    void enterPressesOkAndEscapeCancel();

    void load_data();
    void load();
    void appliedChoiceShowsAtNextLoad();
    void everyLoadSwitchesEchoOn();
    void showWhileOpenKeepsUnappliedClicks();

    void okApplies_data();
    void okApplies();
    void refusalStopsOk_data();
    void refusalStopsOk();
    void okAfterRefusedSettingsSkipsPortStep();
    void endingWithoutOkAppliesNothing_data();
    void endingWithoutOkAppliesNothing();

    void termiosOkRetunesAndMovesOpenDevice();
    void termiosReopenOnMissingDeviceFails();
};

namespace {

const QStringList AllFrames = {"Frame1", "Frame2", "Frame3", "Frame7",
                               "Frame4", "Frame6", "Frame5"};

ConfigScrn* openDialog(Form1& form) {
    form.findChild<QAction*>(QStringLiteral("MSettings"))->trigger();
    ConfigScrn* dialog = form.configScrn();
    if (dialog == nullptr || !dialog->isVisible())
        qFatal("the settings dialog did not open");
    return dialog;
}

QRadioButton* option(ConfigScrn* dialog, const QString& name) {
    auto* radio = dialog->findChild<QRadioButton*>(name);
    if (radio == nullptr)
        qFatal("no option %s", qPrintable(name));
    return radio;
}

QPushButton* button(ConfigScrn* dialog, const QString& name) {
    return dialog->findChild<QPushButton*>(name);
}

// Clicks each of the space-separated options, as the user would.
void clickOptions(ConfigScrn* dialog, const QString& names) {
    for (const QString& name : names.split(' ', Qt::SkipEmptyParts)) {
        QRadioButton* radio = option(dialog, name);
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
    }
}

void clickButton(ConfigScrn* dialog, const QString& name) {
    QTest::mouseClick(button(dialog, name), Qt::LeftButton);
}

QString sortedWords(const QString& words) {
    QStringList list = words.split(' ', Qt::SkipEmptyParts);
    list.sort();
    return list.join(' ');
}

QString onOptions(ConfigScrn* dialog) {
    QStringList names;
    for (QRadioButton* radio : dialog->findChildren<QRadioButton*>())
        if (radio->isChecked())
            names << radio->objectName();
    return sortedWords(names.join(' '));
}

// The pending choice as "port|baud|parity|data|stop|handshaking".
QString pendingOf(const ConfigScrn* d) {
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

void checkMainWindowShows(Form1& form, const QString& caption, bool open) {
    QCOMPARE(form.cmdOPEN().text(), caption);
    QCOMPARE(form.MOpen().isChecked(), open);
    QCOMPARE(form.cmdConfig().isEnabled(), !open);
}

speed_t speedOf(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0)
        qFatal("tcgetattr failed");
    return ::cfgetospeed(&t);
}

} // namespace

void TestConfigScrn::cleanup() {
    qunsetenv("LINNET_COM1");
    qunsetenv("LINNET_COM2");
}

// --- The form -------------------------------------------------------------------------------

void TestConfigScrn::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");

    auto row = [](const QString& name, const char* parent, const QString& caption, QRect twips) {
        QTest::newRow(qPrintable(name)) << name << parent << caption << twips;
    };
    row("OKButton", "ConfigScrn", "OK", {4260, 240, 1335, 375});
    row("CancelButton", "ConfigScrn", "Cancel", {4260, 720, 1335, 375});
    row("Frame1", "ConfigScrn", "&Baud Rate", {120, 120, 3915, 975});
    row("Frame2", "ConfigScrn", "&Data Bits", {240, 1380, 1275, 615});
    row("Frame3", "ConfigScrn", "&Stop Bits", {1740, 1380, 2055, 615});
    row("Frame7", "ConfigScrn", "&Echo", {4200, 1380, 1455, 615});
    row("Frame4", "ConfigScrn", "&Parity", {240, 2160, 1275, 1575});
    row("Frame6", "ConfigScrn", "&Com Port", {1800, 2160, 2055, 3495});
    row("Frame5", "ConfigScrn", "&Flow Control", {4200, 2160, 1455, 1575});
    row("Baud3", "Frame1", "19200", {120, 240, 915, 255});
    row("Baud6", "Frame1", "600", {1080, 240, 615, 255});
    row("Baud384", "Frame1", "38400", {2040, 240, 915, 255});
    row("Baud1152", "Frame1", "115200", {2880, 240, 915, 255});
    row("Baud24", "Frame1", "2400", {120, 600, 735, 255});
    row("Baud48", "Frame1", "4800", {1080, 600, 735, 255});
    row("Baud96", "Frame1", "9600", {2040, 600, 735, 255});
    row("Baud576", "Frame1", "57600", {2880, 600, 915, 255});
    row("Data7", "Frame2", "7", {180, 240, 375, 255});
    row("Data8", "Frame2", "8", {720, 240, 435, 255});
    row("Stop1", "Frame3", "1", {240, 240, 435, 255});
    row("Stop2", "Frame3", "2", {1320, 240, 495, 255});
    row("EchoOn", "Frame7", "On", {180, 300, 555, 195});
    row("EchoOff", "Frame7", "Off", {780, 240, 615, 315});
    row("NoParity", "Frame4", "None", {180, 300, 855, 255});
    row("OddParity", "Frame4", "Odd", {180, 600, 735, 255});
    row("EvenParity", "Frame4", "Even", {180, 900, 855, 255});
    row("NoFlow", "Frame5", "None", {180, 300, 855, 255});
    row("XonFlow", "Frame5", "Xon/Xoff", {180, 600, 1095, 255});
    row("RTSFlow", "Frame5", "RTS", {180, 900, 735, 255});
    row("BothFlow", "Frame5", "Xon/RTS", {180, 1200, 1155, 255});
    for (int n = 1; n <= 18; ++n)
        row(QStringLiteral("ComPort_%1").arg(n), "Frame6", QStringLiteral("Com%1").arg(n),
            {n <= 9 ? 120 : 1080, 240 + 360 * ((n - 1) % 9), 852, 252});
}

void TestConfigScrn::controls() {
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);

    FormHarness h;
    ConfigScrn* dialog = openDialog(*h.form);
    const QList<QWidget*> found = dialog->findChildren<QWidget*>(name);
    QCOMPARE(found.size(), 1);
    QWidget* widget = found.first();
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    if (auto* frame = qobject_cast<QGroupBox*>(widget))
        QCOMPARE(frame->title(), caption);
    else
        QCOMPARE(qobject_cast<QAbstractButton*>(widget)->text(), caption);
    QCOMPARE(widget->geometry(), twipsRect(twips.x(), twips.y(), twips.width(), twips.height()));
}

void TestConfigScrn::window() {
    FormHarness h;
    ConfigScrn* dialog = openDialog(*h.form);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Communication Settings"));
    QCOMPARE(dialog->size(), QSize(twipsToPixels(5880), twipsToPixels(5730)));
    QVERIFY(!dialog->isModal());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(dialog->parent() == nullptr);
    QVERIFY(button(dialog, "OKButton")->isDefault());
    QCOMPARE(dialog->findChildren<QRadioButton*>().size(), 8 + 2 + 2 + 2 + 3 + 18 + 4);
    // The fake port maps COMn to /dev/fake<n>, which is not there.
    const QString tip = option(dialog, "ComPort_9")->toolTip();
    QVERIFY2(tip.contains("/dev/fake9") && tip.contains("not present"), qPrintable(tip));
}

void TestConfigScrn::framesAreSeparateGroups() {
    FormHarness h;
    ConfigScrn* dialog = openDialog(*h.form);
    QStringList inFrames;
    for (const QString& frameName : AllFrames) {
        const QList<QRadioButton*> radios =
            dialog->findChild<QGroupBox*>(frameName)->findChildren<QRadioButton*>();
        QButtonGroup* group = radios.first()->group();
        QVERIFY2(group && group->exclusive(), qPrintable(frameName));
        QCOMPARE(group->buttons().size(), radios.size());
        for (QRadioButton* radio : radios)
            inFrames << radio->objectName();
    }
    QCOMPARE(inFrames.size(), dialog->findChildren<QRadioButton*>().size());

    // Each option clicked in turn is on, the rest of its frame off, the other frames unchanged.
    for (const QString& name : inFrames) {
        QRadioButton* clicked = option(dialog, name);
        const QString before = onOptions(dialog);
        clickOptions(dialog, name);
        for (QRadioButton* radio : dialog->findChildren<QRadioButton*>()) {
            const bool sameFrame = radio->parentWidget() == clicked->parentWidget();
            const bool expected =
                radio == clicked || (!sameFrame && before.split(' ').contains(radio->objectName()));
            QVERIFY2(radio->isChecked() == expected,
                     qPrintable(name + " clicked, " + radio->objectName()));
        }
    }
}

void TestConfigScrn::tabOrderFollowsFrames() {
    FormHarness h;
    ConfigScrn* dialog = openDialog(*h.form);
    // Once around the focus chain from OK, noting the frame (or button) of each tab stop.
    QStringList owners;
    QWidget* start = button(dialog, "OKButton");
    QWidget* widget = start;
    do {
        if (widget->focusPolicy() & Qt::TabFocus) {
            QWidget* owner =
                qobject_cast<QGroupBox*>(widget->parentWidget()) ? widget->parentWidget() : widget;
            if (owners.isEmpty() || owners.last() != owner->objectName())
                owners << owner->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != start && widget != nullptr);
    QCOMPARE(owners, QStringList({"OKButton", "CancelButton"}) + AllFrames);
}

void TestConfigScrn::enterPressesOkAndEscapeCancel_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("pressed");

    for (const char* focus : {"OKButton", "CancelButton", "Baud3", "EchoOff", "ComPort_18"}) {
        QTest::addRow("Return on %s", focus) << focus << int(Qt::Key_Return) << "OKButton";
        QTest::addRow("Escape on %s", focus) << focus << int(Qt::Key_Escape) << "CancelButton";
    }
    QTest::addRow("keypad Enter on NoFlow") << "NoFlow" << int(Qt::Key_Enter) << "OKButton";
}

void TestConfigScrn::enterPressesOkAndEscapeCancel() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, pressed);

    FormHarness h;
    ConfigScrn* dialog = openDialog(*h.form);
    QSignalSpy ok(button(dialog, "OKButton"), &QPushButton::clicked);
    QSignalSpy cancel(button(dialog, "CancelButton"), &QPushButton::clicked);
    auto* target = dialog->findChild<QWidget*>(focus);
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(ok.count(), pressed == "OKButton" ? 1 : 0);
    QCOMPARE(cancel.count(), pressed == "CancelButton" ? 1 : 0);
    QVERIFY(!dialog->isVisible());
}

// --- Load and option clicks ---------------------------------------------------------------------

void TestConfigScrn::load_data() {
    QTest::addColumn<qint16>("port");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<qint32>("handshaking");
    QTest::addColumn<QString>("on");
    QTest::addColumn<QString>("pending");

    // Each row loads after a first load of port 5, 57600,E,7,2, Xon/Xoff: a group that finds no
    // match keeps that earlier pending value.
    auto row = [](const char* name, qint16 port, const char* settings, qint32 handshaking,
                  const char* on, const char* pending) {
        QTest::newRow(name) << port << settings << handshaking << QString(on) + " EchoOn"
                            << pending;
    };
    row("lower-case parity", 1, "9600,n,8,1", 0, "ComPort_1 Baud96 NoParity Data8 Stop1 NoFlow",
        "1|9600|N|8|1|0");
    row("stop field 1.5", 7, "19200,E,7,1.5", 2, "ComPort_7 Baud3 EvenParity Data7 Stop1 RTSFlow",
        "7|19200|E|7|1|2");
    row("600 is Baud6", 18, "600,o,8,2", 3, "ComPort_18 Baud6 OddParity Data8 Stop2 BothFlow",
        "18|600|O|8|2|3");
    row("115200", 10, "115200,N,8,1", 1, "ComPort_10 Baud1152 NoParity Data8 Stop1 XonFlow",
        "10|115200|N|8|1|1");
    row("blank before rate", 2, " 2400,N,8,1", 0, "ComPort_2 Baud24 NoParity Data8 Stop1 NoFlow",
        "2|2400|N|8|1|0");
    row("38400", 3, "38400,N,8,1", 0, "ComPort_3 Baud384 NoParity Data8 Stop1 NoFlow",
        "3|38400|N|8|1|0");
    row("4800", 4, "4800,N,8,1", 0, "ComPort_4 Baud48 NoParity Data8 Stop1 NoFlow",
        "4|4800|N|8|1|0");
    row("1200 not offered", 5, "1200,E,7,2", 1, "ComPort_5 EvenParity Data7 Stop2 XonFlow",
        "5|57600|E|7|2|1");
    row("14400 not offered", 5, "14400,N,8,1", 1, "ComPort_5 NoParity Data8 Stop1 XonFlow",
        "5|57600|N|8|1|1");
    row("rate too large to read", 5, "1e400,N,8,1", 1, "ComPort_5 NoParity Data8 Stop1 XonFlow",
        "5|57600|N|8|1|1");
    row("mark parity", 5, "9600,M,8,1", 1, "ComPort_5 Baud96 Data8 Stop1 XonFlow",
        "5|9600|E|8|1|1");
    row("5 data bits", 5, "9600,N,5,1", 1, "ComPort_5 Baud96 NoParity Stop1 XonFlow",
        "5|9600|N|7|1|1");
    row("6 data bits", 5, "9600,N,6,1", 1, "ComPort_5 Baud96 NoParity Stop1 XonFlow",
        "5|9600|N|7|1|1");
    row("stop field missing", 5, "9600,N,8", 1, "ComPort_5 Baud96 NoParity Data8 XonFlow",
        "5|9600|N|8|2|1");
    row("no comma", 5, "9600", 1, "ComPort_5 XonFlow", "5|57600|E|7|2|1");
    row("handshaking 4", 5, "9600,N,8,1", 4, "ComPort_5 Baud96 NoParity Data8 Stop1",
        "5|9600|N|8|1|1");
    row("port 19", 19, "9600,N,8,1", 0, "Baud96 NoParity Data8 Stop1 NoFlow", "5|9600|N|8|1|0");
    row("port 0", 0, "9600,N,8,1", 0, "Baud96 NoParity Data8 Stop1 NoFlow", "5|9600|N|8|1|0");
}

void TestConfigScrn::load() {
    QFETCH(qint16, port);
    QFETCH(QString, settings);
    QFETCH(qint32, handshaking);
    QFETCH(QString, on);
    QFETCH(QString, pending);

    FormHarness h;
    setPortState(*h.port, 5, "57600,E,7,2", 1);
    ConfigScrn* dialog = openDialog(*h.form);
    QCOMPARE(pendingOf(dialog), QStringLiteral("5|57600|E|7|2|1"));
    clickButton(dialog, "CancelButton");

    setPortState(*h.port, port, settings, handshaking);
    EchoEnabled = VbFalse;
    QCOMPARE(openDialog(*h.form), dialog);
    QCOMPARE(onOptions(dialog), sortedWords(on));
    QCOMPARE(pendingOf(dialog), pending);
    QCOMPARE(EchoEnabled, VbTrue);
    QVERIFY(h.port->writes.isEmpty());
}

void TestConfigScrn::appliedChoiceShowsAtNextLoad() {
    FormHarness h;
    ConfigScrn* dialog = openDialog(*h.form);
    clickOptions(dialog, "Baud576 OddParity Data7 Stop2 BothFlow ComPort_12");
    clickButton(dialog, "OKButton");
    QVERIFY(!dialog->isVisible());

    // Pending values the next load must overwrite, not merely keep.
    dialog->NewBaud = "4800";
    dialog->NewPort = 3;
    openDialog(*h.form);
    QCOMPARE(onOptions(dialog),
             sortedWords("Baud576 OddParity Data7 Stop2 BothFlow ComPort_12 EchoOn"));
    QCOMPARE(pendingOf(dialog), QStringLiteral("12|57600|O|7|2|3"));
}

void TestConfigScrn::everyLoadSwitchesEchoOn() {
    FormHarness h;
    QCOMPARE(EchoEnabled, VbFalse);
    ConfigScrn* dialog = openDialog(*h.form);
    QCOMPARE(EchoEnabled, VbTrue);
    clickOptions(dialog, "EchoOff");
    QCOMPARE(EchoEnabled, VbFalse);
    clickOptions(dialog, "EchoOn");
    QCOMPARE(EchoEnabled, VbTrue);
    clickOptions(dialog, "EchoOff");
    clickButton(dialog, "CancelButton");
    QCOMPARE(EchoEnabled, VbFalse);

    openDialog(*h.form);
    QVERIFY(option(dialog, "EchoOn")->isChecked());
    QVERIFY(!option(dialog, "EchoOff")->isChecked());
    clickButton(dialog, "CancelButton");
    QCOMPARE(EchoEnabled, VbTrue);
}

void TestConfigScrn::showWhileOpenKeepsUnappliedClicks() {
    FormHarness h;
    ConfigScrn* dialog = openDialog(*h.form);
    clickOptions(dialog, "Baud3 ComPort_4 EchoOff");
    // Changed behind the dialog's back: an open dialog does not follow.
    setPortState(*h.port, 2, "2400,E,7,2", 3);

    QTest::mouseClick(&h.form->cmdConfig(), Qt::LeftButton);
    QCOMPARE(openDialog(*h.form), dialog);
    QCOMPARE(onOptions(dialog), sortedWords("Baud3 ComPort_4 EchoOff NoParity Data8 Stop1 NoFlow"));
    QCOMPARE(pendingOf(dialog), QStringLiteral("4|19200|N|8|1|0"));
    QCOMPARE(EchoEnabled, VbFalse);
}

// --- OK and Cancel with the fake port -----------------------------------------------------------

void TestConfigScrn::okApplies_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QString>("caption");

    const QString sameNumber = "Baud96 EvenParity Data7 Stop2 RTSFlow ComPort_4 ComPort_1";
    const QStringList lineOnly = {"Settings=9600,E,7,2", "Handshaking=2"};
    QTest::newRow("same number, closed") << false << sameNumber << lineOnly << "Open COM1";
    QTest::newRow("same number, open") << true << sameNumber << lineOnly << "Close COM1";
    QTest::newRow("new number, closed")
        << false << "ComPort_3"
        << QStringList{"CommPort=3", "Settings=115200,N,8,1", "Handshaking=0"} << "Open COM3";
    QTest::newRow("new number, open")
        << true << "ComPort_15"
        << QStringList{"PortOpen=false", "CommPort=15", "PortOpen=true", "Settings=115200,N,8,1",
                       "Handshaking=0"}
        << "Close COM15";
}

void TestConfigScrn::okApplies() {
    QFETCH(bool, open);
    QFETCH(QString, clicks);
    QFETCH(QStringList, writes);
    QFETCH(QString, caption);

    FormHarness h;
    ConfigScrn* dialog = openDialog(*h.form);
    clickOptions(dialog, clicks);
    // Opened from the main window after the dialog loaded: OK goes by the state it finds.
    h.port->forceOpen(open);
    clickButton(dialog, "OKButton");

    QCOMPARE(h.port->writes, writes);
    QCOMPARE(h.port->PortOpen(), open);
    QVERIFY(h.prompts->calls.isEmpty());
    QVERIFY(!dialog->isVisible());
    checkMainWindowShows(*h.form, caption, open);
}

void TestConfigScrn::refusalStopsOk_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QString>("caption");

    // A refused renumbering is refused on the way back too, and that is not reported. The port
    // is never opened again on the old number.
    QTest::newRow("close refused")
        << true << "PortOpen"
        << "ComPort_6" << QStringList{"CommPort=6", "CommPort=1"} << "Close COM1";
    QTest::newRow("renumber refused, open")
        << true << "CommPort"
        << "ComPort_6" << QStringList{"PortOpen=false"} << "Open COM1";
    QTest::newRow("renumber refused, closed") << false << "CommPort"
                                              << "ComPort_6" << QStringList{} << "Open COM1";
    QTest::newRow("settings refused after renumbering")
        << true << "Settings"
        << "ComPort_2 Baud48" << QStringList{"PortOpen=false", "CommPort=2", "PortOpen=true"}
        << "Close COM2";
    QTest::newRow("handshaking refused")
        << false << "Handshaking"
        << "XonFlow" << QStringList{"Settings=115200,N,8,1"} << "Open COM1";
}

void TestConfigScrn::refusalStopsOk() {
    QFETCH(bool, open);
    QFETCH(QString, refused);
    QFETCH(QString, clicks);
    QFETCH(QStringList, writes);
    QFETCH(QString, caption);

    FormHarness h;
    h.port->forceOpen(open);
    ConfigScrn* dialog = openDialog(*h.form);
    clickOptions(dialog, clicks);
    h.port->failWrite(refused, "Refused by the port.");
    clickButton(dialog, "OKButton");

    QCOMPARE(h.port->writes, writes);
    QCOMPARE(h.prompts->calls.size(), 1);
    const FakePrompts::Call message = h.prompts->calls.first();
    QCOMPARE(message.text, QStringLiteral("Refused by the port."));
    QCOMPARE(message.icon, Prompts::Icon::Exclamation);
    QCOMPARE(message.buttons, Prompts::Buttons::Ok);
    QCOMPARE(message.title, AppTitle);
    QVERIFY(dialog->isVisible());
    for (const QString& name : clicks.split(' '))
        QVERIFY(option(dialog, name)->isChecked());
    checkMainWindowShows(*h.form, caption, caption.startsWith("Close"));
}

void TestConfigScrn::okAfterRefusedSettingsSkipsPortStep() {
    FormHarness h;
    h.port->forceOpen(true);
    ConfigScrn* dialog = openDialog(*h.form);
    clickOptions(dialog, "ComPort_2 Baud48");
    h.port->failWrite("Settings", "Settings refused.");
    clickButton(dialog, "OKButton");
    h.port->writes.clear();

    // The number already matches, so the port is left alone this time.
    clickButton(dialog, "OKButton");
    QVERIFY(h.port->writes.isEmpty());
    QCOMPARE(h.prompts->messages().size(), 2);
    QVERIFY(dialog->isVisible());

    h.port->failWrite("Settings", {});
    clickButton(dialog, "OKButton");
    QCOMPARE(h.port->writes, QStringList({"Settings=4800,N,8,1", "Handshaking=0"}));
    QVERIFY(!dialog->isVisible());
    checkMainWindowShows(*h.form, "Close COM2", true);
}

void TestConfigScrn::endingWithoutOkAppliesNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << "Cancel";
    QTest::newRow("Escape") << "Escape";
    QTest::newRow("close button") << "close";
}

void TestConfigScrn::endingWithoutOkAppliesNothing() {
    QFETCH(QString, how);
    FormHarness h;
    h.port->forceOpen(true);
    ConfigScrn* dialog = openDialog(*h.form);
    const QString captionBefore = h.form->cmdOPEN().text();
    clickOptions(dialog, "ComPort_9 ComPort_17 Baud3 Baud6 OddParity Data7 Stop2 BothFlow "
                         "EchoOff EchoOn EchoOff");
    if (how == "Cancel")
        clickButton(dialog, "CancelButton");
    else if (how == "Escape")
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        QVERIFY(dialog->close());

    QVERIFY(!dialog->isVisible());
    QVERIFY(h.port->writes.isEmpty());
    QVERIFY(h.prompts->calls.isEmpty());
    QCOMPARE(h.form->cmdOPEN().text(), captionBefore);
    QCOMPARE(EchoEnabled, VbFalse);
    QCOMPARE(pendingOf(dialog), QStringLiteral("17|600|O|7|2|3"));
}

// --- With the termios layer on pseudo-terminals ------------------------------------------------

void TestConfigScrn::termiosOkRetunesAndMovesOpenDevice() {
    PtyPair first;
    PtyPair second;
    qputenv("LINNET_COM1", first.slavePath().toLocal8Bit());
    qputenv("LINNET_COM2", second.slavePath().toLocal8Bit());
    auto owned = std::make_unique<TermiosPort>();
    TermiosPort& port = *owned;
    Form1 form(std::move(owned), std::make_unique<FakePrompts>(), std::make_unique<FakeClock>());
    auto& prompts = static_cast<FakePrompts&>(form.prompts());
    port.setPortOpen(true);

    ConfigScrn* dialog = openDialog(form);
    const QString tip = option(dialog, "ComPort_1")->toolTip();
    QVERIFY2(tip.contains(first.slavePath()) && tip.contains("is present"), qPrintable(tip));
    clickOptions(dialog, "Baud96 EvenParity");
    clickButton(dialog, "OKButton");
    QVERIFY2(prompts.calls.isEmpty(), qPrintable(prompts.calls.value(0).text));
    QVERIFY(!dialog->isVisible());
    QCOMPARE(port.Settings(), QStringLiteral("9600,E,8,1"));
    // Parity does not show on a pseudo-terminal; the rate does.
    QCOMPARE(speedOf(first.slaveFd()), speed_t(B9600));

    openDialog(form);
    clickOptions(dialog, "ComPort_2");
    clickButton(dialog, "OKButton");
    QVERIFY2(prompts.calls.isEmpty(), qPrintable(prompts.calls.value(0).text));
    QVERIFY(port.PortOpen());
    QCOMPARE(port.CommPort(), qint16(2));
    QCOMPARE(speedOf(second.slaveFd()), speed_t(B9600));
    checkMainWindowShows(form, "Close COM2", true);

    // Both directions now go through the second pseudo-terminal, none through the first.
    port.setOutput("to scanner");
    QCOMPARE(second.readMaster(10), QByteArray("to scanner"));
    QCOMPARE(first.readMaster(1, std::chrono::milliseconds(50)), QByteArray());
    second.writeMaster("from scanner");
    // The main window takes the characters when it listens; otherwise they wait in the port.
    QString received;
    auto receivedSoFar = [&] {
        if (port.PortOpen() && port.InBufferCount() > 0)
            received += port.Input();
        return received + form.Term().Text();
    };
    QTRY_VERIFY(receivedSoFar().contains("from scanner"));
    port.setPortOpen(false);
}

void TestConfigScrn::termiosReopenOnMissingDeviceFails() {
    PtyPair first;
    qputenv("LINNET_COM1", first.slavePath().toLocal8Bit());
    qputenv("LINNET_COM2", "/nonexistent/linnet-test-device");
    auto owned = std::make_unique<TermiosPort>();
    TermiosPort& port = *owned;
    Form1 form(std::move(owned), std::make_unique<FakePrompts>(), std::make_unique<FakeClock>());
    auto& prompts = static_cast<FakePrompts&>(form.prompts());
    port.setPortOpen(true);

    ConfigScrn* dialog = openDialog(form);
    QVERIFY(option(dialog, "ComPort_2")->toolTip().contains("not present"));
    clickOptions(dialog, "ComPort_2");
    clickButton(dialog, "OKButton");

    QCOMPARE(prompts.messages().size(), 1);
    QVERIFY2(prompts.messages().first().text.contains("COM2"),
             qPrintable(prompts.messages().first().text));
    QCOMPARE(port.CommPort(), qint16(1));
    QVERIFY(!port.PortOpen());
    QVERIFY(dialog->isVisible());
    QVERIFY(option(dialog, "ComPort_2")->isChecked());
    checkMainWindowShows(form, "Open COM1", false);
}

QTEST_MAIN(TestConfigScrn)
#include "tst_config_scrn.moc"
