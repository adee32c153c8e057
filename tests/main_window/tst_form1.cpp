#include "form_harness.h"
#include "main_window/line_control.h"
#include "main_window/rich_text_box.h"
#include "main_window/shape.h"
#include "main_window/twips.h"
#include "settings_dialog/config_scrn.h"

#include <QAction>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void controls_data();
    void controls();
    void pinLabels_data();
    void pinLabels();
    void lamps();
    void lines();
    void menus();
    void windowBasics();
    void layoutFollowsLinesOnShowAndResize();
    void clearEmptiesBothViews();
    void settingsCommandsShowOneNonModalDialog();
    void closeWithPortClosedClosesAtOnce();
    void closeWithNothingToSendClosesPort();
    void closeWithStuckOutputAsksAgainUntilAbort();
    void closeIgnoreClosesPortAndWindow();
    void closeWaitEndsWhenPortClosedMeanwhile();
    void failureEscapingHandlerIsShownAsWarning();
};

namespace {

// The pixel rectangle that the twips given round to.
void compareRect(const QWidget* widget, int left, int top, int width, int height) {
    QCOMPARE(widget->geometry(), twipsRect(left, top, width, height));
}

} // namespace

void TestForm1::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("points");

    QTest::newRow("cmdConfig") << "cmdConfig"
                               << "Port Setting..." << QRect(1080, 120, 1695, 495)
                               << "MS Sans Serif" << 9.75;
    QTest::newRow("cmdOPEN") << "cmdOPEN"
                             << "Open COM1" << QRect(3840, 120, 1695, 495) << "MS Sans Serif"
                             << 9.75;
    QTest::newRow("cmdClear") << "cmdClear"
                              << "CLEAR" << QRect(7080, 120, 1335, 495) << "MS Sans Serif" << 8.25;
    QTest::newRow("Label2") << "Label2"
                            << "Status" << QRect(120, 8280, 615, 195) << "MS Sans Serif" << 9.75;
    QTest::newRow("Label1") << "Label1"
                            << "" << QRect(720, 8220, 7695, 270) << "MS Sans Serif" << 8.25;
}

void TestForm1::controls() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(QString, family);
    QFETCH(double, points);

    FormHarness h;
    QWidget* widget = h.child<QWidget>(name);
    QVERIFY2(widget, qPrintable(name));
    if (auto* button = qobject_cast<QPushButton*>(widget))
        QCOMPARE(button->text(), caption);
    else
        QCOMPARE(qobject_cast<QLabel*>(widget)->text(), caption);
    compareRect(widget, twips.x(), twips.y(), twips.width(), twips.height());
    QCOMPARE(widget->font().family(), family);
    QCOMPARE(widget->font().pointSizeF(), points);
    if (qobject_cast<QLabel*>(widget))
        QCOMPARE(widget->palette().color(QPalette::Window), QColor(192, 192, 192));
}

void TestForm1::pinLabels_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<QColor>("colour");
    const QColor navy(0, 0, 128), green(0, 128, 0), none;
    QTest::newRow("CD") << 0 << "CD" << 2040 << 255 << false << none;
    QTest::newRow("RX") << 1 << "RX" << 2520 << 255 << true << navy;
    QTest::newRow("TX") << 2 << "TX" << 3000 << 255 << true << green;
    QTest::newRow("DTR") << 3 << "DTR" << 3480 << 375 << true << navy;
    QTest::newRow("DSR") << 4 << "DSR" << 4200 << 495 << true << green;
    QTest::newRow("RTS") << 5 << "RTS" << 4680 << 375 << true << green;
    QTest::newRow("CTS") << 6 << "CTS" << 5160 << 375 << true << navy;
    QTest::newRow("RI") << 7 << "RI" << 5640 << 375 << false << none;
}

