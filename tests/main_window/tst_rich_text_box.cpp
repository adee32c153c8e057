#include "main_window/rich_text_box.h"
#include "serial_comm/receive_rules.h"

#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QClipboard>
#include <QMenu>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

namespace {

// Rows as a reader sees them: lines split at CR LF, CR or LF, each cut into pieces of `columns`.
QStringList expectedRows(const QString& text, int columns) {
    QStringList rows;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        rows << line.left(columns);
        for (int at = columns; at < line.size(); at += columns)
            rows << line.mid(at, columns);
    }
    return rows;
}

QString randomText(QRandomGenerator& random, int maxPieces) {
    static const QStringList pieces{"a",  "Z",  " ",  "\r\n", "\r\n",   "\r",
                                    "\n", "\b", "\t", "é",    "\u20ac", "\x01"};
    QString text;
    for (int i = random.bounded(maxPieces + 1); i > 0; --i)
        text += pieces[random.bounded(pieces.size())];
    return text;
}

QString randomBytes(QRandomGenerator& random, int count) {
    QString bytes;
    for (int i = 0; i < count; ++i)
        bytes += QChar(static_cast<char16_t>(random.bounded(256)));
    return bytes;
}

// A key as the window system delivers it, text included.
struct Key {
    int key;
    Qt::KeyboardModifiers modifiers;
    QString text;
};
Key typed(char c) {
    return {Qt::Key_A + (QChar(c).toUpper().unicode() - 'A'), {}, QString(c)};
}
const Key left{Qt::Key_Left, {}, {}}, right{Qt::Key_Right, {}, {}};
const Key up{Qt::Key_Up, {}, {}}, down{Qt::Key_Down, {}, {}};
const Key home{Qt::Key_Home, {}, {}}, end{Qt::Key_End, {}, {}};
const Key shiftLeft{Qt::Key_Left, Qt::ShiftModifier, {}},
    shiftRight{Qt::Key_Right, Qt::ShiftModifier, {}};
const Key enter{Qt::Key_Return, {}, "\r"}, backspace{Qt::Key_Backspace, {}, "\b"};
const Key del{Qt::Key_Delete, {}, "\x7f"};

void press(QWidget& widget, const Key& key) {
    QKeyEvent event(QEvent::KeyPress, key.key, key.modifiers, key.text);
    QApplication::sendEvent(&widget, &event);
}

// What typing does to a text box, told on the plain model: the reference for the view.
void typeOnModel(PlainTextView& model, const Key& key) {
    const QString text = model.Text();
    const int at = model.SelStart();
    if ((key.key == Qt::Key_Backspace || key.key == Qt::Key_Delete) && model.SelLength() == 0) {
        const bool back = key.key == Qt::Key_Backspace;
        if (back ? at == 0 : at == text.size())
            return;
        const int count = text.mid(back ? at - 2 : at, 2) == QLatin1String("\r\n") ? 2 : 1;
        model.setSelStart(back ? at - count : at);
        model.setSelLength(count);
    }
    model.setSelText(key.key == Qt::Key_Return                                   ? "\r\n"
                     : key.key == Qt::Key_Backspace || key.key == Qt::Key_Delete ? ""
                                                                                 : key.text);
}

// A view laid out with a wrap of `columns` characters.
void wrapAt(RichTextBox& box, int columns) {
    box.setRightMargin(2 * 4 + columns * QFontMetrics(box.font()).horizontalAdvance(u'M'));
}

void showView(RichTextBox& box, QSize size = {300, 200}) {
    box.resize(size);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
}

} // namespace

