#include "data_columns.h"
#include "form_harness.h"
#include "main_window/shape.h"
#include "port/port_messages.h"
#include "settings_dialog/window/config_scrn.h"
#include "views/rich_text_box.h"

#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

using namespace main_window;
using namespace port;
using namespace settings_dialog;
using namespace views;
using namespace ui;

namespace {

// Records the accessibility events sent while it lives. Qt hands events on only while its
// accessibility is switched on, as a screen reader switches it on; the offscreen platform never
// does that by itself.
class AccessibleEvents {
public:
    AccessibleEvents() {
        recorded().clear();
        QAccessible::installUpdateHandler(&AccessibleEvents::record);
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    }
    ~AccessibleEvents() {
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
        QAccessible::installUpdateHandler(nullptr);
    }
    AccessibleEvents(const AccessibleEvents&) = delete;
    AccessibleEvents& operator=(const AccessibleEvents&) = delete;

    int count(QObject* object, QAccessible::Event type) const {
        return int(std::count(recorded().begin(), recorded().end(), std::pair(object, type)));
    }

private:
    static QList<std::pair<QObject*, QAccessible::Event>>& recorded() {
        static QList<std::pair<QObject*, QAccessible::Event>> events;
        return events;
    }
    static void record(QAccessibleEvent* event) {
        recorded().append({event->object(), event->type()});
    }
};

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    // Every control and menu item has the objectName its handlers and the tests go by, in the
    // main window and in the settings dialog.
    void everyNamedControlExists() {
        FormHarness h;
        QStringList names{"cmdConfig",   "cmdOPEN",     "cmdClear",  "Term",       "TermHex",
                          "Label2",      "Label1",      "Line1",     "Line2",      "Line3",
                          "MPort",       "MOpen",       "MSettings", "MProp",      "MInputLen",
                          "MRThreshold", "MSThreshold", "MParRep",   "MDTREnable", "Bar3",
                          "MHCD",        "MHCTS",       "MHDSR"};
        for (int pin = 0; pin < 8; ++pin)
            names << QStringLiteral("lblMSCommPins_%1").arg(pin);
        for (int lamp = 1; lamp <= 9; ++lamp)
            names << QStringLiteral("shapeMSCommPins_%1").arg(lamp);
        for (const QString& name : names)
            QVERIFY2(h.form->findChild<QObject*>(name), qPrintable(name));
        QCOMPARE(h.form->objectName(), QStringLiteral("Form1"));

        h.form->cmdConfig_Click();
        QWidget* dialog = h.form->configScrn();
        QVERIFY(dialog && dialog->objectName() == QStringLiteral("ConfigScrn"));
        QStringList options{"OKButton",   "CancelButton", "Frame1",   "Frame2",   "Frame3",
                            "Frame4",     "Frame5",       "Frame6",   "Frame7",   "Baud3",
                            "Baud6",      "Baud384",      "Baud1152", "Baud24",   "Baud48",
                            "Baud96",     "Baud576",      "Data7",    "Data8",    "Stop1",
                            "Stop2",      "EchoOn",       "EchoOff",  "NoParity", "OddParity",
                            "EvenParity", "NoFlow",       "XonFlow",  "RTSFlow",  "BothFlow"};
        for (int n = 1; n <= 18; ++n)
            options << QStringLiteral("ComPort_%1").arg(n);
        for (const QString& name : options)
            QVERIFY2(dialog->findChild<QObject*>(name), qPrintable(name));
    }

