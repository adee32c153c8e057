#include "main_window/rich_text_box.h"

#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

namespace {

// What the screen must show for a model text: every CR LF, lone CR and lone LF is one break.
QString shown(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
}

QString randomText(QRandomGenerator& random, int maxPieces) {
    static const QStringList pieces{"a", "Z", " ", "\r\n", "\r\n", "\r", "\n", "\b", "\t", "é"};
    QString text;
    for (int i = random.bounded(maxPieces + 1); i > 0; --i)
        text += pieces[random.bounded(pieces.size())];
    return text;
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
const Key shiftLeft{Qt::Key_Left, Qt::ShiftModifier, {}},
    shiftRight{Qt::Key_Right, Qt::ShiftModifier, {}};
const Key enter{Qt::Key_Return, {}, "\r"}, backspace{Qt::Key_Backspace, {}, "\b"};
const Key del{Qt::Key_Delete, {}, "\x7f"};

} // namespace

class TestRichTextBox : public QObject {
    Q_OBJECT

private slots:
    // The same random calls on the widget and on a plain model leave the same text, caret and
    // selection; after each refresh the screen shows that text and selection, and a selection
    // made on screen maps back onto whole characters of the model.
    void behavesLikePlainModel() {
        RichTextBox box;
        box.resize(300, 200);
        box.show();
        for (quint32 seed : {1u, 2u, 3u, 4u}) {
            QRandomGenerator random(seed);
            PlainTextView plain;
            box.setText({});
            for (int step = 0; step < 3000; ++step) {
                const int length = plain.TextLength();
                const int op = random.bounded(9);
                if (op == 0) { // includes the cut of a full view
                    const QString text = random.bounded(4)
                                             ? randomText(random, 30)
                                             : plain.Text().mid(random.bounded(length + 1));
                    box.setText(text);
                    plain.setText(text);
                } else if (op <= 2) {
                    const int at = random.bounded(-2, length + 3),
                              selected = random.bounded(-2, length + 3);
                    for (TextView* view : std::initializer_list<TextView*>{&box, &plain}) {
                        view->setSelStart(at);
                        if (op == 2)
                            view->setSelLength(selected);
                    }
                } else if (op <= 5) { // op 3: at the caret; 4, 5: a received block at the end
                    const QString text = randomText(random, 8);
                    const bool replaceLast = op == 5 && length > 0;
                    for (TextView* view : std::initializer_list<TextView*>{&box, &plain}) {
                        if (op != 3) {
                            view->setSelStart(replaceLast ? length - 1 : length);
                            view->setSelLength(1);
                        }
                        view->setSelText(text);
                    }
                } else if (op == 6) {
                    QCoreApplication::processEvents();
                } else if (op == 7) {
                    box.flushDisplay();
                    QTextCursor cursor = box.textCursor();
                    const int end = box.document()->characterCount() - 1;
                    cursor.setPosition(random.bounded(end + 1));
                    cursor.setPosition(random.bounded(end + 1), QTextCursor::KeepAnchor);
                    box.setTextCursor(cursor);
                    for (int at : {box.SelStart(), box.SelStart() + box.SelLength()})
                        QVERIFY(at == 0 || at == box.TextLength() ||
                                box.Text().mid(at - 1, 2) != "\r\n");
                    plain.setSelStart(box.SelStart());
                    plain.setSelLength(box.SelLength());
                }
                QCOMPARE(box.Text(), plain.Text());
                QCOMPARE(box.SelStart(), plain.SelStart());
                QCOMPARE(box.SelLength(), plain.SelLength());
                if (op == 8 || op == 7) {
                    box.flushDisplay();
                    QCOMPARE(box.toPlainText(), shown(plain.Text()));
                    const QString text = plain.Text();
                    QCOMPARE(box.textCursor().selectionStart(),
                             shown(text.left(plain.SelStart())).size());
                    QCOMPARE(box.textCursor().selectionEnd(),
                             shown(text.left(plain.SelStart() + plain.SelLength())).size());
                }
            }
        }
    }

