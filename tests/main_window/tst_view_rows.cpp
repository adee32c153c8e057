#include "main_window/view_rows.h"

#include <QRandomGenerator>
#include <QRegularExpression>
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

QStringList rowsOf(const ViewRows& rows, const QString& text) {
    QStringList shown;
    for (int i = 0; i < rows.rowCount(); ++i) {
        const ViewRows::Row row = rows.row(i);
        shown << text.mid(row.start, row.end - row.start);
    }
    return shown;
}

} // namespace

class TestViewRows : public QObject {
    Q_OBJECT

private slots:
    void layout_data() {
        QTest::addColumn<QStringList>("pieces"); // appended one after the other
        QTest::addColumn<int>("columns");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("widest");
        QTest::newRow("empty") << QStringList{""} << 4 << QStringList{""} << 0;
        QTest::newRow("wraps") << QStringList{"abcdefghij"} << 4
                               << QStringList{"abcd", "efgh", "ij"} << 4;
        QTest::newRow("full row, no extra row")
            << QStringList{"abcdefgh"} << 4 << QStringList{"abcd", "efgh"} << 4;
        QTest::newRow("every kind of break")
            << QStringList{"a\r\nb\rc\nd"} << 4 << QStringList{"a", "b", "c", "d"} << 1;
        QTest::newRow("breaks only")
            << QStringList{"\r\n\r\n"} << 4 << QStringList{"", "", ""} << 0;
        QTest::newRow("LF joins the CR before it")
            << QStringList{"ab\r", "\ncd"} << 4 << QStringList{"ab", "cd"} << 2;
        QTest::newRow("CR then CR")
            << QStringList{"ab\r", "\r"} << 4 << QStringList{"ab", "", ""} << 2;
        QTest::newRow("long line grows by appends")
            << QStringList{"41h ", "42h ", "Dh ", "Ah "} << 6
            << QStringList{"41h 42", "h Dh A", "h "} << 6;
        QTest::newRow("one column") << QStringList{"ab\r\n"} << 1 << QStringList{"a", "b", ""} << 1;
    }
    void layout() {
        QFETCH(QStringList, pieces);
        QFETCH(int, columns);
        QFETCH(QStringList, rows);
        QFETCH(int, widest);
        ViewRows index;
        index.setColumns(columns);
        QString text;
        for (const QString& piece : pieces) {
            const int unchanged = static_cast<int>(text.size());
            text += piece;
            index.update(text, unchanged);
        }
        QCOMPARE(rowsOf(index, text), rows);
        QCOMPARE(index.widestRow(), widest);
    }

    // Where the caret shows, and where a click lands, around a wrap and at line ends.
    void cells() {
        ViewRows index;
        index.setColumns(4);
        const QString text = QStringLiteral("abcdefgh\r\nxy");
        index.update(text, 0);
        struct Case {
            int position;
            bool upstream;
            int row, column;
        };
        for (const Case& c : {Case{0, false, 0, 0}, Case{4, false, 1, 0}, Case{4, true, 0, 4},
                              Case{8, false, 1, 4}, Case{9, false, 1, 4}, Case{10, false, 2, 0},
                              Case{12, false, 2, 2}, Case{99, false, 2, 2}}) {
            const ViewRows::Cell cell = index.cellOf(c.position, c.upstream);
            QCOMPARE(QPoint(cell.column, cell.row), QPoint(c.column, c.row));
        }
        QCOMPARE(index.positionAt(0, 9).position, 4);
        QVERIFY(index.positionAt(0, 9).upstream); // past the end of a wrapped row
        QVERIFY(!index.positionAt(1, 9).upstream);
        QCOMPARE(index.positionAt(1, 9).position, 8); // before the line break
        QCOMPARE(index.positionAt(-3, -3).position, 0);
        QCOMPARE(index.positionAt(50, 1).position, 11);
    }

    // Edits anywhere, updated from the first changed character, give the same rows as a rebuild.
    void incrementalMatchesRebuild() {
        QRandomGenerator random(5);
        static const QStringList pieces{"a", "bc", "\r", "\n", "\r\n", "defgh"};
        for (int columns : {1, 3, 8}) {
            ViewRows index;
            index.setColumns(columns);
            QString text;
            for (int step = 0; step < 2000; ++step) {
                const int at = random.bounded(static_cast<int>(text.size()) + 1);
                const int removed = random.bounded(std::min<int>(4, text.size() - at) + 1);
                QString inserted;
                for (int i = random.bounded(4); i > 0; --i)
                    inserted += pieces[random.bounded(pieces.size())];
                // Mostly appends at the end, as received data does.
                if (random.bounded(3) > 0)
                    text += inserted,
                        index.update(text, static_cast<int>(text.size() - inserted.size()));
                else
                    text.replace(at, removed, inserted), index.update(text, at);
                if (step % 20 == 0 && text.size() > 60)
                    text = text.mid(30), index.update(text, 0);
                QCOMPARE(rowsOf(index, text), expectedRows(text, columns));
            }
            index.setColumns(columns + 1);
            QCOMPARE(rowsOf(index, text), expectedRows(text, columns + 1));
        }
    }
};

QTEST_MAIN(TestViewRows)
#include "tst_view_rows.moc"