class TestRichTextBox : public QObject {
    Q_OBJECT

private slots:
    // Long random mixes of received blocks (text and hex, with cuts at the bound), backspaces,
    // carriage returns, typed keys, caret keys and mouse selections, on the view and on a plain
    // model: text, caret and selection stay the same character for character, the caret never
    // splits a CR LF pair, and the rows on screen are the model's text wrapped and broken.
    void matchesPlainModelUnderRandomUse() {
        const QList<Key> typing{typed('x'), typed('Q'), enter, backspace, backspace, del};
        const QList<Key> moving{left,
                                right,
                                up,
                                down,
                                home,
                                end,
                                shiftLeft,
                                shiftRight,
                                {Qt::Key_Up, Qt::ShiftModifier, {}},
                                {Qt::Key_End, Qt::ShiftModifier, {}},
                                {Qt::Key_PageUp, {}, {}},
                                {Qt::Key_PageDown, Qt::ShiftModifier, {}},
                                {Qt::Key_Home, Qt::ControlModifier, {}},
                                {Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier, {}},
                                {Qt::Key_Right, Qt::ControlModifier, {}}};
        RichTextBox box;
        showView(box);
        for (const int columns : {7, 33, 2000}) {
            wrapAt(box, columns);
            QCOMPARE(box.wrapColumns(), columns);
            QRandomGenerator random(columns);
            PlainTextView plain;
            box.setText({});
            for (int step = 0; step < 4000; ++step) {
                const int length = plain.TextLength();
                const int op = random.bounded(12);
                const bool replace = op == 4 && random.bounded(20) == 0;
                if (op <= 4 && !replace) { // a received block; hex renderings reach the cut
                    const QString block =
                        op <= 1 ? hexRendering(randomBytes(random, 64)) : randomText(random, 12);
                    for (TextView* view : std::initializer_list<TextView*>{&box, &plain}) {
                        QString text = block;
                        AppendToView(*view, text);
                    }
                } else if (replace) {
                    const QString text = random.bounded(3)
                                             ? plain.Text().mid(random.bounded(length + 1))
                                             : randomText(random, 30);
                    box.setText(text);
                    plain.setText(text);
                } else if (op == 5) {
                    const int at = random.bounded(-2, length + 3);
                    const int selected = random.bounded(-2, 6);
                    for (TextView* view : std::initializer_list<TextView*>{&box, &plain}) {
                        view->setSelStart(at);
                        view->setSelLength(selected);
                    }
                } else if (op == 6) {
                    const Key key = typing[random.bounded(typing.size())];
                    press(box, key);
                    typeOnModel(plain, key);
                } else if (op <= 8) {
                    if (op == 7) {
                        press(box, moving[random.bounded(moving.size())]);
                    } else {
                        const QRect area = box.viewport()->rect().adjusted(-10, -10, 10, 10);
                        auto anywhere = [&] {
                            return QPoint(random.bounded(area.left(), area.right()),
                                          random.bounded(area.top(), area.bottom()));
                        };
                        QTest::mousePress(box.viewport(), Qt::LeftButton, {}, anywhere());
                        QTest::mouseMove(box.viewport(), anywhere());
                        QTest::mouseRelease(box.viewport(), Qt::LeftButton, {}, anywhere());
                    }
                    // What the user moved stops between characters; a key leaves the selection's
                    // other end where the program may have put it.
                    const QList<int> moved =
                        op == 7 ? QList<int>{box.caretPosition()}
                                : QList<int>{box.SelStart(), box.SelStart() + box.SelLength()};
                    for (int at : moved)
                        QVERIFY2(at == 0 || at == box.TextLength() ||
                                     box.Text().mid(at - 1, 2) != QLatin1String("\r\n"),
                                 qPrintable(QStringLiteral("step %1: %2").arg(step).arg(at)));
                    plain.setSelStart(box.SelStart());
                    plain.setSelLength(box.SelLength());
                } else if (op == 9) {
                    QCoreApplication::processEvents();
                } else {
                    box.flushDisplay();
                    const QStringList rows = expectedRows(plain.Text(), columns);
                    QCOMPARE(box.displayText(), rows.join(u'\n'));
                    // The caret's cell holds the character after the caret.
                    const QString text = plain.Text();
                    const int at = plain.SelStart();
                    if (at < text.size() && text[at] != u'\r' && text[at] != u'\n') {
                        const QRect cell = box.characterRect(at);
                        const QRect origin = box.characterRect(0);
                        const int row = (cell.top() - origin.top()) / cell.height();
                        const int column = (cell.left() - origin.left()) / cell.width();
                        QCOMPARE(rows.value(row).mid(column, 1), text.mid(at, 1));
                    }
                }
                QCOMPARE(box.Text(), plain.Text());
                QCOMPARE(box.SelStart(), plain.SelStart());
                QCOMPARE(box.SelLength(), plain.SelLength());
            }
        }
    }