    // The buttons in a row across the top, and the lamps in a row under their labels.
    void buttonsAndLampsInRows() {
        FormHarness h;
        h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        QRect left;
        for (const char* name : {"cmdConfig", "cmdOPEN", "cmdClear"}) {
            const QRect button = h.child<QPushButton>(QLatin1String(name))->geometry();
            QVERIFY2(h.form->centralWidget()->rect().contains(button), name);
            QVERIFY2(left.isNull() || (button.top() == left.top() && button.left() > left.right()),
                     name);
            left = button;
        }
        // The lamps, numbered from 1, in one row from left to right, each directly under its pin
        // label; lamp 5, between DTR and DSR, has none.
        QVERIFY(!h.child<Shape>(QStringLiteral("shapeMSCommPins_0")));
        const int labelOfLamp[10] = {-1, 0, 1, 2, 3, -1, 4, 5, 6, 7};
        QRect previous;
        for (int index = 1; index <= 9; ++index) {
            const QRect lamp =
                h.child<Shape>(QStringLiteral("shapeMSCommPins_%1").arg(index))->geometry();
            QVERIFY2(h.form->centralWidget()->rect().contains(lamp),
                     qPrintable(QString::number(index)));
            if (index > 1) {
                QCOMPARE(lamp.top(), previous.top());
                QVERIFY(lamp.left() > previous.right());
            }
            previous = lamp;
            if (labelOfLamp[index] < 0)
                continue;
            const QRect label =
                h.child<QLabel>(QStringLiteral("lblMSCommPins_%1").arg(labelOfLamp[index]))
                    ->geometry();
            QCOMPARE(lamp.left(), label.left());
            QVERIFY(lamp.top() > label.top() && lamp.top() >= label.bottom());
        }
    }

    // The status line's message reaches screen readers in its accessible name, with a name-change
    // event for every message, also the same one again (a line that changed twice).
    void statusLineForScreenReaders() {
        FormHarness h;
        auto* status = h.child<QLabel>(QStringLiteral("Label1"));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(status);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Status"));
        AccessibleEvents events;
        h.port->forceOpen(true);
        h.port->raise(5);
        QTRY_COMPARE(status->text(), QStringLiteral("Change in CD Detected"));
        QCOMPARE(accessible->text(QAccessible::Name),
                 QStringLiteral("Status: Change in CD Detected"));
        QCOMPARE(events.count(status, QAccessible::NameChanged), 1);
        h.port->raise(5);
        QTRY_COMPARE(events.count(status, QAccessible::NameChanged), 2);
        h.port->raise(3);
        QTRY_COMPARE(accessible->text(QAccessible::Name),
                     QStringLiteral("Status: Change in CTS Detected"));
        QCOMPARE(events.count(status, QAccessible::NameChanged), 3);
    }

    // The Scan Log is a window to a screen reader, which hears of its new rows; the menu items'
    // tooltips are their descriptions, and check items say they can be checked.
    void toolsForScreenReaders() {
        FormHarness h;
        h.form->show();
        AccessibleEvents events;
        choose(h.child<QAction>(QStringLiteral("MScanLog")));
        QWidget* log = h.form->findChild<QWidget*>(QStringLiteral("ScanLog"));
        QVERIFY(log && log->isVisible());
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(log);
        QCOMPARE(window->role(), QAccessible::Window);
        QCOMPARE(window->text(QAccessible::Name), QStringLiteral("Scan Log"));
        QObject* table = log->findChild<QObject*>(QStringLiteral("table"));
        h.port->forceOpen(true);
        h.port->receive(QStringLiteral("4006381333931\r"));
        QTRY_COMPARE(events.count(table, QAccessible::TableModelChanged), 1);

        h.port->setHandshaking(2);
        QMenu* tools = h.child<QMenu>(QStringLiteral("MTools"));
        emit tools->aboutToShow();
        QAccessibleInterface* rts =
            QAccessible::queryAccessibleInterface(h.child<QAction>(QStringLiteral("MRTSEnable")));
        QCOMPARE(rts->text(QAccessible::Name), QStringLiteral("RTS"));
        QVERIFY2(rts->text(QAccessible::Description).contains(QStringLiteral("RTS/CTS")),
                 qPrintable(rts->text(QAccessible::Description)));
        QVERIFY(rts->state().disabled && rts->state().checkable);
        QAccessibleInterface* dtr =
            QAccessible::queryAccessibleInterface(h.child<QAction>(QStringLiteral("MDTREnable")));
        QVERIFY(dtr->state().checkable && dtr->state().checked);
        QCOMPARE(dtr->text(QAccessible::Description), QString());
        QCOMPARE(dtr->parent()->object(), h.child<QMenu>(QStringLiteral("MProp")));
    }