void TestForm1::pinLabels() {
    QFETCH(int, index);
    QFETCH(QString, caption);
    QFETCH(int, left);
    QFETCH(int, width);
    QFETCH(bool, bold);
    QFETCH(QColor, colour);

    FormHarness h;
    auto* label = h.child<QLabel>(QStringLiteral("lblMSCommPins_%1").arg(index));
    QVERIFY(label);
    QCOMPARE(label->text(), caption);
    compareRect(label, left, 7680, width, 255);
    QCOMPARE(label->font().family(), QStringLiteral("Arial"));
    QCOMPARE(label->font().pointSizeF(), 9.75);
    QCOMPARE(label->font().bold(), bold);
    if (colour.isValid())
        QCOMPARE(label->palette().color(QPalette::WindowText), colour);
}

void TestForm1::lamps() {
    FormHarness h;
    QVERIFY(!h.child<Shape>(QStringLiteral("shapeMSCommPins_0")));
    const int lefts[] = {0, 2040, 2520, 3000, 3480, 3840, 4200, 4680, 5160, 5640};
    for (int index = 1; index <= 9; ++index) {
        auto* lamp = h.child<Shape>(QStringLiteral("shapeMSCommPins_%1").arg(index));
        QVERIFY(lamp);
        QCOMPARE(lamp, &h.form->shapeMSCommPins(index));
        compareRect(lamp, lefts[index], 7920, 255, 255);
        const bool white = index == 2 || index == 7;
        QCOMPARE(lamp->BackColor(), white ? 0xFFFFFF : Shape::packRgb(QColor(192, 192, 192)));
        QCOMPARE(lamp->BackStyle(), index == 5 ? 0 : 1);
        QCOMPARE(lamp->BorderStyle(), index == 5 ? 0 : 1);
    }
    QCOMPARE(h.form->shapeMSCommPins(5).BorderColor(), 128 | 128 << 8 | 128 << 16);
    // Before the first refresh the driven lamps do not know their line.
    QCOMPARE(h.form->shapeMSCommPins(1).toolTip(), QStringLiteral("CD: unknown"));
    QCOMPARE(h.form->shapeMSCommPins(6).accessibleName(), QStringLiteral("DSR: unknown"));
    QCOMPARE(h.form->shapeMSCommPins(8).toolTip(), QStringLiteral("CTS: unknown"));
    // Packed colours keep red in the low byte.
    QCOMPARE(Shape::packRgb(QColor(255, 0, 0)), 255);
    QCOMPARE(Shape::packRgb(QColor(0, 255, 0)), 65280);
}

void TestForm1::lines() {
    FormHarness h;
    struct Expected {
        double x1, y1, x2, y2;
    } const expected[] = {{8520, 7560, 8520, 600}, {0, 4080, 8520, 4080}, {0, 7560, 8520, 7560}};
    for (int n = 1; n <= 3; ++n) {
        auto* line = h.child<LineControl>(QStringLiteral("Line%1").arg(n));
        QVERIFY(line);
        QCOMPARE(line->X1(), expected[n - 1].x1);
        QCOMPARE(line->Y1(), expected[n - 1].y1);
        QCOMPARE(line->X2(), expected[n - 1].x2);
        QCOMPARE(line->Y2(), expected[n - 1].y2);
        QCOMPARE(line->BorderColor(), 128 | 128 << 8 | 128 << 16);
        QCOMPARE(line->BorderWidth(), 3);
    }
}

void TestForm1::menus() {
    FormHarness h;
    const QList<QAction*> top = h.form->menuBar()->actions();
    QCOMPARE(top.size(), 2);
    QCOMPARE(top[0]->objectName(), QStringLiteral("MPort"));
    QCOMPARE(top[0]->text(), QStringLiteral("&Scanner_Comm_Port"));
    QCOMPARE(top[1]->objectName(), QStringLiteral("MProp"));
    QCOMPARE(top[1]->text(), QStringLiteral("&Properties"));

    auto itemsOf = [](QAction* menu) {
        QStringList items;
        for (QAction* item : menu->menu()->actions())
            items << item->objectName() + QLatin1Char('|') +
                         (item->isSeparator() ? QStringLiteral("-") : item->text()) +
                         (item->isCheckable() ? (item->isChecked() ? "|checked" : "|unchecked")
                                              : "");
        return items;
    };
    QCOMPARE(itemsOf(top[0]),
             QStringList({"MOpen|&Open COM Port|unchecked", "MSettings|&Port Settings..."}));
    QCOMPARE(itemsOf(top[1]),
             QStringList({"MInputLen|&InputLen...", "MRThreshold|&RThreshold...",
                          "MSThreshold|&SThreshold...", "MParRep|P&arityReplace...",
                          "MDTREnable|&DTREnable|unchecked", "Bar3|-", "MHCD|&CDHolding...",
                          "MHCTS|CTSH&olding...", "MHDSR|DSRHo&lding..."}));
}

