#include "data_columns.h"
#include "views/rich_text_box.h"
#include "views/view_rules.h"

#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QClipboard>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QProxyStyle>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QStyleFactory>
#include <QTest>

using namespace views;

namespace {

// Rows as a reader sees them: lines split at CR LF, CR or LF, each cut into pieces of `columns`.
QString expectedRows(const QString& text, int columns) {
    QStringList rows;
    for (const QString& line : QString(text).replace("\r\n", "\n").replace('\r', '\n').split('\n'))
        for (int at = 0; at == 0 || at < line.size(); at += columns)
            rows << line.mid(at, columns);
    return rows.join(u'\n');
}

// Received data: text with every kind of break and control character, or hexadecimal codes.
QString randomBlock(QRandomGenerator& random) {
    static const QStringList pieces{"a", "Z", " ", "\r\n", "\r", "\n", "\b", "\t", "é", "\x01"};
    QString block;
    const bool hex = random.bounded(2) == 0;
    for (int i = random.bounded(hex ? 64 : 12); i >= 0; --i)
        block += hex ? QChar(char16_t(random.bounded(256))) : pieces[random.bounded(pieces.size())];
    return hex ? views::hexRendering(block) : block;
}

void receive(TextView& view, QString block) {
    views::AppendToView(view, block);
}

// A key as the window system delivers it, text included.
struct Key {
    int key;
    Qt::KeyboardModifiers modifiers = {};
    QString text = {};
};
const Key left{Qt::Key_Left}, right{Qt::Key_Right}, up{Qt::Key_Up}, down{Qt::Key_Down};
const Key home{Qt::Key_Home}, end{Qt::Key_End}, shiftLeft{Qt::Key_Left, Qt::ShiftModifier};
const Key shiftRight{Qt::Key_Right, Qt::ShiftModifier}, del{Qt::Key_Delete}, x{Qt::Key_X, {}, "x"};
const Key enter{Qt::Key_Return, {}, "\r"}, backspace{Qt::Key_Backspace, {}, "\b"};

void press(QWidget& widget, const Key& key) {
    QKeyEvent event(QEvent::KeyPress, key.key, key.modifiers, key.text);
    QApplication::sendEvent(&widget, &event);
}

// What typing does to a text box, told on the plain model: the reference for the view.
void typeOnModel(views::PlainTextView& model, const Key& key) {
    const bool erase = key.key == Qt::Key_Backspace;
    const int at = model.SelStart();
    if (erase && model.SelLength() == 0 && at > 0) {
        const int count = model.Text().mid(at - 2, 2) == QLatin1String("\r\n") ? 2 : 1;
        model.setSelStart(at - count);
        model.setSelLength(count);
    }
    model.setSelText(key.key == Qt::Key_Return ? "\r\n" : erase ? "" : key.text);
}

void showView(views::RichTextBox& box, QSize size = {300, 200}) {
    box.resize(size);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
}

// Counts the paint events a widget gets and the area they cover, and its timer events.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) : widget_(widget) { widget->installEventFilter(this); }
    ~PaintCounter() override { widget_->removeEventFilter(this); }
    int count = 0;
    QRegion area;
    int timers = 0;
    void reset() {
        count = 0;
        area = QRegion();
        timers = 0;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
            area += static_cast<QPaintEvent*>(event)->region();
        } else if (event->type() == QEvent::Timer) {
            ++timers;
        }
        return false;
    }

private:
    QWidget* widget_;
};

// Counts the paints in which the style drew a scroll bar: a paint event may keep the pixels the
// bar already shows.
class BarDraws : public QProxyStyle {
public:
    explicit BarDraws(QScrollBar* bar)
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))), events_(bar) {
        bar->setStyle(this);
        QCoreApplication::processEvents();
        reset();
    }
    int count() const { return count_; }
    void reset() { count_ = 0; }
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        if (control == CC_ScrollBar && drawnIn_ != events_.count) {
            drawnIn_ = events_.count;
            ++count_;
        }
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }

private:
    PaintCounter events_;
    mutable int drawnIn_ = -1;
    mutable int count_ = 0;
};

// Brings the screen up to date and lets the paints that asks for happen.
void settle(views::RichTextBox& box) {
    box.flushDisplay();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

} // namespace

