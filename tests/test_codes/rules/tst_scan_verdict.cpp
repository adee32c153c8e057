#include "data_columns.h"
#include "scan_log/decode/gs1_check_digit.h"
#include "scan_log/decode/gs1_parser.h"
#include "test_codes/rules/scan_verdict.h"
#include "test_codes/rules/setup_summary.h"

#include <QTest>

#include <set>

using namespace test_codes;

namespace {

const TestCode& codeNamed(const QString& name) {
    for (const TestCode& code : testCodes()) {
        if (QString::fromLatin1(code.name.data(), qsizetype(code.name.size())) == name)
            return code;
    }
    qFatal("no test code named %s", qPrintable(name));
}

std::size_t indexOf(const QString& name) {
    return std::size_t(&codeNamed(name) - testCodes().data());
}

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

class TestScanVerdict : public QObject {
    Q_OBJECT

private slots:
    // A verdict is a line however long the scan: 64 KiB of garbage is named by its start and
    // its length (the Test Codes window keeps two thousand verdicts).
    void verdictsStayShort() {
        const std::string garbage(65536, 'Q');
        for (const std::optional<std::size_t> shown :
             {std::optional<std::size_t>(0), std::optional<std::size_t>()}) {
            const std::string text = matchScan(testCodes(), garbage, shown).verdict.text();
            QVERIFY2(text.size() < 400, text.substr(0, 400).c_str());
            QVERIFY2(text.find("(65536 bytes)") != std::string::npos, text.c_str());
        }
    }

    // The list holds what it promises: right check digits, GS1 contents without faults, and
    // every symbology once.
    void codesAreSound() {
        std::set<Symbology> seen;
        for (const TestCode& code : testCodes()) {
            QVERIFY2(seen.insert(code.symbology).second, code.name.data());
            QVERIFY(!code.content.empty());
            if (code.checkDigitLast) {
                const std::string_view digits = code.content.substr(0, code.content.size() - 1);
                QCOMPARE(scan_log::gs1CheckDigit(digits), std::optional(code.content.back()));
            }
            if (code.gs1) {
                for (const scan_log::Gs1Field& field :
                     scan_log::parseElementString(code.content, 2026)) {
                    QVERIFY2(field.problems.empty(), code.name.data());
                    QVERIFY2(field.check.empty() || field.check == "ok", code.name.data());
                }
            }
        }
        QCOMPARE(seen.size(), std::size_t(18));
    }

    void verdicts_data() {
        addColumns<QString, QByteArray, QString>("code", "received", "verdict");
        const auto row = [](const char* name, const char* code, const QByteArray& received,
                            const char* verdict) {
            QTest::newRow(name) << QString::fromLatin1(code) << received
                                << QString::fromUtf8(verdict);
        };
        row("exact", "EAN-13", "4006381333931", "Pass");
        row("exact with GS", "GS1-128",
            "0109521234543213"
            "10ABC123\x1D"
            "2112345",
            "Pass");
        row("Latin-1 bytes", "QR Code",
            "Linnet QR: Gr\xF6\xDF"
            "e 42, caf\xE9, 0042",
            "Pass");
        // Read right, sent differently.
        row("identifier", "EAN-13", "]E04006381333931",
            "Pass with differences: symbology identifier ]E0 added");
        row("no check digit", "EAN-13", "400638133393",
            "Pass with differences: check digit left out");
        row("identifier and no check digit", "EAN-8", "]E49638507",
            "Pass with differences: symbology identifier ]E4 added; check digit left out");
        row("UPC-A as 13 digits", "UPC-A", "0036000291452",
            "Pass with differences: UPC-A sent as 13 digits (a 0 added in front)");
        row("UPC-A as 13 digits without check digit", "UPC-A", "003600029145",
            "Pass with differences: UPC-A sent as 13 digits (a 0 added in front); check digit "
            "left out");
        row("leading zero dropped", "UPC-A", "36000291452",
            "Pass with differences: leading zeros dropped");
        row("GS missing", "GS1-128", "010952123454321310ABC1232112345",
            "Pass with differences: GS (1Dh) not sent after a variable-length field");
        row("GS as another character", "GS1 DataMatrix",
            "]d201095212345432131726123110ABC123~2112345",
            "Pass with differences: symbology identifier ]d2 added; GS (1Dh) sent as \"~\"");
        row("case changed", "Code 128", "lINNET-128/$X9",
            "Pass with differences: case changed (Caps Lock, or a case setting of the scanner)");
        row("German layout", "Code 128",
            "Linnet\xC3\x9F"
            "128-$x9",
            "Pass with differences: the scanner's keyboard country does not match this "
            "computer's layout (German?)");
        row("French layout", "Code 128", "Linnet)&\xC3\xA9_!4x\xC3\xA7",
            "Pass with differences: the scanner's keyboard country does not match this "
            "computer's layout (French?)");
        // The digit row of a Czech keyboard: + ě š č ř ž ý á í é for 1 to 0.
        row("Czech layout, digits", "EAN-13",
            "\u010D\u00E9\u00E9\u017E\u0161\u00E1+\u0161\u0161\u0161\u00ED\u0161+",
            "Pass with differences: the scanner's keyboard country does not match this "
            "computer's layout (Czech?)");
        // Read wrong: near misses of the settings above fail.
        row("wrong check digit", "EAN-13", "4006381333932",
            "Fail: character 13 is \"2\" where \"1\" belongs; expected \"4006381333931\", "
            "received \"4006381333932\"");
        row("two digits swapped", "EAN-13", "4006381333913",
            "Fail: character 12 is \"1\" where \"3\" belongs; expected \"4006381333931\", "
            "received \"4006381333913\"");
        row("check digit left out and a digit wrong", "EAN-13", "400638133394",
            "Fail: character 12 is \"4\" where \"3\" belongs; expected \"4006381333931\", "
            "received \"400638133394\"");
        row("GS in the wrong place", "GS1-128",
            "0109521234543213"
            "10ABC12\x1D"
            "32112345",
            "Fail: character 24 is \"<GS>\" where \"3\" belongs; expected "
            "\"010952123454321310ABC123<GS>2112345\", received "
            "\"010952123454321310ABC12<GS>32112345\"");
        row("cut short", "Data Matrix", "Linnet DM-00",
            "Fail: the scan stops after 12 of 18 characters; missing \"42/abc\"");
        row("one more", "EAN-13", "4006381333931X",
            "Fail: 1 character more than expected at the end: \"X\"");
        row("empty", "EAN-8", "", "Fail: nothing came but the terminator; expected \"96385074\"");
        row("Latin-1 as UTF-8", "QR Code",
            "Linnet QR: Gr\xC3\xB6\xC3\x9F"
            "e 42, caf\xC3\xA9, 0042",
            "Fail: character 14 is \"<c3>\" where \"<f6>\" belongs; expected \"Linnet QR: "
            "Gr<f6><df>e 42, caf<e9>, 0042\", received \"Linnet QR: Gr<c3><b6><c3><9f>e 42, "
            "caf<c3><a9>, 0042\"");
    }
    void verdicts() {
        QFETCH(QString, code);
        QFETCH(QByteArray, received);
        QFETCH(QString, verdict);
        QCOMPARE(q(judge(codeNamed(code), received.toStdString()).text()), verdict);
    }