    // A screen reader's Press on a menu item or a button returns at once; the command runs
    // afterwards, so its prompt does not hold the screen reader's request.
    void commandsReturnBeforeTheirPrompts_data() {
        // control: a menu item of "Properties" or a button
        // shown: the prompt; empty: the settings dialog
        addColumns<QString, QString>("control", "shown");
        QTest::newRow("InputLen") << "InputLen..."
                                  << "Enter New InputLen:";
        QTest::newRow("CDHolding") << "CDHolding..."
                                   << "CDHolding = False";
        QTest::newRow("Open COM Port") << "Open COM Port"
                                       << "COM1 is  < Opened > and ready to scan barcode.";
        QTest::newRow("Port Settings") << "Port Settings..."
                                       << "";
        QTest::newRow("open button") << "cmdOPEN"
                                     << "COM1 is  < Opened > and ready to scan barcode.";
    }
    void commandsReturnBeforeTheirPrompts() {
        QFETCH(QString, control);
        QFETCH(QString, shown);
        FormHarness h;
        QAccessibleInterface* target = nullptr;
        if (auto* button = h.child<QPushButton>(control)) {
            target = QAccessible::queryAccessibleInterface(button);
        } else {
            for (QMenu* menu : h.form->findChildren<QMenu*>()) {
                QAccessibleInterface* items = QAccessible::queryAccessibleInterface(menu);
                for (int i = 0; i < items->childCount(); ++i)
                    if (items->child(i)->text(QAccessible::Name) == control)
                        target = items->child(i);
            }
        }
        QVERIFY(target);
        target->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(h.prompts->calls.isEmpty() && !h.form->configScrn());
        if (shown.isEmpty()) {
            QTRY_VERIFY(h.form->configScrn() && h.form->configScrn()->isVisible());
            h.form->configScrn()->close();
            return;
        }
        QTRY_COMPARE(h.prompts->calls.size(), 1);
        QCOMPARE(h.prompts->calls[0].text, shown);
    }

    // The client area is 8520 by 8580 twips. The two views span its width, one above the other
    // between the buttons and the lamps, meeting at the middle line; they keep that place whatever
    // the size of the window, and wrap at ten window widths. Focus starts on the open button.
    void layoutFocusAndResize() {
        FormHarness h;
        h.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
        QCOMPARE(h.form->centralWidget()->size(), QSize(568, 572));
        const QRect term = h.form->Term().geometry();
        const QRect hex = h.form->TermHex().geometry();
        for (const QRect& view : {term, hex}) {
            QCOMPARE(view.left(), 0);
            QCOMPARE(view.width(), h.form->centralWidget()->width());
        }
        QVERIFY(h.child<QPushButton>(QStringLiteral("cmdOPEN"))->geometry().bottom() < term.top());
        QVERIFY(term.top() < hex.top() && term.bottom() < hex.bottom());
        QVERIFY(qAbs(term.bottom() + 1 - hex.top()) <= 1);
        const int middleLine = h.child<QWidget>(QStringLiteral("Line2"))->geometry().center().y();
        QVERIFY2(qAbs(middleLine - hex.top()) <= 2, qPrintable(QString::number(middleLine)));
        QVERIFY(hex.bottom() <
                h.child<QLabel>(QStringLiteral("lblMSCommPins_0"))->geometry().top());
        QStringList order;
        QWidget* w = QApplication::focusWidget();
        for (int i = 0; i < 5; ++i, w = w->nextInFocusChain()) {
            while (!(w->focusPolicy() & Qt::TabFocus))
                w = w->nextInFocusChain();
            order << w->objectName();
        }
        QCOMPARE(order, QStringList({"cmdOPEN", "Term", "cmdConfig", "TermHex", "cmdClear"}));
        for (const QSize size : {h.form->size(), QSize(900, 700), QSize(300, 300)}) {
            h.form->resize(size);
            QTRY_COMPARE(h.form->size(), size);
            QCOMPARE(h.form->Term().geometry(), term);
            QCOMPARE(h.form->TermHex().geometry(), hex);
            QCOMPARE(h.form->Term().rightMargin(), 10 * h.form->frameGeometry().width());
            QCOMPARE(h.form->TermHex().rightMargin(), 10 * h.form->frameGeometry().width());
        }
    }