    // Keys on "ab\r\ncd", shown as "ab", a break and "cd"; the pair is one character. The
    // keyPress handler, like the echo switch, cancels q and turns y into b.
    void keys() {
        struct Case {
            const char* name;
            int start, selected;
            QList<Key> keys;
            QString text;
            int selStart, selLength;
            QList<int> offered;
        };
        const QString base = QStringLiteral("ab\r\ncd");
        const Key ctrlA{Qt::Key_A, Qt::ControlModifier, "\x01"};
        const QList<Key> commands{{Qt::Key_Tab, {}, "\t"},
                                  {Qt::Key_Escape, {}, "\x1b"},
                                  {Qt::Key_F1, {}, {}},
                                  {Qt::Key_C, Qt::ControlModifier, "\x03"},
                                  {Qt::Key_F, Qt::AltModifier, "f"},
                                  {Qt::Key_1, Qt::ControlModifier, "1"}};
        // clang-format off
        const QList<Case> cases{
            {"letter at the caret", 1, 0, {typed('x')}, "axb\r\ncd", 2, 0, {'x'}},
            {"handler cancels", 1, 0, {typed('q')}, base, 1, 0, {'q'}},
            {"handler changes the code", 1, 0, {typed('y')}, "abb\r\ncd", 2, 0, {'y'}},
            {"Latin-1 letter", 6, 0, {{Qt::Key_Eacute, {}, "é"}}, base + "é", 7, 0, {0xE9}},
            {"letter replaces selection", 1, 4, {typed('Z')}, "aZd", 2, 0, {'Z'}},
            {"Enter types CR LF", 6, 0, {enter}, base + "\r\n", 8, 0, {13}},
            {"keypad Enter", 0, 0, {{Qt::Key_Enter, Qt::KeypadModifier, "\r"}}, "\r\n" + base, 2, 0,
             {13}},
            {"Backspace erases the pair", 4, 0, {backspace}, "abcd", 2, 0, {8}},
            {"Backspace erases selection", 0, 2, {backspace}, "\r\ncd", 0, 0, {8}},
            {"Backspace at the start", 0, 0, {backspace}, base, 0, 0, {8}},
            {"Delete erases the pair", 2, 0, {del}, "abcd", 2, 0, {}},
            {"Delete at the end", 6, 0, {del}, base, 6, 0, {}},
            {"right over the pair", 0, 0, {right, right, right}, base, 4, 0, {}},
            {"left over the pair", 6, 0, {left, left, left}, base, 2, 0, {}},
            {"left collapses a selection to its start", 1, 4, {left}, base, 1, 0, {}},
            {"down", 1, 0, {down}, base, 5, 0, {}},
            {"up keeps the column", 6, 0, {up}, base, 2, 0, {}},
            {"up on the first row stays", 1, 0, {up}, base, 1, 0, {}},
            {"home and end", 5, 0, {home, typed('x'), end, typed('z')}, "ab\r\nxcdz", 8, 0,
             {'x', 'z'}},
            {"shift+end selects to the line end", 0, 0, {{Qt::Key_End, Qt::ShiftModifier, {}}}, base,
             0, 2, {}},
            {"ctrl+end", 0, 0, {{Qt::Key_End, Qt::ControlModifier, {}}}, base, 6, 0, {}},
            {"shift right across the pair", 1, 0, {shiftRight, shiftRight}, base, 1, 3, {}},
            {"shift left shrinks what shift right grew", 1, 0, {shiftRight, shiftRight, shiftLeft},
             base, 1, 1, {}},
            {"typing replaces shift selection", 6, 0, {shiftLeft, shiftLeft, shiftLeft, typed('x')},
             "abx", 3, 0, {'x'}},
            {"select all", 2, 0, {ctrlA}, base, 0, 6, {}},
            {"commands type nothing", 3, 0, commands, base, 3, 0, {}},
        };
        // clang-format on
        RichTextBox box;
        showView(box);
        QList<int> offered;
        connect(&box, &RichTextBox::keyPress, &box, [&](int& code) {
            offered << code;
            code = code == 'q' ? 0 : code == 'y' ? 'b' : code;
        });
        for (const Case& c : cases) {
            box.setText(base);
            box.setSelStart(c.start);
            box.setSelLength(c.selected);
            offered.clear();
            for (const Key& key : c.keys)
                press(box, key);
            const QString got =
                QString::fromLatin1(box.Text().toUtf8().toPercentEncoding()) +
                QStringLiteral(" at %1+%2").arg(box.SelStart()).arg(box.SelLength());
            QVERIFY2(box.Text() == c.text && box.SelStart() == c.selStart &&
                         box.SelLength() == c.selLength && offered == c.offered,
                     qPrintable(QLatin1String(c.name) + QLatin1String(": ") + got));
            QCOMPARE(box.displayText(), expectedRows(c.text, box.wrapColumns()).join(u'\n'));
        }
    }

