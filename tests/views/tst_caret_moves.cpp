// Caret keys and double clicks worked out on text and rows alone, without a widget.
#include "data_columns.h"
#include "views/caret_moves.h"

#include <QTest>

using namespace views;

Q_DECLARE_METATYPE(views::CaretMove)
Q_DECLARE_METATYPE(CaretState)

// Printed by QCOMPARE when a case fails.
char* toString(const CaretState& state) {
    return qstrdup(QStringLiteral("anchor %1, caret %2%3, column %4")
                       .arg(state.anchor)
                       .arg(state.caret)
                       .arg(state.upstream ? QStringLiteral(" upstream") : QString())
                       .arg(state.preferredColumn)
                       .toUtf8()
                       .constData());
}

namespace {

// Three texts: a line break, one wrapped line (at 4 columns: "abcd", "efgh", then "xy"), words.
const QString pair = QStringLiteral("ab\r\ncd");
const QString wrapped = QStringLiteral("abcdefgh\r\nxy");
const QString words = QStringLiteral("foo_1, bar  baz");
const QString smiley = QStringLiteral("a\U0001F600b");

CaretState at(int caret, bool upstream = false, int column = -1) {
    return {caret, caret, upstream, column};
}
CaretState selection(int anchor, int caret, bool upstream = false, int column = -1) {
    return {anchor, caret, upstream, column};
}

} // namespace

class TestCaretMoves : public QObject {
    Q_OBJECT

private slots:
    void moves_data() {
        addColumns<QString, CaretState, views::CaretMove, bool, int, CaretState, int>(
            "text", "from", "move", "extend", "pageRows", "to", "scrollRows");
        using M = views::CaretMove;
        auto row = [](const char* name, const QString& text, CaretState from, views::CaretMove move,
                      CaretState to, bool extend = false, int pageRows = 3, int scrollRows = 0) {
            QTest::newRow(name) << text << from << move << extend << pageRows << to << scrollRows;
        };
        // Characters: a CR LF pair and a surrogate pair are one step.
        row("right over CR LF", pair, at(2), M::NextChar, at(4));
        row("left over CR LF", pair, at(4), M::PreviousChar, at(2));
        row("right at the end stays", pair, at(6), M::NextChar, at(6));
        row("left at the start stays", pair, at(0), M::PreviousChar, at(0));
        row("right over a surrogate pair", smiley, at(1), M::NextChar, at(3));
        row("left over a surrogate pair", smiley, at(3), M::PreviousChar, at(1));
        row("right collapses to the selection's end", pair, selection(5, 1), M::NextChar, at(5));
        row("left collapses to the selection's start", pair, selection(1, 5), M::PreviousChar,
            at(1));
        row("shift right extends over CR LF", pair, selection(1, 2), M::NextChar, selection(1, 4),
            true);
        row("shift left shrinks from the caret end", pair, selection(1, 4), M::PreviousChar,
            selection(1, 2), true);
        // Words: letters, digits and '_'.
        row("ctrl right from a word's start", words, at(0), M::NextWord, at(7));
        row("ctrl right from inside a word", words, at(2), M::NextWord, at(7));
        row("ctrl right over two blanks", words, at(7), M::NextWord, at(12));
        row("ctrl right from the last word", words, at(13), M::NextWord, at(15));
        row("ctrl left from inside a word", words, at(9), M::PreviousWord, at(7));
        row("ctrl left from a word's start", words, at(7), M::PreviousWord, at(0));
        row("ctrl shift left extends", words, at(12), M::PreviousWord, selection(12, 7), true);
        // Rows as laid out at 4 columns; up and down keep the column they started from.
        row("down keeps the column", wrapped, at(1), M::NextRow, at(5, false, 1));
        row("down into a shorter row", wrapped, at(7, false, 3), M::NextRow, at(12, false, 3));
        row("up to the kept column", wrapped, at(12, false, 3), M::PreviousRow, at(7, false, 3));
        row("up on the first row stays", wrapped, at(4, true), M::PreviousRow, at(4, true, 4));
        row("down on the last row stays", wrapped, at(11), M::NextRow, at(11, false, 1));
        row("down from the end of a wrapped row", wrapped, at(4, true), M::NextRow,
            at(8, false, 4));
        row("shift down extends", wrapped, at(1), M::NextRow, selection(1, 5, false, 1), true);
        // Home and End work on the row the caret is shown on.
        row("end of a wrapped row shows upstream", wrapped, at(1), M::EndOfRow, at(4, true));
        row("end of a line stops before its break", wrapped, at(5), M::EndOfRow, at(8));
        row("home from a caret shown upstream", wrapped, at(4, true), M::StartOfRow, at(0));
        row("home from the same position below", wrapped, at(4), M::StartOfRow, at(4));
        row("shift end extends", wrapped, at(5), M::EndOfRow, selection(5, 8), true);
        row("ctrl end", wrapped, at(1), M::EndOfText, at(12));
        row("ctrl shift home", wrapped, selection(5, 6), M::StartOfText, selection(5, 0), true);
        // A page moves its rows and scrolls by as many; a page of one row is a plain step.
        row("page down clamps to the last row", wrapped, at(1), M::NextPage, at(11, false, 1),
            false, 3, 3);
        row("page up clamps to the first row", wrapped, at(11), M::PreviousPage, at(1, false, 1),
            false, 5, -5);
        row("page of no rows moves one", wrapped, at(1), M::NextPage, at(5, false, 1), false, 0, 0);
    }
    void moves() {
        QFETCH(QString, text);
        QFETCH(CaretState, from);
        QFETCH(views::CaretMove, move);
        QFETCH(bool, extend);
        QFETCH(int, pageRows);
        QFETCH(CaretState, to);
        QFETCH(int, scrollRows);
        views::ViewRows rows;
        rows.setColumns(4);
        rows.update(text, 0);
        const CaretStep step = moveCaret(text, rows, from, move, extend, pageRows);
        QCOMPARE(step.state, to);
        QCOMPARE(step.scrollRows, scrollRows);
    }

    // What a double click selects.
    void wordAt_data() {
        addColumns<QString, int, int, int>("text", "position", "from", "to");
        const QString text = QStringLiteral("ab\r\ncd word_1  z");
        QTest::newRow("inside a word") << text << 9 << 7 << 13;
        QTest::newRow("at a word's start") << text << 7 << 7 << 13;
        QTest::newRow("right after a word") << text << 6 << 4 << 6;
        QTest::newRow("before a line break") << text << 2 << 0 << 2;
        QTest::newRow("between blanks: one character") << text << 14 << 14 << 15;
        QTest::newRow("a line break is one character") << QStringLiteral("a \r\nb") << 2 << 2 << 4;
        QTest::newRow("at the end of the text") << QStringLiteral("a ") << 2 << 2 << 2;
    }
    void wordAt() {
        QFETCH(QString, text);
        QFETCH(int, position);
        QFETCH(int, from);
        QFETCH(int, to);
        const TextSpan span = ::wordAt(text, position);
        QCOMPARE(QPoint(span.from, span.to), QPoint(from, to));
    }

    // A position inside a pair goes back to the pair's start.
    void snapToCharacter() {
        QCOMPARE(::snapToCharacter(pair, 3), 2);
        QCOMPARE(::snapToCharacter(smiley, 2), 1);
        QCOMPARE(::snapToCharacter(pair, 4), 4);
    }
};

QTEST_MAIN(TestCaretMoves)
#include "tst_caret_moves.moc"
