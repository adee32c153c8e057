#include "data_columns.h"
#include "diagnose/window/diagnose_window.h"
#include "form_harness.h"
#include "port/port_messages.h"
#include "settings_dialog/window/config_scrn.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QTest>
#include <QTimer>

using namespace main_window;
using namespace port;
using namespace settings_dialog;
using namespace ui;

using namespace Qt::Literals::StringLiterals;

// Send Break and RTS in the Tools menu, with the port a double.
class TestToolsMenu : public QObject {
    Q_OBJECT

private slots:
    void breakGoesToTheOpenPortOrIsRefused() {
        FormHarness h;
        QAction* item = h.child<QAction>(u"MBreak"_s);
        choose(item);
        QCOMPARE(h.port->breaks, 0);
        QCOMPARE(h.prompts->messages().size(), 1);
        QCOMPARE(h.prompts->messages()[0].text, u"COM1 (/dev/fake1) is not open; open it first."_s);
        QCOMPARE(h.prompts->messages()[0].icon, ui::Prompts::Icon::Exclamation);
        h.port->forceOpen(true);
        choose(item);
        QCOMPARE(h.port->breaks, 1);
        QCOMPARE(h.prompts->messages().size(), 1);
    }

    // Like DTREnable: the mark follows what the port reads back, and a refusal is shown.
    void rtsSwitchesAndFollowsThePort() {
        FormHarness h;
        QAction* item = h.child<QAction>(u"MRTSEnable"_s);
        QVERIFY(item->isChecked() && item->isEnabled());
        choose(item);
        QVERIFY(!h.port->RTSEnable());
        QVERIFY(!item->isChecked());
        choose(item);
        QVERIFY(h.port->RTSEnable() && item->isChecked());
        QCOMPARE(h.port->writes, QStringList({u"RTSEnable=false"_s, u"RTSEnable=true"_s}));

        const port::PortError refused =
            h.port->fault(port::PortOperation::SetRts, port::FailureCause::RtsNotSet);
        h.port->failWrite(u"RTSEnable"_s, refused);
        choose(item);
        QVERIFY(item->isChecked());
        QCOMPARE(h.prompts->messages().size(), 1);
        QCOMPARE(h.prompts->messages()[0].text, port::failureText(refused));
    }

    // Diagnose, opened from the Tools menu, says how long the open port has received nothing,
    // counted on the main window's clock from the opening or the last byte; bytes arriving start
    // the count again, and a port quiet for less than ten seconds is not worth a word.
    void diagnoseCountsTheOpenPortsQuiet() {
        FormHarness h;
        qint64& now = h.clock->standAt(1'000'000);
        choose(h.child<QAction>(u"MOpen"_s));
        QVERIFY(h.port->PortOpen());
        now += 61'000;
        choose(h.child<QAction>(u"MDiagnose"_s));
        diagnose::DiagnoseWindow* window = h.form->diagnoseWindow();
        QVERIFY(window);
        const auto said = [window] { return window->findingsText(); };
        QTRY_VERIFY2(said().contains(u"COM1 is open and has received nothing for 61 s."_s),
                     qPrintable(said()));
        // The window looks again every few seconds; the test's look comes at once.
        auto* look = window->findChild<QTimer*>(u"quietLook"_s);
        QVERIFY(look && look->isActive());
        look->setInterval(10);

        h.port->tapMs = now;
        h.port->receive(u"4006381333931\r"_s);
        now += 9'000;
        QTRY_VERIFY2(!said().contains(u"has received nothing"_s), qPrintable(said()));
        now += 15'000;
        QTRY_VERIFY2(said().contains(u"COM1 is open and has received nothing for 24 s."_s),
                     qPrintable(said()));
        choose(h.child<QAction>(u"MOpen"_s));
        QVERIFY(!h.port->PortOpen());
        QTRY_VERIFY2(!said().contains(u"has received nothing"_s), qPrintable(said()));
    }

    // While RTS/CTS flow control drives the line the item is off, and says why; the state is
    // brought up to date when the menu opens and when the settings dialog closes.
    // Each Tools window is a window to a screen reader, named by its title.
    void toolWindowsAreWindowsToScreenReaders() {
        FormHarness h;
        const QList<std::pair<QString, QString>> windows{{u"MScanLog"_s, u"ScanLog"_s},
                                                         {u"MTestCodes"_s, u"TestCodes"_s},
                                                         {u"MDiagnose"_s, u"Diagnose"_s},
                                                         {u"MFindSettings"_s, u"FindSettings"_s},
                                                         {u"MSend"_s, u"Send"_s}};
        for (const auto& [item, name] : windows) {
            choose(h.child<QAction>(item));
            auto* window = h.form->findChild<QWidget*>(name);
            QVERIFY2(window && window->isVisible(), qPrintable(name));
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(window);
            QCOMPARE(accessible->role(), QAccessible::Window);
            QCOMPARE(accessible->text(QAccessible::Name), window->windowTitle());
        }
    }

    void rtsDisabledUnderRtsCtsFlowControl_data() {
        addColumns<int, bool>("handshaking", "enabled");
        QTest::newRow("none") << 0 << true;
        QTest::newRow("Xon/Xoff") << 1 << true;
        QTest::newRow("RTS") << 2 << false;
        QTest::newRow("Xon and RTS") << 3 << false;
    }
    void rtsDisabledUnderRtsCtsFlowControl() {
        QFETCH(int, handshaking);
        QFETCH(bool, enabled);
        FormHarness h;
        QAction* item = h.child<QAction>(u"MRTSEnable"_s);
        h.port->setHandshaking(handshaking);
        auto* tools = h.form->findChild<QMenu*>(u"MTools"_s);
        emit tools->aboutToShow();
        QCOMPARE(item->isEnabled(), enabled);
        QCOMPARE(item->toolTip().contains(u"RTS/CTS flow control"), !enabled);
        QVERIFY(tools->toolTipsVisible());

        h.port->setHandshaking(0);
        h.form->cmdConfig_Click();
        h.form->configScrn()->reject();
        QTRY_VERIFY(item->isEnabled());
    }
};

QTEST_MAIN(TestToolsMenu)
#include "tst_tools_menu.moc"
