#include "collected_scans.h"
#include "data_columns.h"
#include "scan_log/model/scan_splitter.h"
#include "scan_log/model/visible_bytes.h"

#include <QTest>

using namespace scan_log;
using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;
using Ms = std::chrono::milliseconds;

namespace {

// A scan as "visible bytes|terminator", with "|cut" for a cut one.
QString describe(const Scan& scan) {
    QString text = QString::fromStdString(visibleForm(scan.bytes)) + u'|' +
                   QString::fromStdString(std::string(terminatorName(scan.terminator)));
    if (scan.cut)
        text += u"|cut";
    return text;
}

void append(QStringList& out, const std::vector<Scan>& scans) {
    for (const Scan& scan : scans)
        out << describe(scan);
}

// Everything `splitter` makes of `chunks` fed at 1 ms apart, and of a silence after them.
QStringList split(ScanSplitter& splitter, const QList<QByteArray>& chunks) {
    QStringList out;
    Ms now = 0ms;
    for (const QByteArray& chunk : chunks) {
        append(out, feed(splitter, std::string_view(chunk.constData(), chunk.size()), now));
        now += 1ms;
    }
    append(out, tick(splitter, now + 10s));
    return out;
}

QStringList split(const QList<QByteArray>& chunks) {
    ScanSplitter splitter;
    return split(splitter, chunks);
}

// Scans of several kinds in a row, each with a different ending.
const QByteArray Stream = QByteArrayLiteral("]C10109521234543213\x1D"
                                            "2112345\r\n"
                                            "4006381333931\r"
                                            "ABC\t"
                                            "\r\n"
                                            "X\n"
                                            "\r\r"
                                            "tail");
const QStringList StreamScans = {
    u"]C10109521234543213<GS>2112345<CR><LF>|CR LF"_s,
    u"4006381333931<CR>|CR"_s,
    u"ABC<HT>|TAB"_s,
    u"<CR><LF>|CR LF"_s,
    u"X<LF>|LF"_s,
    u"<CR>|CR"_s,
    u"<CR>|CR"_s,
    u"tail|"_s,
};

} // namespace