    // A scan is matched to the code it passes; else to the code shown; else to none.
    void matching_data() {
        addColumns<QByteArray, int, QString, QString>("received", "shown", "code", "verdict");
        QTest::newRow("another code than the one shown")
            << QByteArray("]e00109521234543213") << int(indexOf(u"EAN-13"_qs))
            << "GS1 DataBar Omnidirectional"
            << "Pass with differences: symbology identifier ]e0 added";
        QTest::newRow("the shown code, read wrong")
            << QByteArray("96385075") << int(indexOf(u"EAN-8"_qs)) << "EAN-8"
            << "Fail: character 8 is \"5\" where \"4\" belongs; expected \"96385074\", received "
               "\"96385075\"";
        QTest::newRow("nothing shown, nothing matches")
            << QByteArray("HELLO") << -1 << ""
            << "Fail: this scan matches no test code: \"HELLO\"";
    }
    void matching() {
        QFETCH(QByteArray, received);
        QFETCH(int, shown);
        QFETCH(QString, code);
        QFETCH(QString, verdict);
        const Match match = matchScan(testCodes(), received.toStdString(),
                                      shown < 0 ? std::nullopt : std::optional(std::size_t(shown)));
        QCOMPARE(match.code ? QString::fromLatin1(testCodes()[*match.code].name.data()) : QString(),
                 code);
        QCOMPARE(q(match.verdict.text()), verdict);
    }

    void summary_data() {
        addColumns<QByteArrayList, int, int, QString>("scans", "terminator", "durationMs",
                                                      "summary");
        QTest::newRow("nothing yet") << QByteArrayList() << 0 << 0
                                     << "No scans yet: scan the codes to learn the scanner's "
                                        "settings.";
        QTest::newRow("defaults")
            << QByteArrayList{"4006381333931", "036000291452",
                              "0109521234543213"
                              "10ABC123\x1D"
                              "2112345"}
            << int(scan_log::Terminator::CRLF) << 20
            << "Terminator: CR LF. Symbology identifiers: off. GS in GS1 codes: sent. Check "
               "digits: sent. UPC-A: 12 digits. Scan to scan: 500 ms (median). Characters per "
               "second: about 1600, a line of at least 16000 baud.";
        QTest::newRow("identifiers, no check digits, GS missing, slow")
            << QByteArrayList{"]E0400638133393", "]E0003600029145",
                              "]C1010952123454321310ABC1232112345"}
            << int(scan_log::Terminator::CR) << 500
            << "Terminator: CR. Symbology identifiers: on. GS in GS1 codes: not sent. Check "
               "digits: left out. UPC-A: 13 digits. Scan to scan: 500 ms (median). Characters "
               "per second: about 68, a line of at least 680 baud (slow: the scanner may be set "
               "to a low baud rate).";
        QTest::newRow("only what was seen")
            << QByteArrayList{"Linnet DM-0042/abc"} << int(scan_log::Terminator::None) << 0
            << "Terminator: none. Symbology identifiers: off. GS in GS1 codes: not seen yet "
               "(scan a GS1-128 or GS1 DataMatrix code). Check digits: not seen yet. UPC-A: not "
               "seen yet. Characters per second: each scan came in one piece (too fast to "
               "measure).";
    }
    void summary() {
        QFETCH(QByteArrayList, scans);
        QFETCH(int, terminator);
        QFETCH(int, durationMs);
        QFETCH(QString, summary);
        std::vector<JudgedScan> judged;
        for (const QByteArray& data : scans) {
            JudgedScan scan;
            scan.verdict = matchScan(testCodes(), data.toStdString(), std::nullopt).verdict;
            scan.terminator = scan_log::Terminator(terminator);
            scan.bytes = std::size_t(data.size()) + 1;
            scan.durationMs = durationMs;
            if (!judged.empty())
                scan.gapMs = 500;
            judged.push_back(scan);
        }
        QCOMPARE(q(setupSummary(judged)), summary);
    }
};

QTEST_APPLESS_MAIN(TestScanVerdict)
#include "tst_scan_verdict.moc"