// Streams lines into a view that follows the end: its bar is drawn at its own pace, and the
// last position shows once the pace allows.
void followEnd(views::RichTextBox& box, QScrollBar& bar, BarDraws& barPaints) {
    bar.setValue(bar.maximum());
    settle(box);
    // Bounded: lets the bar's own pace (a paint at most every 250 ms) run out, so that the
    // count below starts from a quiet bar.
    QTest::qWait(300);
    barPaints.reset();
    PaintCounter textPaints(box.viewport());
    PaintCounter barEvents(&bar);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 40; ++i) {
        receive(box, QString(40, QChar(u'x')) + QStringLiteral("\r"));
        settle(box);
    }
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(textPaints.count, 40);
    QVERIFY2(barPaints.count() <= 1 + elapsed / 250,
             qPrintable(QStringLiteral("%1 paints in %2 ms").arg(barPaints.count()).arg(elapsed)));
    QVERIFY2(barEvents.count <= 1 + elapsed / 250,
             qPrintable(QStringLiteral("%1 repaints in %2 ms").arg(barEvents.count).arg(elapsed)));
    // Its only timer is its pace: a move starts none.
    QVERIFY2(barEvents.timers <= 1 + elapsed / 250,
             qPrintable(QStringLiteral("%1 timers in %2 ms").arg(barEvents.timers).arg(elapsed)));
    // The last position shows once the pace allows.
    QTRY_COMPARE(barPaints.count() > 0 && bar.value() == bar.maximum(), true);
    // Bounded: shows that no further paint follows once the bar is at the end.
    QTest::qWait(300);
    const int settled = barPaints.count();
    QTest::qWait(300);
    QCOMPARE(barPaints.count(), settled);
}

class TestRichTextBox : public QObject {
    Q_OBJECT

private slots:
    // Random mixes of received blocks (cut at the bound), new texts, typed keys, caret keys and
    // mouse selections, on the view and on a plain model: text, caret and selection stay the same,
    // the caret never splits a CR LF pair, and the rows on screen are the model's text wrapped.
    void matchesPlainModelUnderRandomUse() {
        // clang-format off
        const QList<Key> moving{left, right, up, down, home, shiftLeft, shiftRight,
                                {Qt::Key_End, Qt::ShiftModifier}, {Qt::Key_PageDown, Qt::ShiftModifier},
                                {Qt::Key_Home, Qt::ControlModifier}, {Qt::Key_Right, Qt::ControlModifier}};
        // clang-format on
        views::RichTextBox box;
        showView(box);
        const int charWidth = QFontMetrics(box.font()).horizontalAdvance(u'M');
        // Without a fixed margin lines wrap at the viewport; columns are one character apart.
        box.setText(QString(10, u'M'));
        QCOMPARE(box.wrapColumns(), (box.viewport()->width() - 8) / charWidth);
        QCOMPARE(box.characterRect(9).left() - box.characterRect(0).left(), 9 * charWidth);
        for (const int columns : {7, 2000}) {
            box.setRightMargin(2 * 4 + columns * charWidth);
            QRandomGenerator random(columns);
            views::PlainTextView plain;
            box.setText({});
            for (int step = 0; step < 2000; ++step) {
                const int op = random.bounded(10);
                const int length = plain.TextLength();
                const std::initializer_list<TextView*> views{&box, &plain};
                if (op <= 4) { // a received block, and now and then a new text
                    const QString block = randomBlock(random);
                    const bool replace = op == 4 && random.bounded(20) == 0;
                    for (TextView* view : views)
                        replace ? view->setText(block) : receive(*view, block);
                } else if (op == 5) { // the program moves the caret and selects
                    const int at = random.bounded(-2, length + 3), selected = random.bounded(-2, 6);
                    for (TextView* view : views) {
                        view->setSelStart(at);
                        view->setSelLength(selected);
                    }
                } else if (op == 6) {
                    const Key key = QList<Key>{x, enter, backspace}[random.bounded(3)];
                    press(box, key);
                    typeOnModel(plain, key);
                } else if (op <= 8) {
                    auto anywhere = [&] {
                        return QPoint(random.bounded(-9, 300), random.bounded(-9, 200));
                    };
                    if (op == 7) {
                        press(box, moving[random.bounded(moving.size())]);
                    } else {
                        QTest::mousePress(box.viewport(), Qt::LeftButton, {}, anywhere());
                        QTest::mouseMove(box.viewport(), anywhere());
                        QTest::mouseRelease(box.viewport(), Qt::LeftButton, {}, anywhere());
                    }
                    const int at = box.caretPosition(); // stops between characters
                    QVERIFY2(at == 0 || box.Text().mid(at - 1, 2) != QLatin1String("\r\n"),
                             qPrintable(QStringLiteral("step %1: %2").arg(step).arg(at)));
                    plain.setSelStart(box.SelStart());
                    plain.setSelLength(box.SelLength());
                } else {
                    box.flushDisplay();
                    QCOMPARE(box.displayText(), expectedRows(plain.Text(), columns));
                }
                QCOMPARE(box.Text(), plain.Text());
                QCOMPARE(QPoint(box.SelStart(), box.SelLength()),
                         QPoint(plain.SelStart(), plain.SelLength()));
            }
        }
    }