    void clearAndSettingsButtons() {
        FormHarness h;
        h.form->Term().setSelText(QStringLiteral("AB\r\n"));
        h.form->TermHex().setSelText(QStringLiteral("41h 42h "));
        QTest::mouseClick(h.child<QPushButton>(QStringLiteral("cmdClear")), Qt::LeftButton);
        QCOMPARE(h.form->Term().Text() + h.form->TermHex().Text(), QString());

        QTest::mouseClick(h.child<QPushButton>(QStringLiteral("cmdConfig")), Qt::LeftButton);
        settings_dialog::ConfigScrn* dialog = h.form->configScrn();
        QVERIFY(dialog && dialog->isVisible() && !dialog->isModal());
        choose(h.child<QAction>(QStringLiteral("MSettings")));
        QCOMPARE(h.form->configScrn(), dialog);
        dialog->close();
    }

    // Closing the window with the port open waits for the output to drain, asking every ten
    // seconds (rounded) whether to go on waiting.
    void closeWaitsForOutput_data() {
        // answers: Retry, Abort, Ignore
        addColumns<bool, int, QString, QString, bool, QString, int>(
            "open", "pending", "answers", "meanwhile", "closes", "writes", "asks");
        QTest::newRow("port closed") << false << 5 << ""
                                     << "" << true << "" << 0;
        QTest::newRow("nothing to send") << true << 0 << ""
                                         << "" << true << "PortOpen=false" << 0;
        QTest::newRow("Retry then Abort") << true << 5 << "RA"
                                          << "" << false << "" << 2;
        QTest::newRow("Ignore") << true << 5 << "I"
                                << "" << true << "PortOpen=false" << 1;
        QTest::newRow("port closed meanwhile") << true << 5 << ""
                                               << "close" << true << "" << 0;
        QTest::newRow("failure while waiting") << true << 5 << ""
                                               << "fail" << true << "" << 1;
    }
    void closeWaitsForOutput() {
        QFETCH(bool, open);
        QFETCH(int, pending);
        QFETCH(QString, answers);
        QFETCH(QString, meanwhile);
        QFETCH(bool, closes);
        QFETCH(QString, writes);
        QFETCH(int, asks);
        FormHarness h;
        h.port->forceOpen(open);
        h.port->setPendingOutput(pending);
        const qint64& now = h.clock->standAt(1'000'400); // the first deadline rounds to 1010 s
        h.clock->stepPerReadingMs = 500;
        for (QChar answer : answers)
            h.prompts->answers.push_back(answer == 'R'   ? ui::Prompts::Answer::Retry
                                         : answer == 'A' ? ui::Prompts::Answer::Abort
                                                         : ui::Prompts::Answer::Ignore);
        h.form->show();
        // Something happens two seconds into the wait.
        bool happened = false;
        h.clock->atReading = [&](qint64 readMs) {
            if (happened || readMs < 1'002'000)
                return;
            happened = true;
            if (meanwhile == "close")
                h.port->forceOpen(false);
            if (meanwhile == "fail")
                h.port->failRead(QStringLiteral("OutBufferCount"),
                                 h.port->fault(port::PortOperation::OutBufferCount,
                                               port::FailureCause::DeviceLost));
        };

        QCOMPARE(h.form->close(), closes);
        QCOMPARE(h.form->isVisible(), !closes);
        QCOMPARE(h.port->writes.join(' '), writes);
        QCOMPARE(h.prompts->calls.size(), asks);
        for (const FakePrompts::Call& message : h.prompts->calls) {
            if (meanwhile == "fail") {
                QCOMPARE(message.text,
                         QStringLiteral("COM1 (/dev/fake1) was disconnected; the port is closed."));
                QCOMPARE(message.icon, ui::Prompts::Icon::Exclamation);
                continue;
            }
            QCOMPARE(message.text, QStringLiteral("Data cannot be sent"));
            QCOMPARE(message.buttons, ui::Prompts::Buttons::AbortRetryIgnore);
            QCOMPARE(message.icon, ui::Prompts::Icon::Question);
            QCOMPARE(message.title, QStringLiteral("Linnet-Test"));
        }
        if (asks == 2) // each deadline lies 10 s (rounded) after it was set
            QVERIFY(now > 1'020'000 && now < 1'023'000);
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
