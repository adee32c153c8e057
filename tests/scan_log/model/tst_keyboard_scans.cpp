#include "data_columns.h"
#include "scan_log/model/keyboard_scans.h"

#include <QTest>

#include <numeric>

using namespace scan_log;
using Ms = std::chrono::milliseconds;

class TestKeyboardScans : public QObject {
    Q_OBJECT

private slots:
    // Keys as "text@ms" apart by blanks ("\r" written as <CR>, "\t" as <TAB>), then a last look
    // at the clock; scans as "bytes|terminator|median", '/' between them.
    void scans_data() {
        addColumns<QString, int, QString>("keys", "lookAt", "scans");
        QTest::newRow("scanner pace, Enter")
            << "4@0 0@8 0@16 6@24 <CR>@32" << 40 << "4006<CR>|CR|8";
        QTest::newRow("hand pace") << "1@0 2@180 3@400 <CR>@600" << 700 << "123<CR>|CR|200";
        QTest::newRow("Tab ends it") << "A@0 B@5 <TAB>@10" << 20 << "AB<TAB>|TAB|5";
        QTest::newRow("silence ends it") << "A@0 B@5" << 55 << "AB||5";
        QTest::newRow("not yet silent") << "A@0 B@5" << 54 << "";
        QTest::newRow("a key after the silence starts anew")
            << "A@0 B@5 C@100 <CR>@104" << 110 << "AB||5/C<CR>|CR|4";
        QTest::newRow("one key alone has no gap") << "X@0" << 2000 << "X||";
        QTest::newRow("one key waits as for a hand") << "X@0" << 1999 << "";
        QTest::newRow("hand pace waits for Enter") << "1@0 2@200 3@400" << 2399 << "";
        QTest::newRow("Enter alone") << "<CR>@0" << 10 << "<CR>|CR|";
        QTest::newRow("letters of other scripts") << "é@0 ß@6 <CR>@12" << 20 << "éß<CR>|CR|6";
        // The median of the gaps decides the silence: two fast gaps and one slow, a scanner's.
        QTest::newRow("mostly a scanner's pace") << "A@0 B@100 C@105 D@110" << 160 << "ABCD||5";
        // One fast and one slow: the upper median is the slow one, a hand's.
        QTest::newRow("half at a hand's pace") << "A@0 B@100 C@105" << 160 << "";
        QTest::newRow("half at a hand's pace, then the long silence")
            << "A@0 B@100 C@105" << 2105 << "ABC||100";
    }
    void scans() {
        QFETCH(QString, keys);
        QFETCH(int, lookAt);
        QFETCH(QString, scans);
        KeyboardScans typed;
        QStringList got;
        const auto sink = [&got](const TypedScan& scan) {
            QString bytes = QString::fromStdString(scan.bytes);
            bytes.replace(u'\r', u"<CR>"_qs).replace(u'\t', u"<TAB>"_qs);
            got << bytes + u'|' + QString::fromLatin1(terminatorName(scan.terminator).data()) +
                       u'|' +
                       (scan.medianKeyGap ? QString::number(scan.medianKeyGap->count())
                                          : QString());
        };
        for (const QString& key : keys.split(u' ')) {
            const qsizetype at = key.lastIndexOf(u'@');
            QString text = key.left(at);
            text.replace(u"<CR>"_qs, u"\r"_qs).replace(u"<TAB>"_qs, u"\t"_qs);
            typed.key(text.toStdString(), Ms(key.mid(at + 1).toInt()), sink);
        }
        typed.tick(Ms(lookAt), sink);
        QCOMPARE(got.join(u'/'), scans);
    }

    // Typed without an end, keys are cut where the same bytes from a serial scanner would be:
    // the two sources of the log agree on what one scan is. The largest QR code (7089 digits)
    // still comes whole.
    void aScanEndsWhereASerialOneWould() {
        const std::string stream(200'000, 'x');
        std::vector<std::size_t> serialCuts;
        ScanSplitter serial;
        serial.feed(stream, Ms(0), [&](const ScanView& scan) {
            QVERIFY(scan.cut);
            serialCuts.push_back(scan.bytes.size());
        });
        QVERIFY(serialCuts.size() >= 2);

        KeyboardScans typed;
        std::vector<TypedScan> got;
        const auto sink = [&got](const TypedScan& scan) { got.push_back(scan); };
        for (std::size_t i = 0; i < stream.size(); ++i)
            typed.key("x", Ms(qint64(i)), sink);
        QCOMPARE(got.size(), serialCuts.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            QCOMPARE(got[i].bytes.size(), serialCuts[i]);
            QVERIFY(got[i].cut);
            QCOMPARE(got[i].medianKeyGap, std::optional(Ms(1)));
        }
        // The rest ends with the silence, whole and not cut.
        typed.tick(Ms(qint64(stream.size()) + 100), sink);
        QCOMPARE(got.back().bytes.size(),
                 stream.size() -
                     std::accumulate(serialCuts.begin(), serialCuts.end(), std::size_t(0)));
        QVERIFY(!got.back().cut);

        KeyboardScans qr;
        std::vector<TypedScan> whole;
        for (int i = 0; i < 7089; ++i)
            qr.key(std::string(1, char('0' + i % 10)), Ms(i),
                   [&](const TypedScan& scan) { whole.push_back(scan); });
        qr.key("\r", Ms(7089), [&](const TypedScan& scan) { whole.push_back(scan); });
        QCOMPARE(whole.size(), std::size_t(1));
        QCOMPARE(whole[0].bytes.size(), std::size_t(7090));
        QVERIFY(!whole[0].cut);
    }
};

QTEST_APPLESS_MAIN(TestKeyboardScans)
#include "tst_keyboard_scans.moc"