    // Keys on "ab\r\ncd", shown as "ab", a break and "cd"; the pair is one character. The
    // keyPress handler, like the echo switch, cancels q and turns y into b.
    void keys() {
        struct Case {
            const char* name;
            int start;
            QList<Key> keys;
            QString text;
            int selStart, selLength;
            QList<int> offered;
        };
        const QString base = QStringLiteral("ab\r\ncd");
        const Key keypadEnter{Qt::Key_Enter, Qt::KeypadModifier, "\r"};
        // clang-format off
        const QList<Key> commands{{Qt::Key_Tab, {}, "\t"}, {Qt::Key_Escape, {}, "\x1b"},
                                  {Qt::Key_C, Qt::ControlModifier, "\x03"}, {Qt::Key_F, Qt::AltModifier, "f"}};
        const QList<Case> cases{
            {"handler cancels", 1, {{Qt::Key_Q, {}, "q"}}, base, 1, 0, {'q'}},
            {"handler changes the code", 1, {{Qt::Key_Y, {}, "y"}}, "abb\r\ncd", 2, 0, {'y'}},
            {"Latin-1 letter", 6, {{Qt::Key_Eacute, {}, "é"}}, base + "é", 7, 0, {0xE9}},
            {"Enter types CR LF", 6, {enter, keypadEnter}, base + "\r\n\r\n", 10, 0, {13, 13}},
            {"Backspace erases the pair", 4, {backspace}, "abcd", 2, 0, {8}},
            {"Delete erases the pair", 2, {del}, "abcd", 2, 0, {}},
            {"right and left over the pair", 0, {right, right, right, left}, base, 2, 0, {}},
            {"down, up, up on the first row", 1, {down, up, up}, base, 1, 0, {}},
            {"home and end", 5, {home, x, end, x}, "ab\r\nxcdx", 8, 0, {'x', 'x'}},
            {"shift right across the pair", 1, {shiftRight, shiftRight}, base, 1, 3, {}},
            {"typing replaces a selection", 6, {shiftLeft, shiftLeft, shiftLeft, x}, "abx", 3, 0,
             {'x'}},
            {"select all", 2, {{Qt::Key_A, Qt::ControlModifier, "\x01"}}, base, 0, 6, {}},
            {"commands type nothing", 3, commands, base, 3, 0, {}},
        };
        // clang-format on
        views::RichTextBox box;
        showView(box);
        QList<int> offered;
        connect(&box, &views::RichTextBox::keyPress, &box, [&](int& code) {
            offered << code;
            code = code == 'q' ? 0 : code == 'y' ? 'b' : code;
        });
        for (const Case& c : cases) {
            box.setText(base);
            box.setSelStart(c.start);
            offered.clear();
            for (const Key& key : c.keys)
                press(box, key);
            QVERIFY2(box.Text() == c.text && box.SelStart() == c.selStart &&
                         box.SelLength() == c.selLength && offered == c.offered,
                     c.name);
        }
    }