    // End on a wrapped row leaves the caret at that row's end, so Down goes to the next row's
    // end rather than two rows down; Home and End act on the row, not the whole line.
    void caretKeysOnWrappedRows() {
        RichTextBox box;
        showView(box);
        wrapAt(box, 4);
        box.setText(QStringLiteral("abcdefghij"));
        box.setSelStart(1);
        press(box, end);
        QCOMPARE(box.SelStart(), 4);
        QCOMPARE(box.characterRect(3).top(), box.characterRect(0).top());
        press(box, down);
        QCOMPARE(box.SelStart(), 8);
        press(box, home);
        QCOMPARE(box.SelStart(), 4);
        press(box, {Qt::Key_End, Qt::ControlModifier, {}});
        press(box, up);
        QCOMPARE(box.SelStart(), 6);
    }

    void tabMovesFocusWithoutTyping() {
        QWidget window;
        auto* box = new RichTextBox(&window);
        auto* other = new RichTextBox(&window);
        box->move(0, 0);
        other->move(0, 250);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        box->setFocus();
        QSignalSpy offered(box, &RichTextBox::keyPress);
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), other);
        QCOMPARE(offered.count(), 0);
        QCOMPARE(box->Text(), QString());
        QCOMPARE(box->focusPolicy(), Qt::StrongFocus);
    }

    void mouse() {
        RichTextBox box;
        showView(box);
        box.setText(QStringLiteral("ab\r\ncd word_1 z"));
        box.flushDisplay();
        const QRect between = box.characterRect(5); // between c and d
        box.setText(box.Text()); // the click arrives before the screen has caught up
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {},
                          QPoint(between.left() + 1, between.center().y()));
        QCOMPARE(box.SelStart(), 5);
        QCOMPARE(box.SelLength(), 0);

        // A click past the end of a line puts the caret before its break.
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {},
                          box.characterRect(0).center() + QPoint(200, 0));
        QCOMPARE(box.SelStart(), 2);

        // Drag from the end of the text up to the a: a selection made backwards.
        QTest::mousePress(box.viewport(), Qt::LeftButton, {},
                          box.characterRect(box.TextLength()).center());
        QTest::mouseMove(box.viewport(), box.characterRect(1).topLeft() + QPoint(1, 2));
        QTest::mouseRelease(box.viewport(), Qt::LeftButton, {},
                            box.characterRect(1).topLeft() + QPoint(1, 2));
        QCOMPARE(box.SelStart(), 1);
        QCOMPARE(box.SelLength(), box.TextLength() - 1);
        QCOMPARE(box.caretPosition(), 1);

        QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, box.characterRect(4).center());
        QTest::mouseClick(box.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                          box.characterRect(1).center());
        QCOMPARE(box.Text().mid(box.SelStart(), box.SelLength()), QStringLiteral("b\r\n"));

        QTest::mouseDClick(box.viewport(), Qt::LeftButton, {}, box.characterRect(9).center());
        QCOMPARE(box.Text().mid(box.SelStart(), box.SelLength()), QStringLiteral("word_1"));
    }

    void copyKeepsLineBreaks() {
        RichTextBox box;
        showView(box);
        box.setText(QStringLiteral("one\r\ntwo"));
        box.setSelStart(1);
        box.setSelLength(5);
        QGuiApplication::clipboard()->clear();
        press(box, {Qt::Key_C, Qt::ControlModifier, "\x03"});
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("ne\r\nt"));

        QGuiApplication::clipboard()->clear();
        std::unique_ptr<QMenu> menu(box.createStandardContextMenu());
        auto* copy = menu->findChild<QAction*>(QStringLiteral("copy"));
        auto* selectAll = menu->findChild<QAction*>(QStringLiteral("selectAll"));
        QVERIFY(copy && copy->isEnabled() && selectAll);
        selectAll->trigger();
        QCOMPARE(box.SelLength(), 8);
        copy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("one\r\ntwo"));

        box.setSelStart(0);
        menu.reset(box.createStandardContextMenu());
        QVERIFY(!menu->findChild<QAction*>(QStringLiteral("copy"))->isEnabled());
    }

    void fontAndWrap() {
        RichTextBox box;
        QCOMPARE(box.font().family(), QStringLiteral("Courier New"));
        QCOMPARE(box.font().pointSizeF(), 9.75);
        const int charWidth = QFontMetrics(box.font()).horizontalAdvance(u'M');
        box.setRightMargin(437);
        QCOMPARE(box.rightMargin(), 437);
        QCOMPARE(box.wrapColumns(), (437 - 8) / charWidth);
        box.setRightMargin(3);
        QCOMPARE(box.wrapColumns(), 1);
        box.resize(8 + 20 * charWidth + 2 * box.frameWidth(), 100);
        box.setRightMargin(0); // the viewport's width
        QCOMPARE(box.rightMargin(), 0);
        QCOMPARE(box.wrapColumns(), (box.viewport()->width() - 8) / charWidth);
        // Columns are exactly one character width apart, whatever the font's own advance.
        box.setText(QString(10, u'M'));
        QCOMPARE(box.characterRect(9).left() - box.characterRect(0).left(), 9 * charWidth);
    }

    // A burst of changes is one refresh at the end; after a quiet frame a change shows at the
    // next pass of the event loop, while in a stream it waits for the frame to end.
    void refreshesOncePerFrame() {
        RichTextBox box;
        showView(box, {200, 100});
        box.flushDisplay();
        QSignalSpy refreshed(&box, &RichTextBox::displayRefreshed);
        QTest::qWait(40);
        for (int i = 0; i < 200; ++i) {
            QString block = QStringLiteral("line %1\r\n").arg(i);
            AppendToView(box, block);
        }
        QCOMPARE(refreshed.count(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(refreshed.count(), 1);
        QCOMPARE(box.displayRefreshCount(), 1);

        QElapsedTimer sinceRefresh;
        sinceRefresh.start();
        QString block = QStringLiteral("more\r");
        AppendToView(box, block);
        QCoreApplication::processEvents();
        QTRY_COMPARE(refreshed.count(), 2);
        QVERIFY(sinceRefresh.elapsed() >= 10);
        QCOMPARE(box.displayText(), expectedRows(box.Text(), box.wrapColumns()).join(u'\n'));
    }

    // Data arriving keeps a view at the end of its text, unless the user has scrolled up: then
    // the text they read stays in place, also when the front of the text is cut.
    void followsTheEndUnlessScrolledUp() {
        RichTextBox box;
        showView(box, {300, 120});
        QScrollBar& bar = *box.verticalScrollBar();
        auto receive = [&](const QString& data) {
            QString block = data;
            AppendToView(box, block);
        };
        for (int i = 0; i < 300; ++i)
            receive(QStringLiteral("line %1 ........................\r").arg(i));
        box.flushDisplay();
        QVERIFY(bar.maximum() > 0);
        QCOMPARE(bar.value(), bar.maximum());

        bar.setValue(bar.maximum() / 2);
        const int reading = box.positionAt(QPoint(5, 5));
        const QString readText = box.Text().mid(reading, 10);
        const int value = bar.value();
        receive(QStringLiteral("one more\r"));
        box.flushDisplay();
        QCOMPARE(bar.value(), value);
        while (box.TextLength() < 16384)
            receive(QStringLiteral("filling the view up to its bound\r"));
        receive(QStringLiteral("cut\r"));
        box.flushDisplay();
        QVERIFY(box.TextLength() < 16384);
        QCOMPARE(box.Text().mid(box.positionAt(QPoint(5, 5)), 10), readText);

        bar.setValue(bar.maximum());
        receive(QStringLiteral("and the end is followed again\r"));
        box.flushDisplay();
        QCOMPARE(bar.value(), bar.maximum());
    }

    // The hex view's one long line, wrapped at ten window widths: the newest codes stay in sight.
    void followsALongLineSideways() {
        RichTextBox box;
        showView(box, {300, 120});
        box.setRightMargin(3000);
        QRandomGenerator random(3);
        for (int i = 0; i < 20; ++i) {
            QString block = hexRendering(randomBytes(random, 64));
            AppendToView(box, block);
            box.flushDisplay();
            QVERIFY(box.viewport()->rect().contains(box.characterRect(box.TextLength()).topLeft()));
        }
    }

    // After incremental refreshes (appends, scrolling to follow, selection changes, a cut) what
    // is on screen equals a full repaint of the view, and an append to a following view repaints
    // only the bottom of it.
    void screenMatchesFullRepaint() {
        RichTextBox box;
        showView(box, {260, 150});
        box.setFocus();
        QRandomGenerator random(9);
        QRegion painted;
        struct Spy : QObject {
            QRegion* region;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Paint)
                    *region += static_cast<QPaintEvent*>(event)->region();
                return false;
            }
        } spy;
        spy.region = &painted;
        box.viewport()->installEventFilter(&spy);
        auto screen = [&] {
            const QImage window = box.screen()->grabWindow(box.winId()).toImage();
            return window.copy(
                QRect(box.viewport()->mapTo(&box, QPoint()), box.viewport()->size()));
        };
        for (int i = 0; i < 400; ++i) {
            QString block =
                random.bounded(4) ? randomText(random, 10) : hexRendering(randomBytes(random, 64));
            AppendToView(box, block);
            if (i % 7 == 0)
                box.setSelLength(0);
            if (i % 11 == 0) {
                box.setSelStart(random.bounded(box.TextLength() + 1));
                box.setSelLength(random.bounded(20));
            }
            if (i % 5 == 0) {
                box.flushDisplay();
                QCoreApplication::processEvents();
            }
        }
        QString block = QStringLiteral("\rtail");
        AppendToView(box, block);
        box.flushDisplay();
        QCoreApplication::processEvents();
        box.setFocus();
        QTRY_VERIFY(box.hasFocus());
        QCOMPARE(screen(), box.viewport()->grab().toImage());

        QString line = QStringLiteral("x\r");
        AppendToView(box, line);
        box.flushDisplay();
        painted = QRegion();
        QCoreApplication::processEvents();
        QVERIFY(!painted.isEmpty());
        QVERIFY2(painted.boundingRect().height() < box.viewport()->height() / 2,
                 qPrintable(QStringLiteral("%1 of %2")
                                .arg(painted.boundingRect().height())
                                .arg(box.viewport()->height())));
        QCOMPARE(screen(), box.viewport()->grab().toImage());

        // A selection reaching from far above the viewport down into it.
        box.selectAll();
        QCoreApplication::processEvents();
        QCOMPARE(screen(), box.viewport()->grab().toImage());
    }

    void accessibleText() {
        RichTextBox box;
        showView(box);
        box.setText(QStringLiteral("ab\r\ncd"));
        box.setSelStart(1);
        box.setSelLength(3);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&box);
        QVERIFY(accessible);
        QCOMPARE(accessible->role(), QAccessible::EditableText);
        QVERIFY(accessible->state().multiLine && accessible->state().focusable);
        QAccessibleTextInterface* text = accessible->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), 6);
        QCOMPARE(text->text(0, 6), box.Text());
        QCOMPARE(accessible->text(QAccessible::Value), box.Text());
        QCOMPARE(text->selectionCount(), 1);
        int start = -1, finish = -1;
        text->selection(0, &start, &finish);
        QCOMPARE(QPoint(start, finish), QPoint(1, 4));
        QCOMPARE(text->cursorPosition(), 4);
        text->setSelection(0, 5, 2);
        QCOMPARE(QPoint(box.SelStart(), box.SelLength()), QPoint(2, 3));
        text->setCursorPosition(5);
        QCOMPARE(QPoint(box.SelStart(), box.SelLength()), QPoint(5, 0));
        QCOMPARE(text->selectionCount(), 0);
        const QRect d = text->characterRect(5);
        QCOMPARE(text->offsetAtPoint(d.topLeft() + QPoint(1, d.height() / 2)), 5);
    }
};

QTEST_MAIN(TestRichTextBox)
#include "tst_rich_text_box.moc"
