#include "data_columns.h"
#include "scan_log/model/gs1_check_digit.h"
#include "scan_log/model/gs1_parser.h"
#include "test_codes/model/scan_verdict.h"
#include "test_codes/model/setup_summary.h"

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

    // The list holds what it promises: right check digits (UPC-E's that of its UPC-A), GS1
    // contents without faults, and every symbology once.
    void codesAreSound() {
        std::set<Symbology> seen;
        for (const TestCode& code : testCodes()) {
            QVERIFY2(seen.insert(code.symbology).second, code.name.data());
            QVERIFY(!code.content.empty());
            if (code.symbology == Symbology::UpcE) {
                QCOMPARE(scan_log::upcECheckText(code.content), std::string("ok"));
            } else if (code.checkDigitLast) {
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

    // A UPC-E's check digit is that of the UPC-A it stands for. Codes zint makes (each expanded
    // by hand in the comment), chosen where the EAN-8 rule gives another digit.
    void upcECheckDigits_data() {
        addColumns<QByteArray, QByteArray, QString>("upcE", "upcA", "check");
        // 0 425261 4: last digit 1, so manufacturer 42100, product 00526.
        QTest::newRow("last digit 1")
            << QByteArray("04252614") << QByteArray("042100005264") << "ok";
        // 0 123453 1: last digit 3, so manufacturer 12300, product 00045.
        QTest::newRow("last digit 3")
            << QByteArray("01234531") << QByteArray("012300000451") << "ok";
        // 1 234574 6: last digit 4, so manufacturer 23450, product 00007.
        QTest::newRow("last digit 4")
            << QByteArray("12345746") << QByteArray("123450000076") << "ok";
        QTest::newRow("the EAN-8 digit is wrong here")
            << QByteArray("04252610") << QByteArray("042100005264") << "check digit should be 4";
        QTest::newRow("number system 2 is no UPC-E")
            << QByteArray("24252614") << QByteArray() << "";
    }
    void upcECheckDigits() {
        QFETCH(QByteArray, upcE);
        QFETCH(QByteArray, upcA);
        QFETCH(QString, check);
        const auto expanded = scan_log::expandUpcE(upcE.toStdString());
        QCOMPARE(expanded ? QByteArray::fromStdString(*expanded) : QByteArray(), upcA);
        QCOMPARE(q(scan_log::upcECheckText(upcE.toStdString())), check);
        if (!upcA.isEmpty())
            QCOMPARE(scan_log::gs1CheckDigit(upcA.left(11).toStdString()),
                     std::optional(upcA.back()));
    }

    void verdicts_data() {
        addColumns<QString, QByteArray, int, QString>("code", "received", "typed", "verdict");
        const auto row = [](const char* name, const char* code, const QByteArray& received,
                            const char* verdict, bool typed = false) {
            QTest::newRow(name) << QString::fromLatin1(code) << received << int(typed)
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
        row("UPC-E with ]E0 keeps 8 digits", "UPC-E", "]E004252614",
            "Pass with differences: symbology identifier ]E0 added");
        row("UPC-E as its UPC-A", "UPC-E", "042100005264",
            "Pass with differences: UPC-E sent as the UPC-A it stands for (042100005264)");
        row("UPC-E as its UPC-A in 13 digits", "UPC-E", "]E00042100005264",
            "Pass with differences: symbology identifier ]E0 added; UPC-E sent as the UPC-A it "
            "stands for (042100005264) as 13 digits");
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
        // A prefix and a suffix, around an identifier and a code.
        row("STX before, ETX after", "EAN-13",
            "\x02"
            "4006381333931\x03",
            "Pass with differences: STX (02h) added before the code; ETX (03h) added after it");
        row("a text before, an identifier", "Code 39", "SCAN:]A0LT-39/$ 0042",
            "Pass with differences: \"SCAN:\" added before the code; symbology identifier ]A0 "
            "added");
        row("a code identifier letter after", "Data Matrix", "Linnet DM-0042/abc#",
            "Pass with differences: \"#\" added after it");
        // The right text in another encoding.
        row("Latin-1 text sent as UTF-8", "QR Code",
            "Linnet QR: Gr\xC3\xB6\xC3\x9F"
            "e 42, caf\xC3\xA9, 0042",
            "Pass with differences: sent as UTF-8, not Latin-1");
        row("typed by a keyboard-mode scanner: characters", "QR Code",
            "Linnet QR: Gr\xC3\xB6\xC3\x9F"
            "e 42, caf\xC3\xA9, 0042",
            "Pass", true);
        // Read wrong, or sent so that an application reads it wrong: these fail.
        row("GS missing", "GS1-128", "010952123454321310ABC1232112345",
            "Fail: GS (1Dh) not sent after the variable-length field (10), so (21) is read as "
            "part of it");
        row("GS missing with an identifier", "GS1 DataMatrix",
            "]d201095212345432131726123110ABC1232112345",
            "Fail: GS (1Dh) not sent after the variable-length field (10), so (21) is read as "
            "part of it; symbology identifier ]d2 added");
        row("wrong check digit", "EAN-13", "4006381333932",
            "Fail: the check digit is \"2\" where \"1\" belongs (a misread: scan it again)");
        row("wrong check digit with a prefix", "EAN-13",
            "\x02"
            "4006381333932",
            "Fail: character 1 is \"<STX>\" where \"4\" belongs; expected \"4006381333931\", "
            "received \"<STX>4006381333932\"");
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
        row("empty", "EAN-8", "", "Fail: nothing came but the terminator; expected \"96385074\"");
        row("UTF-8 of a wrong text", "QR Code",
            "Linnet QR: Gr\xC3\xB6\xC3\x9F"
            "e 43, caf\xC3\xA9, 0042",
            "Fail: character 14 is \"<c3>\" where \"<f6>\" belongs; expected \"Linnet QR: "
            "Gr<f6><df>e 42, caf<e9>, 0042\", received \"Linnet QR: Gr<c3><b6><c3><9f>e 43, "
            "caf<c3><a9>, 0042\"");
        row("a wrong check digit on UPC-E (the EAN-8 one)", "UPC-E", "04252610",
            "Fail: the check digit is \"0\" where \"4\" belongs (a misread: scan it again)");
    }
    void verdicts() {
        QFETCH(QString, code);
        QFETCH(QByteArray, received);
        QFETCH(int, typed);
        QFETCH(QString, verdict);
        QCOMPARE(q(judge(codeNamed(code), received.toStdString(),
                         typed ? Arrival::Characters : Arrival::Bytes)
                       .text()),
                 verdict);
    }

    // With the framing learned from earlier scans, a near miss is judged on the code alone:
    // the prefix and suffix do not hide what is wrong.
    void nearMissesWithALearnedFraming() {
        const Framing framing{"\x02", "\x03"};
        QCOMPARE(q(judge(codeNamed(u"EAN-13"_qs),
                         "\x02"
                         "4006381333932\x03",
                         Arrival::Bytes, framing)
                       .text()),
                 u"Fail: the check digit is \"2\" where \"1\" belongs (a misread: scan it "
                 "again)"_qs);
        QCOMPARE(q(judge(codeNamed(u"EAN-13"_qs),
                         "\x02"
                         "4006381333931\x03",
                         Arrival::Bytes, framing)
                       .text()),
                 u"Pass with differences: STX (02h) added before the code; ETX (03h) added after "
                 "it"_qs);
    }

    // A scan is judged against the code it passes; else against the code it is closest to
    // (of the symbology its identifier names); else against none.
    void matching_data() {
        addColumns<QByteArray, int, QString, QString>("received", "shown", "code", "verdict");
        QTest::newRow("another code than the one shown")
            << QByteArray("]e00109521234543213") << int(indexOf(u"EAN-13"_qs))
            << "GS1 DataBar Omnidirectional"
            << "Pass with differences: symbology identifier ]e0 added";
        QTest::newRow("the shown code, read wrong")
            << QByteArray("96385075") << int(indexOf(u"EAN-8"_qs)) << "EAN-8"
            << "Fail: the check digit is \"5\" where \"4\" belongs (a misread: scan it again)";
        QTest::newRow("a Code 39 read with a character wrong, EAN-13 shown")
            << QByteArray("LT-39/$ 1042") << int(indexOf(u"EAN-13"_qs)) << "Code 39"
            << "Fail: character 9 is \"1\" where \"0\" belongs; expected \"LT-39/$ 0042\", "
               "received \"LT-39/$ 1042\"";
        QTest::newRow("its identifier names the symbology")
            << QByteArray("]d1Linnet DM-0043/abc") << int(indexOf(u"Aztec"_qs)) << "Data Matrix"
            << "Fail: character 14 is \"3\" where \"2\" belongs; expected \"Linnet "
               "DM-0042/abc\", received \"Linnet DM-0043/abc\"";
        QTest::newRow("a product from the desk")
            << QByteArray("QX7-NOT-A-TEST-CODE-0000") << int(indexOf(u"EAN-13"_qs)) << ""
            << "Fail: this scan matches no test code: \"QX7-NOT-A-TEST-CODE-0000\"";
        QTest::newRow("nothing shown, nothing matches")
            << QByteArray("HELLO") << -1 << ""
            << "Fail: this scan matches no test code: \"HELLO\"";
        QTest::newRow("GS missing is still the GS1-128")
            << QByteArray("010952123454321310ABC1232112345") << int(indexOf(u"EAN-13"_qs))
            << "GS1-128"
            << "Fail: GS (1Dh) not sent after the variable-length field (10), so (21) is read as "
               "part of it";
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

    // What the scans so far say the scanner is set to; the advice says what to change, a line a
    // setting; the tally counts the codes by their latest result.
    void summaryAdviceAndTally_data() {
        addColumns<QByteArrayList, int, int, QString, QStringList, QString>(
            "scans", "terminator", "durationMs", "summary", "advice", "tally");
        QTest::newRow("nothing yet")
            << QByteArrayList() << 0 << 0
            << "No scans yet: scan the codes to learn the scanner's settings." << QStringList{}
            << "0 passed, 0 with differences, 0 failed, 18 not scanned";
        QTest::newRow("defaults")
            << QByteArrayList{"4006381333931", "036000291452",
                              "0109521234543213"
                              "10ABC123\x1D"
                              "2112345"}
            << int(scan_log::Terminator::CRLF) << 20
            << "Terminator: CR LF. Prefix: none. Suffix: none. Symbology identifiers: off. GS in "
               "GS1 codes: sent. Check digits: sent. UPC-A: 12 digits. Scan to scan: 500 ms "
               "(median). Characters per second: about 1600, a line of at least 16000 baud."
            << QStringList{} << "3 passed, 0 with differences, 0 failed, 15 not scanned";
        QTest::newRow("identifiers, no check digits, GS missing, slow")
            << QByteArrayList{"]E0400638133393", "]E0003600029145",
                              "]C1010952123454321310ABC1232112345"}
            << int(scan_log::Terminator::CR) << 500
            << "Terminator: CR. Prefix: none. Suffix: none. Symbology identifiers: on. GS in GS1 "
               "codes: not sent. Check digits: left out. UPC-A: 12 digits (a 0 in front, check "
               "digit left out). Scan to scan: 500 ms (median). Characters per second: about 68, "
               "a line of at least 680 baud (slow: the scanner may be set to a low baud rate)."
            << QStringList{"Turn off the code identifier (AIM symbology identifier), unless the "
                           "application reads it.",
                           "Turn on 'transmit check digit' for EAN/UPC.",
                           "Turn off 'UPC-A as EAN-13' (convert UPC-A to EAN-13).",
                           "Set FNC1 to be sent as GS (1Dh): without it the next GS1 field is "
                           "read into the one before."}
            << "0 passed, 2 with differences, 1 failed, 15 not scanned";
        // The summary agrees with what arrived: UPC-A without its check digit is 11 digits.
        QTest::newRow("UPC-A as 11 digits, framed")
            << QByteArrayList{"\x02"
                              "03600029145\x03",
                              "\x02"
                              "4006381333931\x03"}
            << int(scan_log::Terminator::None) << 0
            << "Terminator: none. Prefix: STX (02h). Suffix: ETX (03h). Symbology identifiers: "
               "off. GS in GS1 codes: not seen yet (scan a GS1-128 or GS1 DataMatrix code). Check "
               "digits: mixed: left out, sent. UPC-A: 11 digits (check digit left out). Scan to "
               "scan: 500 ms (median). Characters per second: each scan came in one piece (too "
               "fast to measure)."
            << QStringList{"Set the suffix to CR LF (or CR): without one at the end of every "
                           "code, a program cannot tell where a scan ends.",
                           "Turn on 'transmit check digit' for EAN/UPC.",
                           "The scanner adds the prefix STX (02h) before every code: set the "
                           "prefix to none unless the application expects it.",
                           "The scanner adds the suffix ETX (03h) after every code: set it to "
                           "none unless the application expects it."}
            << "0 passed, 2 with differences, 0 failed, 16 not scanned";
        QTest::newRow("a French keyboard, UTF-8")
            << QByteArrayList{"Linnet)&\xC3\xA9_!4x\xC3\xA7", "Linnet QR: Gr\xC3\xB6\xC3\x9F"
                                                              "e 42, caf\xC3\xA9, 0042"}
            << int(scan_log::Terminator::CR) << 0
            << "Terminator: CR. Prefix: none. Suffix: none. Symbology identifiers: off. GS in GS1 "
               "codes: not seen yet (scan a GS1-128 or GS1 DataMatrix code). Check digits: not "
               "seen yet. UPC-A: not seen yet. Text of 2D codes: UTF-8. Keyboard layout: the "
               "scanner types for US English, the computer reads French. Scan to scan: 500 ms "
               "(median). Characters per second: each scan came in one piece (too fast to "
               "measure)."
            << QStringList{"Set the keyboard country (keyboard layout) to French.",
                           "Set the character encoding of 2D codes to ISO 8859-1 (Latin-1), or "
                           "make sure the application reads UTF-8."}
            << "0 passed, 2 with differences, 0 failed, 16 not scanned";
    }
    void summaryAdviceAndTally() {
        QFETCH(QByteArrayList, scans);
        QFETCH(int, terminator);
        QFETCH(int, durationMs);
        QFETCH(QString, summary);
        QFETCH(QStringList, advice);
        QFETCH(QString, tally);
        std::vector<JudgedScan> judged;
        for (const QByteArray& data : scans) {
            JudgedScan scan;
            const Match match = matchScan(testCodes(), data.toStdString(), std::nullopt);
            scan.verdict = match.verdict;
            scan.code = match.code;
            scan.terminator = scan_log::Terminator(terminator);
            scan.bytes = std::size_t(data.size()) + 1;
            scan.durationMs = durationMs;
            if (!judged.empty())
                scan.gapMs = 500;
            judged.push_back(scan);
        }
        QCOMPARE(q(setupSummary(judged)), summary);
        QStringList said;
        for (const std::string& line : setupAdvice(judged))
            said << q(line);
        QCOMPARE(said, advice);
        QCOMPARE(q(tallyText(tallyOf(judged, testCodes().size()))), tally);
    }

    // The framing the latest passing scans agree on is learned; a failure teaches nothing.
    void framingIsLearned() {
        std::vector<JudgedScan> judged;
        const auto scan = [&judged](const char* data) {
            JudgedScan one;
            const Match match = matchScan(testCodes(), data, std::nullopt);
            one.verdict = match.verdict;
            one.code = match.code;
            judged.push_back(one);
            return learnedFraming(judged);
        };
        QCOMPARE(scan("\x02"
                      "4006381333931\x03"),
                 (Framing{"\x02", "\x03"}));
        QCOMPARE(scan("\x02"
                      "4006381333932\x03"),
                 (Framing{"\x02", "\x03"}));
        QCOMPARE(scan("\x02"
                      "96385074\x03"),
                 (Framing{"\x02", "\x03"}));
        // The most common among the latest passes; on a tie, the latest.
        QCOMPARE(scan("036000291452"), (Framing{"\x02", "\x03"}));
        QCOMPARE(scan("04252614"), Framing{});
    }
};

QTEST_APPLESS_MAIN(TestScanVerdict)
#include "tst_scan_verdict.moc"
