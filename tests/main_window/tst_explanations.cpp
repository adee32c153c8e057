// What the main window says of itself beyond its captions: the Properties items' hints, and
// lamps that say when a device reports no modem lines.

#include "fake_prompts.h"
#include "form_harness.h"
#include "main_window/shape.h"
#include "port/termios_port.h"
#include "port_environment.h"
#include "ui/window_texts.h"

#include <QAccessible>
#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace main_window;
using namespace port;
using namespace ui;

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int Red = 255;
constexpr int Green = 65280;

Shape* lamp(const Form1& form, int index) {
    return form.findChild<Shape*>(u"shapeMSCommPins_%1"_s.arg(index));
}

} // namespace

class TestExplanations : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { clearPortVariables(); }

    // Each of the seven items has a one-sentence hint about its own property as its tooltip
    // (shown in the menu) and as its accessible description; the captions stay as they are, and
    // the DTR item, which says what it does by its check mark, has none.
    void propertiesExplainThemselves() {
        FormHarness h;
        QVERIFY(h.child<QMenu>(u"MProp"_s)->toolTipsVisible());
        struct Item {
            QString name;
            QString caption;
            QString about; // what the hint of this item, and of no other, must speak of
        };
        const QList<Item> items{
            {u"MInputLen"_s, u"&InputLen..."_s, u"at a time"_s},
            {u"MRThreshold"_s, u"&RThreshold..."_s, u"waiting before they are shown"_s},
            {u"MSThreshold"_s, u"&SThreshold..."_s, u"left to send"_s},
            {u"MParRep"_s, u"P&arityReplace..."_s, u"parity error"_s},
            {u"MHCD"_s, u"&CDHolding..."_s, u"Carrier Detect"_s},
            {u"MHCTS"_s, u"CTSH&olding..."_s, u"Clear To Send"_s},
            {u"MHDSR"_s, u"DSRHo&lding..."_s, u"Data Set Ready"_s}};
        for (const Item& item : items) {
            QAction* action = h.child<QAction>(item.name);
            QCOMPARE(action->text(), item.caption);
            const QString hint = action->toolTip();
            QVERIFY2(hint.endsWith(u'.') && !hint.chopped(1).contains(u". "_s), qPrintable(hint));
            for (const Item& other : items)
                QVERIFY2(hint.contains(other.about) == (other.name == item.name),
                         qPrintable(item.name + u": "_s + hint));
            QCOMPARE(QAccessible::queryAccessibleInterface(action)->text(QAccessible::Description),
                     hint);
        }
        QAction* dtr = h.child<QAction>(u"MDTREnable"_s);
        QVERIFY(
            QAccessible::queryAccessibleInterface(dtr)->text(QAccessible::Description).isEmpty());
    }

    // On a pseudo-terminal, which has no modem lines, the lamps keep the colours of "not held"
    // and say in words that the device does not report them; a device that reports its lines
    // gets "held" and "not held".
    void lampsSayWhenLinesAreNotReported() {
        std::unique_ptr<QTemporaryDir> locks;
        std::unique_ptr<PtyPair> pty;
        startPtyAsPort(1, locks, pty);
        qint16 echo = 0;
        Form1 form(std::make_unique<port::TermiosPort>(), std::make_unique<FakePrompts>(),
                   base::monotonicMs, echo);
        form.findChild<QPushButton*>(u"cmdOPEN"_s)->click();
        QVERIFY(form.MSComm1().PortOpen());
        const QList<std::tuple<int, QString, int>> lamps{
            {1, u"CD"_s, Green}, {6, u"DSR"_s, Red}, {8, u"CTS"_s, Red}};
        for (const auto& [index, line, colour] : lamps) {
            const QString words = line + u": not reported by this device"_s;
            QCOMPARE(lamp(form, index)->toolTip(), words);
            QCOMPARE(lamp(form, index)->accessibleDescription(), words);
            QCOMPARE(lamp(form, index)->BackColor(), colour);
        }

        FormHarness h;
        h.port->setLines(false, true, false);
        h.port->setPortOpen(true);
        h.form->SerialPinLamps();
        QCOMPARE(lamp(*h.form, 6)->toolTip(), u"DSR: held"_s);
        QCOMPARE(lamp(*h.form, 8)->toolTip(), u"CTS: not held"_s);
        h.port->linesReported = false;
        h.form->SerialPinLamps();
        QCOMPARE(lamp(*h.form, 8)->toolTip(), u"CTS: not reported by this device"_s);
    }
};

QTEST_MAIN(TestExplanations)
#include "tst_explanations.moc"