    void mouseAndCopy() {
        views::RichTextBox box;
        showView(box);
        box.setText(QStringLiteral("ab\r\ncd word_1 z"));
        box.flushDisplay();
        const QPoint betweenCAndD = box.characterRect(5).topLeft() + QPoint(1, 2);
        box.setText(box.Text()); // the click arrives before the screen has caught up
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, betweenCAndD);
        QCOMPARE(QPoint(box.SelStart(), box.SelLength()), QPoint(5, 0));
        // Drag from past the end of the first line to the end of the text, then Shift+click on
        // the b: the selection grows backwards from where it began, before the break.
        QTest::mousePress(box.viewport(), Qt::LeftButton, {},
                          box.characterRect(0).center() + QPoint(200, 0));
        QTest::mouseMove(box.viewport(), box.characterRect(box.TextLength()).center());
        QTest::mouseRelease(box.viewport(), Qt::LeftButton, {},
                            box.characterRect(box.TextLength()).center());
        QCOMPARE(QPoint(box.SelStart(), box.SelLength()), QPoint(2, box.TextLength() - 2));
        QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          box.characterRect(1).center());
        press(box, {Qt::Key_C, Qt::ControlModifier, "\x03"});
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("b"));
        QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, box.characterRect(9).center());
        QCOMPARE(box.Text().mid(box.SelStart(), box.SelLength()), QStringLiteral("word_1"));
    }

    // Data arriving keeps a view at the end of its text, unless the user has scrolled up: then
    // the text they read stays in place, also when the front of the text is cut.
    void followsTheEndUnlessScrolledUp() {
        views::RichTextBox box;
        showView(box, {300, 120});
        QScrollBar& bar = *box.verticalScrollBar();
        for (int i = 0; i < 300; ++i)
            receive(box, QStringLiteral("line %1 ........................\r").arg(i));
        box.flushDisplay();
        QVERIFY(bar.maximum() > 0 && bar.value() == bar.maximum());

        bar.setValue(bar.maximum() / 2);
        const QString reading = box.Text().mid(box.positionAt(QPoint(5, 5)), 10);
        while (box.TextLength() < 16384)
            receive(box, QStringLiteral("filling the view up to its bound\r"));
        receive(box, QStringLiteral("cut\r"));
        box.flushDisplay();
        QVERIFY(box.TextLength() < 16384);
        QCOMPARE(box.Text().mid(box.positionAt(QPoint(5, 5)), 10), reading);

        bar.setValue(bar.maximum());
        receive(box, QStringLiteral("and the end is followed again\r"));
        box.flushDisplay();
        QCOMPARE(bar.value(), bar.maximum());
        // The hex view's one long line keeps its newest codes in sight sideways.
        box.setRightMargin(3000);
        for (int i = 0; i < 20; ++i)
            receive(box, views::hexRendering(QString(64, QChar(i))));
        box.flushDisplay();
        QVERIFY(box.viewport()->rect().contains(box.characterRect(box.TextLength()).topLeft()));
    }

    // After incremental refreshes (appends, scrolling to follow, selection changes, a cut) what
    // is on screen equals a full repaint of the view.
    void screenMatchesFullRepaint() {
        views::RichTextBox box;
        showView(box, {260, 150});
        box.setFocus();
        auto screenMatches = [&] {
            box.flushDisplay();
            QCoreApplication::processEvents();
            const QImage window = box.screen()->grabWindow(box.winId()).toImage();
            const QRect viewport(box.viewport()->mapTo(&box, QPoint()), box.viewport()->size());
            return window.copy(viewport) == box.viewport()->grab().toImage();
        };
        // A selection moved away without scrolling, then enough data to scroll and cut.
        receive(box, QStringLiteral("ab\r\ncd\r\nef"));
        box.setSelStart(1);
        box.setSelLength(5);
        QVERIFY(screenMatches());
        box.setSelStart(7);
        QVERIFY(screenMatches());
        QRandomGenerator random(9);
        for (int i = 0; i < 300; ++i) {
            receive(box, randomBlock(random));
            if (i % 5 == 0)
                QVERIFY2(screenMatches(), qPrintable(QString::number(i)));
        }
        box.selectAll(); // from far above the viewport down into it
        QVERIFY(screenMatches());
    }

    // With the focus, the view's frame shows it in the highlight colour on every side.
    void focusFrame() {
        views::RichTextBox box;
        showView(box);
        box.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&box));
        box.setFocus();
        QTRY_VERIFY(box.hasFocus());
        const QImage focused = box.grab().toImage();
        box.clearFocus();
        const QImage unfocused = box.grab().toImage();
        const QColor highlight = box.palette().color(QPalette::Active, QPalette::Highlight);
        const int w = box.width(), h = box.height();
        for (const QPoint edge :
             {QPoint(0, h / 2), QPoint(w / 2, 0), QPoint(w - 1, h / 2), QPoint(w / 2, h - 1)}) {
            QCOMPARE(focused.pixelColor(edge), highlight);
            QVERIFY(unfocused.pixelColor(edge) != highlight);
        }
    }

    // What the screen repaints: an append at the end of a view that shows the end, without
    // scrolling, repaints the last row only; the caret moving to the end of the text repaints its
    // row; a refresh with nothing new repaints nothing.
    void repaintsOnlyWhatChanged_data() {
        addColumns<QString, QString, int>("before", "block", "rowsRepainted");
        QTest::newRow("to the last row") << "one\r\ntwo\r\nthr"
                                         << "ee" << 1;
        QTest::newRow("a line break and a new row") << "one\r\ntwo"
                                                    << "\r\nthree" << 2;
        QTest::newRow("nothing") << "one\r\ntwo"
                                 << "" << 0;
    }
    void repaintsOnlyWhatChanged() {
        QFETCH(QString, before);
        QFETCH(QString, block);
        QFETCH(int, rowsRepainted);
        views::RichTextBox box;
        showView(box, {300, 200});
        receive(box, before);
        settle(box);
        PaintCounter paints(box.viewport());
        receive(box, block);
        settle(box);
        const int rowHeight = box.characterRect(0).height();
        QVERIFY2(paints.area.boundingRect().height() <= rowsRepainted * rowHeight,
                 qPrintable(QStringLiteral("%1 rows").arg(
                     double(paints.area.boundingRect().height()) / rowHeight)));
        if (rowsRepainted > 0)
            QVERIFY(paints.area.boundingRect().bottom() >=
                    box.characterRect(box.TextLength()).top());
        paints.reset();
        box.setSelStart(box.TextLength()); // where the caret already is
        settle(box);
        QCOMPARE(paints.count, 0);
    }

    // A view that streams lines: its vertical scroll bar, whose range grows with every line, is
    // repainted only when its handle moves, and then at most four times a second; the text
    // follows at every refresh.
    void scrollBarRepaints() {
        views::RichTextBox box;
        showView(box, {300, 200});
        QScrollBar& bar = *box.verticalScrollBar();
        // Read from the top of a long text: the handle stays at the top, at its shortest.
        for (int i = 0; i < 2000; ++i)
            receive(box, QStringLiteral("line %1\r").arg(i));
        settle(box);
        bar.setValue(0);
        QCoreApplication::processEvents();
        BarDraws barPaints(&bar);
        PaintCounter barEvents(&bar);
        // Neither the bar nor what lies beneath it (the scroll area's frame, and through it the
        // window) is repainted for a bar that looks the same.
        PaintCounter frameEvents(&box);
        for (int i = 0; i < 50; ++i) {
            receive(box, QStringLiteral("more\r"));
            settle(box);
        }
        QCOMPARE(barPaints.count(), 0);
        QCOMPARE(barEvents.count, 0);
        QCOMPARE(frameEvents.count, 0);
        // A repaint the window asks for (an expose) shows the bar from what it keeps.
        bar.repaint();
        QCOMPARE(barEvents.count, 1);
        QCOMPARE(barPaints.count(), 0);

        // The same with both bars shown; and a bar still comes when the text needs it.
        views::RichTextBox wide;
        wide.setRightMargin(3000);
        showView(wide, {300, 200});
        for (int i = 0; i < 2000; ++i)
            receive(wide, QStringLiteral("line %1\r").arg(i));
        settle(wide);
        QVERIFY(!wide.horizontalScrollBar()->isVisible());
        receive(wide, QString(80, QChar(u'w')) + QStringLiteral("\r"));
        settle(wide);
        QTRY_VERIFY(wide.horizontalScrollBar()->isVisible());
        wide.verticalScrollBar()->setValue(0);
        QCoreApplication::processEvents();
        PaintCounter wideEvents[] = {PaintCounter(&wide), PaintCounter(wide.verticalScrollBar()),
                                     PaintCounter(wide.horizontalScrollBar())};
        for (int i = 0; i < 20; ++i) {
            receive(wide, QStringLiteral("more\r"));
            settle(wide);
        }
        for (const PaintCounter& events : wideEvents)
            QCOMPARE(events.count, 0);

        // Following the end of a shorter text: the handle moves, but the bar is drawn again at
        // its own pace.
        views::RichTextBox shortText;
        showView(shortText, {300, 200});
        for (int i = 0; i < 20; ++i)
            receive(shortText, QStringLiteral("line %1\r").arg(i));
        settle(shortText);
        QScrollBar& shortBar = *shortText.verticalScrollBar();
        BarDraws shortBarPaints(&shortBar);
        followEnd(shortText, shortBar, shortBarPaints);
    }

    void accessibleText() {
        views::RichTextBox box;
        box.setText(QStringLiteral("ab\r\ncd"));
        box.setSelStart(1);
        box.setSelLength(3);
        QAccessibleTextInterface* text =
            QAccessible::queryAccessibleInterface(&box)->textInterface();
        int start = -1, finish = -1;
        text->selection(0, &start, &finish);
        QCOMPARE(text->text(start, finish), QStringLiteral("b\r\n"));
    }
};

QTEST_MAIN(TestRichTextBox)
#include "tst_rich_text_box.moc"