void TestForm1::windowBasics() {
    FormHarness h;
    QCOMPARE(h.form->objectName(), QStringLiteral("Form1"));
    QCOMPARE(h.form->windowTitle(), QStringLiteral("Kestrova Linnet Test V1.06"));
    QVERIFY(!h.form->windowIcon().isNull());
    QCOMPARE(h.form->centralWidget()->palette().color(QPalette::Window), QColor(192, 192, 192));

    auto* term = h.child<RichTextBox>(QStringLiteral("Term"));
    QVERIFY(term);
    QVERIFY(h.child<RichTextBox>(QStringLiteral("TermHex")));
    QCOMPARE(term->font().family(), QStringLiteral("Courier New"));
    QCOMPARE(term->font().pointSizeF(), 9.75);
    QCOMPARE(QFontInfo(term->font()).family(), QStringLiteral("Liberation Mono"));

    h.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
    // The client area below the menu bar is 8520 by 8580 twips.
    QCOMPARE(h.form->centralWidget()->size(), QSize(568, 572));
    QCOMPARE(QApplication::focusWidget(), h.child<QWidget>(QStringLiteral("cmdOPEN")));
    // Tab order: cmdOPEN, Term, cmdConfig, TermHex, cmdClear.
    QStringList order;
    QWidget* w = h.child<QWidget>(QStringLiteral("cmdOPEN"));
    for (int i = 0; i < 5; ++i, w = w->nextInFocusChain()) {
        while (!(w->focusPolicy() & Qt::TabFocus))
            w = w->nextInFocusChain();
        order << w->objectName();
    }
    QCOMPARE(order, QStringList({"cmdOPEN", "Term", "cmdConfig", "TermHex", "cmdClear"}));
}

void TestForm1::layoutFollowsLinesOnShowAndResize() {
    FormHarness h;
    h.form->show();
    QVERIFY(QTest::qWaitForWindowExposed(h.form.get()));
    auto check = [&] {
        compareRect(&h.form->Term(), 0, 615, 8520, 3490);
        compareRect(&h.form->TermHex(), 0, 4095, 8520, 3490);
        const int margin = 10 * h.form->frameGeometry().width();
        QCOMPARE(h.form->Term().rightMargin(), margin);
        QCOMPARE(h.form->TermHex().rightMargin(), margin);
    };
    check();
    h.form->resize(900, 700);
    QTRY_COMPARE(h.form->width(), 900);
    check();
    h.form->resize(300, 300);
    QTRY_COMPARE(h.form->width(), 300);
    check();
}

void TestForm1::clearEmptiesBothViews() {
    FormHarness h;
    h.form->Term().setSelText(QStringLiteral("AB\r\n"));
    h.form->TermHex().setSelText(QStringLiteral("41h 42h "));
    auto* label1 = h.child<QLabel>(QStringLiteral("Label1"));
    label1->setText(QStringLiteral("Break Received"));
    QTest::mouseClick(h.child<QPushButton>(QStringLiteral("cmdClear")), Qt::LeftButton);
    QCOMPARE(h.form->Term().Text(), QString());
    QCOMPARE(h.form->TermHex().Text(), QString());
    QCOMPARE(label1->text(), QStringLiteral("Break Received"));
}