class TestScanSplitter : public QObject {
    Q_OBJECT

private slots:
    void terminators_data() {
        addColumns<QByteArray, QStringList>("bytes", "scans");
        QTest::newRow("CR") << QByteArray("A\r") << QStringList{u"A<CR>|CR"_s};
        QTest::newRow("LF") << QByteArray("A\n") << QStringList{u"A<LF>|LF"_s};
        QTest::newRow("CR LF") << QByteArray("A\r\n") << QStringList{u"A<CR><LF>|CR LF"_s};
        QTest::newRow("TAB") << QByteArray("A\t") << QStringList{u"A<HT>|TAB"_s};
        QTest::newRow("LF CR is two endings")
            << QByteArray("A\n\r") << QStringList{u"A<LF>|LF"_s, u"<CR>|CR"_s};
        QTest::newRow("CR then data")
            << QByteArray("A\rB\r") << QStringList{u"A<CR>|CR"_s, u"B<CR>|CR"_s};
        QTest::newRow("CR LF LF") << QByteArray("A\r\n\n")
                                  << QStringList{u"A<CR><LF>|CR LF"_s, u"<LF>|LF"_s};
        QTest::newRow("none, ended by silence") << QByteArray("ABC") << QStringList{u"ABC|"_s};
        QTest::newRow("other controls stay data") << QByteArray("\x02"
                                                                "A\x03\x04")
                                                  << QStringList{u"<STX>A<ETX><EOT>|"_s};
        QTest::newRow("nothing") << QByteArray() << QStringList{};
    }
    void terminators() {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, scans);
        QCOMPARE(split({bytes}), scans);
    }

    void everySplitOfAStream() {
        QCOMPARE(split({Stream}), StreamScans);
        for (qsizetype i = 0; i <= Stream.size(); ++i)
            for (qsizetype j = i; j <= Stream.size(); ++j) {
                const QStringList scans =
                    split({Stream.left(i), Stream.mid(i, j - i), Stream.mid(j)});
                if (scans != StreamScans)
                    QFAIL(qPrintable(QStringLiteral("split at %1 and %2: %3")
                                         .arg(i)
                                         .arg(j)
                                         .arg(scans.join(u" / "))));
            }
        QList<QByteArray> bytes;
        for (const char c : Stream)
            bytes << QByteArray(1, c);
        QCOMPARE(split(bytes), StreamScans);
    }

    void lfJoinsItsCrWithinTheSilence() {
        ScanSplitter splitter;
        QVERIFY(feed(splitter, "A\r", 100ms).empty());
        QVERIFY(tick(splitter, 149ms).empty());
        const auto scans = feed(splitter, "\nB", 149ms);
        QCOMPARE(scans.size(), 1u);
        QCOMPARE(scans[0].terminator, Terminator::CRLF);
        QCOMPARE(scans[0].bytes, std::string("A\r\n"));
        QCOMPARE(scans[0].firstArrival, 100ms);
        QCOMPARE(scans[0].lastArrival, 149ms);
    }

    void lfAfterTheSilenceIsAScanOfItsOwn() {
        // Seen by a tick, or only by the time of the next bytes: the same scans.
        for (const bool ticked : {true, false}) {
            ScanSplitter splitter;
            QStringList out;
            append(out, feed(splitter, "A\r", 0ms));
            if (ticked)
                append(out, tick(splitter, 50ms));
            append(out, feed(splitter, "\n", 50ms));
            QCOMPARE(out, (QStringList{u"A<CR>|CR"_s, u"<LF>|LF"_s}));
        }
    }

    void silence_data() {
        addColumns<int, int, int>("silence", "gap", "scans");
        QTest::newRow("default, gap below") << 0 << 49 << 1;
        QTest::newRow("default, gap equal") << 0 << 50 << 2;
        QTest::newRow("5 ms, gap 4") << 5 << 4 << 1;
        QTest::newRow("5 ms, gap 5") << 5 << 5 << 2;
        QTest::newRow("2000 ms, gap 1999") << 2000 << 1999 << 1;
        QTest::newRow("2000 ms, gap 2000") << 2000 << 2000 << 2;
        QTest::newRow("below the range counts as 5 ms") << 1 << 5 << 2;
        QTest::newRow("above the range counts as 2000 ms") << 9000 << 2000 << 2;
        QTest::newRow("time running backwards") << 0 << -500 << 1;
    }
    void silence() {
        QFETCH(int, silence);
        QFETCH(int, gap);
        QFETCH(int, scans);
        ScanSplitter splitter;
        if (silence)
            splitter.setSilence(Ms(silence));
        std::vector<Scan> out = feed(splitter, "AB", 1000ms);
        QVERIFY(out.empty());
        QCOMPARE(splitter.deadline(), std::optional(1000ms + splitter.silence()));
        for (Scan& scan : feed(splitter, "CD", Ms(1000 + gap)))
            out.push_back(std::move(scan));
        for (Scan& scan : splitter.flush())
            out.push_back(std::move(scan));
        QCOMPARE(static_cast<int>(out.size()), scans);
        QCOMPARE(out.front().firstArrival, 1000ms);
        QVERIFY(!splitter.pending());
        QCOMPARE(splitter.deadline(), std::nullopt);
    }

    void tickWaitsForTheSilence() {
        ScanSplitter splitter;
        feed(splitter, "ABC", 10ms);
        feed(splitter, "D", 40ms);
        QVERIFY(tick(splitter, 89ms).empty());
        const auto scans = tick(splitter, 90ms);
        QCOMPARE(scans.size(), 1u);
        QCOMPARE(scans[0].bytes, std::string("ABCD"));
        QCOMPARE(scans[0].firstArrival, 10ms);
        QCOMPARE(scans[0].lastArrival, 40ms);
        QCOMPARE(scans[0].terminator, Terminator::None);
        QVERIFY(tick(splitter, 10s).empty());
    }

    void longScansAreCut_data() {
        addColumns<int, QByteArray, int, QList<int>, QList<bool>>("dataBytes", "ending", "chunk",
                                                                  "sizes", "cuts");
        constexpr int Max = static_cast<int>(ScanSplitter::MaxScanBytes);
        QTest::newRow("one byte over, in one read")
            << Max + 1 << QByteArray("\r\n") << 1 << QList<int>{Max, 3} << QList<bool>{true, false};
        QTest::newRow("one byte over, in reads of 1000")
            << Max + 1 << QByteArray("\r\n") << 1000 << QList<int>{Max, 3}
            << QList<bool>{true, false};
        QTest::newRow("CR LF ends at the limit")
            << Max - 2 << QByteArray("\r\n") << 4096 << QList<int>{Max} << QList<bool>{false};
        QTest::newRow("CR at the limit keeps its LF")
            << Max - 1 << QByteArray("\r\n") << 4096 << QList<int>{Max + 1} << QList<bool>{false};
        QTest::newRow("exactly the limit, no terminator")
            << Max << QByteArray("\t") << 7 << QList<int>{Max, 1} << QList<bool>{true, false};
        QTest::newRow("three times over")
            << 3 * Max + 5 << QByteArray() << 65535 << QList<int>{Max, Max, Max, 5}
            << QList<bool>{true, true, true, false};
    }
    void longScansAreCut() {
        QFETCH(int, dataBytes);
        QFETCH(QByteArray, ending);
        QFETCH(int, chunk);
        QFETCH(QList<int>, sizes);
        QFETCH(QList<bool>, cuts);
        QByteArray bytes(dataBytes, 'x');
        bytes += ending;
        if (chunk == 1)
            chunk = static_cast<int>(bytes.size());
        ScanSplitter splitter;
        std::vector<Scan> out;
        for (qsizetype at = 0; at < bytes.size(); at += chunk)
            for (Scan& scan : feed(splitter, std::string_view(bytes).substr(at, chunk), 0ms))
                out.push_back(std::move(scan));
        for (Scan& scan : splitter.flush())
            out.push_back(std::move(scan));
        QList<int> gotSizes;
        QList<bool> gotCuts;
        std::string joined;
        for (const Scan& scan : out) {
            gotSizes << static_cast<int>(scan.bytes.size());
            gotCuts << scan.cut;
            joined += scan.bytes;
        }
        QCOMPARE(gotSizes, sizes);
        QCOMPARE(gotCuts, cuts);
        QVERIFY(joined == bytes.toStdString());
    }

    void flushAndReset() {
        ScanSplitter splitter;
        feed(splitter, "A\r", 0ms);
        const auto flushed = splitter.flush();
        QCOMPARE(flushed.size(), 1u);
        QCOMPARE(flushed[0].terminator, Terminator::CR);
        feed(splitter, "half a sc", 0ms);
        splitter.reset();
        QVERIFY(!splitter.pending());
        QCOMPARE(split(splitter, {"an\r\n"}), QStringList{u"an<CR><LF>|CR LF"_s});
    }

    void terminatorOfAgreesWithTheSplitter() {
        ScanSplitter splitter;
        std::vector<Scan> scans = feed(splitter, std::string_view(Stream), 0ms);
        for (Scan& scan : splitter.flush())
            scans.push_back(std::move(scan));
        QCOMPARE(scans.size(), 8u);
        for (const Scan& scan : scans)
            QCOMPARE(terminatorOf(scan.bytes), scan.terminator);
    }
};

QTEST_APPLESS_MAIN(TestScanSplitter)
#include "tst_scan_splitter.moc"
