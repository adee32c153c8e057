#include "data_columns.h"
#include "views/text_view.h"
#include "views/view_rules.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

using namespace views;

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr QChar BS(8);

// The append rule taken literally on plain text, one backspace at a time: what the view holds
// afterwards. The real one must agree with it.
QString referenceAppend(QString view, QString& text) {
    while (view.size() >= 16384)
        view.remove(0, 4096);
    bool eraseViewsLast = false;
    for (qsizetype i = text.indexOf(BS); i >= 0; i = text.indexOf(BS)) {
        eraseViewsLast = eraseViewsLast || i == 0;
        text.remove(std::max<qsizetype>(i - 1, 0), i == 0 ? 1 : 2);
    }
    text.remove(u'\n');
    text.replace(u'\r', QStringLiteral("\r\n"));
    if (eraseViewsLast)
        view.chop(1);
    return view + text;
}

// Text whose every 4096-character window differs from its neighbours, so a cut at the wrong
// place shows.
QString pattern(int length) {
    QString text(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        text[i] = QChar(u'!' + i % 91);
    return text;
}

} // namespace

class TestViewRules : public QObject {
    Q_OBJECT

private slots:
    void hexRenderingOfBlocks() {
        QCOMPARE(views::hexRendering(u"\0\x0F\x10\r\xFF\u0100"_s), u"0h Fh 10h Dh FFh 100h "_s);
    }

    void append_data() {
        addColumns<QString, QStringList, QString>("view", "blocks", "expected");
        const auto row = [](const char* name, const QString& view, const QStringList& blocks,
                            const QString& expected) {
            QTest::newRow(name) << view << blocks << expected;
        };
        row("CR LF is one line break", "", {"AB\r\n"}, "AB\r\n");
        row("LF alone is dropped", "", {"AB\n", "CD"}, "ABCD");
        row("CR alone is a line break", "", {"A\rB"}, "A\r\nB");
        row("CR LF split over blocks", "", {"A\r", "\nB"}, "A\r\nB");
        row("backspace pairs", "P", {"ab\b\bc"}, "Pc");
        row("leading BS erases view's last", "PQ", {"\bZ"}, "PZ");
        row("two leading BS erase one", "PQ", {"\b\bZ"}, "PZ");
        row("more BS than text", "PQ", {"ab\b\b\b\bZ"}, "PZ");
        row("one erase per block", "PQR", {"\b", "\b"}, "P");
        row("leading BS on empty view", "", {"\bZ"}, "Z");
        row("BS erases a CR", "", {"A\r\bB"}, "AB");
        row("BS leaves CR of CR LF", "", {"A\r\n\bB"}, "A\r\nB");
        row("leading BS on view ending in line break", "A\r\n", {"\bB"}, "A\rB");
        const QString at16383 = pattern(16383), at16384 = pattern(16384);
        row("16383 not cut", at16383, {"X"}, at16383 + u'X');
        row("leading BS after cut", at16384, {"\bX"}, at16384.mid(4096).chopped(1) + u'X');
        row("100000 needs 21 cuts", pattern(100000), {""}, pattern(100000).mid(21 * 4096));
        row("huge block kept whole", at16384, {pattern(100000)},
            at16384.mid(4096) + pattern(100000));
        // Taking a million pairs out one by one would move about 10^12 characters.
        row("a million pairs", "PQ", {QString(1'000'000, u'x') + QString(1'000'001, BS) + u'y'},
            "Py");
    }
    void append() {
        QFETCH(QString, view);
        QFETCH(QStringList, blocks);
        QFETCH(QString, expected);
        views::PlainTextView target;
        target.setText(view);
        QElapsedTimer timer;
        timer.start();
        for (QString block : blocks)
            views::AppendToView(target, block);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(target.Text(), expected);
        QCOMPARE(target.SelStart(), target.TextLength());
    }

    void appendAgreesWithReference() {
        QRandomGenerator random(20240611);
        const auto randomText = [&](QStringView alphabet, int maxLength) {
            QString text;
            for (int n = random.bounded(maxLength + 1); n > 0; --n)
                text += alphabet[random.bounded(int(alphabet.size()))];
            return text;
        };
        for (int round = 0; round < 20'000; ++round) {
            QString start = randomText(u"ab\r\n", 6);
            if (round % 10 == 0)
                start.prepend(pattern(16380 + random.bounded(8)));
            QString block = randomText(u"ab\b\b\b\r\n", 12), referenceBlock = block;
            views::PlainTextView actual;
            actual.setText(start);
            views::AppendToView(actual, block);
            const QString expected = referenceAppend(start, referenceBlock);
            // The caller's text is filtered in place, too.
            QVERIFY2(actual.Text() == expected && actual.SelStart() == expected.size() &&
                         block == referenceBlock,
                     qPrintable(views::hexRendering(start.right(6) + u'|' + block)));
        }
    }
};

QTEST_MAIN(TestViewRules)
#include "tst_view_rules.moc"