    // Keys on "ab\r\ncd", whose screen shows "ab", a break and "cd"; the pair is one character.
    // The keyPress handler, like the echo switch, cancels q and turns y into b.
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
            {"down", 1, 0, {{Qt::Key_Down, {}, {}}}, base, 5, 0, {}},
            {"shift right across the pair", 1, 0, {shiftRight, shiftRight}, base, 1, 3, {}},
            {"typing replaces shift selection", 6, 0, {shiftLeft, shiftLeft, shiftLeft, typed('x')},
             "abx", 3, 0, {'x'}},
            {"select all", 2, 0, {ctrlA}, base, 0, 6, {}},
            {"commands type nothing", 3, 0, commands, base, 3, 0, {}},
        };
        // clang-format on
        RichTextBox box;
        box.resize(300, 200);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
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
            for (const Key& key : c.keys) {
                QKeyEvent press(QEvent::KeyPress, key.key, key.modifiers, key.text);
                QApplication::sendEvent(&box, &press);
            }
            const QString got =
                QString::fromLatin1(box.Text().toUtf8().toPercentEncoding()) +
                QStringLiteral(" at %1+%2").arg(box.SelStart()).arg(box.SelLength());
            QVERIFY2(box.Text() == c.text && box.SelStart() == c.selStart &&
                         box.SelLength() == c.selLength && offered == c.offered,
                     qPrintable(QLatin1String(c.name) + QLatin1String(": ") + got));
            box.flushDisplay();
            QCOMPARE(box.toPlainText(), shown(c.text));
        }
    }

    void mouseClickLandsOnModelCaret() {
        RichTextBox box;
        box.resize(300, 200);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.setText(QStringLiteral("ab\r\ncd"));
        box.flushDisplay();
        QTextCursor between = box.textCursor();
        between.setPosition(4); // between c and d on screen
        const QRect rect = box.cursorRect(between);
        box.setText(box.Text()); // the click arrives before the screen has caught up
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {},
                          QPoint(rect.left() + 1, rect.center().y()));
        QCOMPARE(box.SelStart(), 5);
    }

    void fontAndWrap() {
        RichTextBox box;
        QCOMPARE(box.font().family(), QStringLiteral("Courier New"));
        QCOMPARE(box.font().pointSizeF(), 9.75);
        box.setRightMargin(437);
        QCOMPARE(box.lineWrapMode(), QTextEdit::FixedPixelWidth);
        QCOMPARE(box.rightMargin(), 437);
    }

    // A burst of received blocks is one document update, inserted at the end rather than
    // rebuilding the document, and the view follows the end.
    void receivedBlocksRefreshOnceAtTheEnd() {
        RichTextBox box;
        box.resize(200, 100);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        box.setText(QStringLiteral("start\r"));
        box.flushDisplay();
        QSignalSpy refreshed(&box, &RichTextBox::displayRefreshed);
        QList<int> changedAt;
        connect(box.document(), &QTextDocument::contentsChange, &box,
                [&](int at, int, int) { changedAt << at; });
        for (int i = 0; i < 200; ++i) {
            box.setSelStart(box.TextLength());
            box.setSelText(QStringLiteral("\nline %1\r").arg(i)); // joins the CR shown alone before
        }
        QCOMPARE(refreshed.count(), 0);
        QTRY_COMPARE(refreshed.count(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(refreshed.count(), 1);
        QCOMPARE(box.toPlainText(), shown(box.Text()));
        QCOMPARE(changedAt, QList<int>{5}); // only the lone CR is shown again
        QCOMPARE(box.verticalScrollBar()->value(), box.verticalScrollBar()->maximum());
        QVERIFY(box.verticalScrollBar()->maximum() > 0);
    }
};

QTEST_MAIN(TestRichTextBox)
#include "tst_rich_text_box.moc"
