// Row layout on its own; the data view's randomised test checks the incremental index against a
// plain wrap of its text.
#include "data_columns.h"
#include "views/view_rows.h"

#include <QTest>

using namespace views;

class TestViewRows : public QObject {
    Q_OBJECT

private slots:
    // Pieces appended one after the other, '|' between them; rows shown, '|' between them.
    void layout_data() {
        addColumns<QString, int, QString, int>("pieces", "columns", "rows", "widest");
        QTest::newRow("empty") << "" << 4 << "" << 0;
        QTest::newRow("wraps, a full row adds none")
            << "abcdefgh\nabcdefghij" << 4 << "abcd|efgh|abcd|efgh|ij" << 4;
        QTest::newRow("every kind of break") << "a\r\nb\rc\nd" << 4 << "a|b|c|d" << 1;
        QTest::newRow("breaks only") << "\r\n\r\n" << 4 << "||" << 0;
        QTest::newRow("LF joins the CR before it") << "ab\r|\ncd" << 4 << "ab|cd" << 2;
        QTest::newRow("CR then CR") << "ab\r|\r" << 4 << "ab||" << 2;
        QTest::newRow("long line grows by appends")
            << "41h |42h |Dh |Ah " << 6 << "41h 42|h Dh A|h " << 6;
        QTest::newRow("at least one column") << "ab" << 0 << "a|b" << 1;
    }
    void layout() {
        QFETCH(QString, pieces);
        QFETCH(int, columns);
        QFETCH(QString, rows);
        QFETCH(int, widest);
        views::ViewRows index;
        index.setColumns(columns);
        QString text;
        for (const QString& piece : pieces.split('|')) {
            const int unchanged = static_cast<int>(text.size());
            text += piece;
            index.update(text, unchanged);
        }
        QStringList shown;
        for (int i = 0; i < index.rowCount(); ++i)
            shown << text.mid(index.row(i).start, index.row(i).end - index.row(i).start);
        QCOMPARE(shown.join('|'), rows);
        QCOMPARE(index.widestRow(), widest);
    }

    // Where the caret shows, and where a click lands, around a wrap and at line ends.
    void cells() {
        views::ViewRows index;
        index.setColumns(4);
        index.update(QStringLiteral("abcdefgh\r\nxy"), 0);
        // position, upstream, row, column
        const int cases[][4] = {{0, 0, 0, 0}, {4, 0, 1, 0},  {4, 1, 0, 4}, {8, 0, 1, 4},
                                {9, 0, 1, 4}, {10, 0, 2, 0}, {99, 0, 2, 2}};
        for (const auto& c : cases) {
            const views::ViewRows::Cell cell = index.cellOf(c[0], c[1] != 0);
            QCOMPARE(QPoint(cell.column, cell.row), QPoint(c[3], c[2]));
        }
        const views::ViewRows::Pick pastWrap = index.positionAt(0, 9),
                                    pastLine = index.positionAt(1, 9);
        QVERIFY(pastWrap.position == 4 && pastWrap.upstream);  // past the end of a wrapped row
        QVERIFY(pastLine.position == 8 && !pastLine.upstream); // before the line break
        // Rows and columns out of range are clamped.
        QVERIFY(index.positionAt(-3, -3).position == 0 && index.positionAt(50, 1).position == 11);
    }
};

QTEST_MAIN(TestViewRows)
#include "tst_view_rows.moc"