void TestForm1::settingsCommandsShowOneNonModalDialog() {
    FormHarness h;
    h.form->show();
    QVERIFY(!h.form->configScrn());
    QTest::mouseClick(h.child<QPushButton>(QStringLiteral("cmdConfig")), Qt::LeftButton);
    ConfigScrn* dialog = h.form->configScrn();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Communication Settings"));
    h.child<QAction>(QStringLiteral("MSettings"))->trigger();
    QCOMPARE(h.form->configScrn(), dialog);
    const auto windows = QApplication::topLevelWidgets();
    QCOMPARE(
        std::count_if(windows.begin(), windows.end(),
                      [](QWidget* w) { return qobject_cast<ConfigScrn*>(w) && w->isVisible(); }),
        1);
    dialog->close();
}

void TestForm1::closeWithPortClosedClosesAtOnce() {
    FormHarness h;
    h.form->show();
    QVERIFY(h.form->close());
    QVERIFY(h.prompts->calls.isEmpty());
    QVERIFY(h.port->writes.isEmpty());
}

void TestForm1::closeWithNothingToSendClosesPort() {
    FormHarness h;
    h.port->forceOpen(true);
    h.form->show();
    QVERIFY(h.form->close());
    QVERIFY(!h.port->PortOpen());
    QCOMPARE(h.port->writes, QStringList({"PortOpen=false"}));
    QVERIFY(h.prompts->calls.isEmpty());
}

void TestForm1::closeWithStuckOutputAsksAgainUntilAbort() {
    FormHarness h;
    h.port->forceOpen(true);
    h.port->setPendingOutput(5);
    h.clock->now = 1000.4; // deadline rounds to 1010
    h.clock->stepPerReading = 0.5;
    h.prompts->answers = {Prompts::Answer::Retry, Prompts::Answer::Abort};
    h.form->show();

    QVERIFY(!h.form->close());
    const auto messages = h.prompts->messages();
    QCOMPARE(messages.size(), 2);
    for (const auto& message : messages) {
        QCOMPARE(message.text, QStringLiteral("Data cannot be sent"));
        QCOMPARE(message.buttons, Prompts::Buttons::AbortRetryIgnore);
        QCOMPARE(message.icon, Prompts::Icon::Question);
        QCOMPARE(message.title, QStringLiteral("Linnet-Test"));
    }
    // Each deadline lies 10 s (rounded) after it was set, so the asks are about 10 s apart.
    QVERIFY(h.clock->now > 1020.0 && h.clock->now < 1023.0);
    QVERIFY(h.port->PortOpen());
    QVERIFY(h.form->isVisible());
    QVERIFY(h.port->writes.isEmpty());
}

void TestForm1::closeIgnoreClosesPortAndWindow() {
    FormHarness h;
    h.port->forceOpen(true);
    h.port->setPendingOutput(5);
    h.clock->stepPerReading = 1.0;
    h.prompts->answers = {Prompts::Answer::Ignore};
    h.form->show();
    QVERIFY(h.form->close());
    QCOMPARE(h.prompts->messages().size(), 1);
    QVERIFY(!h.port->PortOpen());
}

void TestForm1::closeWaitEndsWhenPortClosedMeanwhile() {
    FormHarness h;
    h.port->forceOpen(true);
    h.port->setPendingOutput(5);
    h.form->show();
    QObject context;
    QTimer::singleShot(50, &context, [&] { h.port->forceOpen(false); });
    QVERIFY(h.form->close());
    QVERIFY(h.prompts->calls.isEmpty());
    QVERIFY(h.port->writes.isEmpty());
}

void TestForm1::failureEscapingHandlerIsShownAsWarning() {
    FormHarness h;
    h.port->forceOpen(true);
    h.port->failRead(QStringLiteral("OutBufferCount"), QStringLiteral("COM1 went away."));
    h.form->show();
    QVERIFY(h.form->close());
    const auto messages = h.prompts->messages();
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, QStringLiteral("COM1 went away."));
    QCOMPARE(messages[0].icon, Prompts::Icon::Exclamation);
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
