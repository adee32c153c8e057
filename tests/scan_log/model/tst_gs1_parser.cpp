#include "data_columns.h"
#include "scan_log/model/gs1_ai_table.h"
#include "scan_log/model/gs1_parser.h"

#include <QTest>

#include <set>

using namespace scan_log;

namespace {

// Dates in these tests are read as in 2025.
constexpr int Year = 2025;

QString summaryOf(const QByteArray& data) {
    return QString::fromStdString(gs1Summary(parseElementString(data.toStdString(), Year)));
}

} // namespace

class TestGs1Parser : public QObject {
    Q_OBJECT

private slots:
    void elementStrings_data() {
        addColumns<QByteArray, QString>("data", "summary");
        const auto row = [](const char* name, const char* data, const char* summary) {
            QTest::newRow(name) << QByteArray(data) << QString::fromUtf8(summary);
        };
        // Examples from the GS1 material: GTIN, expiry, batch, serial.
        row("GTIN, expiry, batch", "01040063813339311726123110LOT-7",
            "(01) GTIN 04006381333931 ok; (17) expiry 2026-12-31; (10) batch LOT-7");
        row("with GS between variable fields",
            "01095212345432131726123110ABC123\x1D"
            "2112345",
            "(01) GTIN 09521234543213 ok; (17) expiry 2026-12-31; (10) batch ABC123; "
            "(21) serial 12345");
        row("GS after pre-defined lengths, leading and trailing GS",
            "\x1D"
            "0109521234543213\x1D"
            "17261231\x1D"
            "10ABC123\x1D",
            "(01) GTIN 09521234543213 ok; (17) expiry 2026-12-31; (10) batch ABC123");
        row("pre-defined lengths then variable ones",
            "00106141411234567897"
            "3103001250"
            "10B-1\x1D"
            "30"
            "12\x1D"
            "3922"
            "1250",
            "(00) SSCC 106141411234567897 ok; (3103) net weight (kg) 1.250; (10) batch B-1; "
            "(30) variable count 12; (3922) price 12.50");
        row("GLN and currency",
            "4140614141123452\x1D"
            "3932978"
            "1999",
            "(414) location GLN 0614141123452 ok; (3932) price with currency 978 19.99");
        row("a GLN needs no GS", "41006141411234524140614141123452",
            "(410) ship to GLN 0614141123452 ok; (414) location GLN 0614141123452 ok");
        row("fixed length that still needs GS", "4222761012",
            "(422) country of origin 276 [not ended by GS before (10)]; (10) batch 12");
        row("wrong check digit", "0104006381333932",
            "(01) GTIN 04006381333932 check digit should be 1");
        row("wrong SSCC check digit", "00106141411234567890",
            "(00) SSCC 106141411234567890 check digit should be 7");
        row("GRAI checks the 13 digits after its 0", "80030061414112345280",
            "(8003) GRAI 0061414112345280 ok");
        // Dates: day 00 is the month's last day where allowed, the century follows the year.
        row("260230: no such day", "17260230", "(17) expiry 260230 [date does not exist]");
        row("month 13", "11251301", "(11) production date 251301 [date does not exist]");
        row("day 00 in February", "17130200", "(17) expiry 2013-02-28 (day 00)");
        row("day 00 in a leap February", "15160200", "(15) best before 2016-02-29 (day 00)");
        row("29 February in a leap year", "11240229", "(11) production date 2024-02-29");
        row("29 February in another year", "11250229",
            "(11) production date 250229 [date does not exist]");
        row("day 00 where it is not allowed", "7006260100",
            "(7006) first freeze date 260100 [date does not exist]");
        row("date and time", "70032612312359", "(7003) expiry time 2026-12-31 23:59");
        row("hour 24", "70032612312400", "(7003) expiry time 2612312400 [time does not exist]");
        row("harvest from-to", "7007260101260105", "(7007) harvest date 2026-01-01 to 2026-01-05");
        row("production time with seconds",
            "800826123114"
            "3059",
            "(8008) production time 2026-12-31 14:30:59");
        // Unknown identifiers: stepped over by their pre-defined length, else up to a GS.
        row("no identifier starts 26",
            "2612345\x1D"
            "10A",
            "(26) 12345 [unknown identifier]; (10) batch A");
        row("8015 is not assigned",
            "8015ABC\x1D"
            "10A",
            "(8015) ABC [unknown identifier]; (10) batch A");
        row("04 has a pre-defined length but no identifier", "04123456789012345610A",
            "(04) 1234567890123456 [unknown identifier]; (10) batch A");
        row("measure with 6 decimals", "3106123456", "(3106) 123456 [unknown identifier]");
        // Faults in the value.
        row("GTIN too short at the end", "0112345", "(01) GTIN 12345 [wrong length]");
        row("GTIN cut by a GS",
            "0112345\x1D"
            "10A",
            "(01) GTIN 12345 [wrong length]; (10) batch A");
        row("letter in a GTIN", "0109521234543A13",
            "(01) GTIN 09521234543A13 [letter where digits belong]");
        row("batch too long", "10ABCDEFGHIJKLMNOPQRSTU",
            "(10) batch ABCDEFGHIJKLMNOPQRSTU [wrong length]");
        row("space in a batch", "10LOT 7", "(10) batch LOT 7 [character not allowed]");
        row("lower case in CSET 39", "8010ab", "(8010) CPID ab [character not allowed]");
        row("control byte in a batch", "10A\x01", "(10) batch A<SOH> [character not allowed]");
        row("no identifier at all", "0104006381333931XY",
            "(01) GTIN 04006381333931 ok; XY [not an application identifier]");
        // Variable-length fields without their GS before the next identifier.
        row("count runs into a batch", "3012310ABC",
            "(30) variable count 123 [not ended by GS before (10)]; (10) batch ABC");
        row("batch runs past 20 into an expiry", "10ABCDEFGHIJKLMNOPQRST17261231",
            "(10) batch ABCDEFGHIJKLMNOPQRST [not ended by GS before (17)]; "
            "(17) expiry 2026-12-31");
        row("empty batch",
            "10\x1D"
            "21A",
            "(10) batch  [wrong length]; (21) serial A");
    }
    void elementStrings() {
        QFETCH(QByteArray, data);
        QFETCH(QString, summary);
        QCOMPARE(summaryOf(data), summary);
    }

    void fieldsCarryTheirParts() {
        const auto fields = parseElementString("0104006381333932"
                                               "17260230",
                                               Year);
        QCOMPARE(fields.size(), 2u);
        QCOMPARE(fields[0].ai, std::string("01"));
        QCOMPARE(fields[0].title, std::string("GTIN"));
        QCOMPARE(fields[0].check, std::string("check digit should be 1"));
        QVERIFY(fields[0].problems.empty());
        QCOMPARE(fields[1].problems, std::vector<std::string>{"date does not exist"});
    }

    void century_data() {
        addColumns<int, int, int>("current", "yy", "year");
        QTest::newRow("2025, 75") << 2025 << 75 << 2075;
        QTest::newRow("2025, 76") << 2025 << 76 << 1976;
        QTest::newRow("2025, 00") << 2025 << 0 << 2000;
        QTest::newRow("2060, 10") << 2060 << 10 << 2110;
        QTest::newRow("2060, 11") << 2060 << 11 << 2011;
    }
    void century() {
        QFETCH(int, current);
        QFETCH(int, yy);
        QFETCH(int, year);
        QCOMPARE(yearFromTwoDigits(yy, current), year);
    }

    void digitalLinks_data() {
        addColumns<QByteArray, QString>("uri", "summary");
        const auto row = [](const char* name, const char* uri, const char* summary) {
            QTest::newRow(name) << QByteArray(uri) << QString::fromUtf8(summary);
        };
        row("key, qualifiers and an attribute",
            "https://id.gs1.org/01/09521234543213/10/ABC123/21/12345?17=261231",
            "(01) GTIN 09521234543213 ok; (10) batch ABC123; (21) serial 12345; "
            "(17) expiry 2026-12-31");
        row("a stem with a path, upper-case scheme",
            "HTTP://example.com/products/01/09521234543213/21/A%2F1",
            "(01) GTIN 09521234543213 ok; (21) serial A/1");
        row("plus is a plus in the path, a space in the query",
            "https://example.com/01/09521234543213/21/A+B?240=C+D",
            "(01) GTIN 09521234543213 ok; (21) serial A+B; "
            "(240) additional ID C D [character not allowed]");
        row("other parameters and a fragment are ignored",
            "https://id.gs1.org/01/09521234543213?linkType=gs1:pip&17&3103=000500#17=000000",
            "(01) GTIN 09521234543213 ok; (3103) net weight (kg) 0.500");
        row("GLN with its extension", "https://id.gs1.org/414/0614141123452/254/A1",
            "(414) location GLN 0614141123452 ok; (254) GLN extension A1");
        row("SSCC", "https://id.gs1.org/00/106141411234567897", "(00) SSCC 106141411234567897 ok");
        row("TPX instead of the other qualifiers", "https://id.gs1.org/01/09521234543213/235/XYZ",
            "(01) GTIN 09521234543213 ok; (235) third-party serial extension XYZ");
        row("qualifiers out of order", "https://id.gs1.org/01/09521234543213/10/A/22/B",
            "(01) GTIN 09521234543213 ok; (10) batch A; "
            "(22) consumer product variant B [qualifier out of order]");
        row("TPX mixed with a serial", "https://id.gs1.org/01/09521234543213/21/A/235/B",
            "(01) GTIN 09521234543213 ok; (21) serial A; "
            "(235) third-party serial extension B [not a qualifier of this key]");
        row("a qualifier of another key", "https://id.gs1.org/414/0614141123452/21/X",
            "(414) location GLN 0614141123452 ok; (21) serial X [not a qualifier of this key]");
        row("a qualifier in the query", "https://id.gs1.org/01/09521234543213?10=ABC",
            "(01) GTIN 09521234543213 ok; (10) batch ABC [belongs in the path]");
        row("a key in the query", "https://id.gs1.org/01/09521234543213?00=106141411234567897",
            "(01) GTIN 09521234543213 ok; "
            "(00) SSCC 106141411234567897 ok [not allowed in the query]");
        row("the same attribute twice", "https://id.gs1.org/01/09521234543213?17=261231&17=270101",
            "(01) GTIN 09521234543213 ok; (17) expiry 2026-12-31; "
            "(17) expiry 2027-01-01 [repeated]");
        row("unknown numeric parameter", "https://id.gs1.org/01/09521234543213?99999=1",
            "(01) GTIN 09521234543213 ok; (99999) 1 [unknown identifier]");
        row("zero-suppressed GTIN", "https://id.gs1.org/01/4006381333931",
            "(01) GTIN 4006381333931 [wrong length]");
        row("wrong check digit and no such day", "https://id.gs1.org/01/09521234543214?17=260230",
            "(01) GTIN 09521234543214 check digit should be 3; "
            "(17) expiry 260230 [date does not exist]");
        row("%00 and a broken escape", "https://id.gs1.org/01/09521234543213/10/A%00/21/B%2",
            "(01) GTIN 09521234543213 ok; (10) batch A%00 [bad percent-encoding]; "
            "(21) serial B%2 [bad percent-encoding]");
    }
    void digitalLinks() {
        QFETCH(QByteArray, uri);
        QFETCH(QString, summary);
        const auto fields = parseDigitalLink(uri.toStdString(), Year);
        QVERIFY(fields);
        QCOMPARE(QString::fromStdString(gs1Summary(*fields)), summary);
    }

    void notDigitalLinks_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no key") << QByteArray("https://example.com/about/us");
        QTest::newRow("mixed-case scheme") << QByteArray("HtTps://id.gs1.org/01/09521234543213");
        QTest::newRow("other scheme") << QByteArray("ftp://id.gs1.org/01/09521234543213");
        QTest::newRow("no path") << QByteArray("https://id.gs1.org?01=09521234543213");
        QTest::newRow("bad domain") << QByteArray("https://id_gs1.org/01/09521234543213");
        QTest::newRow("key without value") << QByteArray("https://id.gs1.org/01");
        QTest::newRow("plain text") << QByteArray("LINNET-TEST-0001");
    }
    void notDigitalLinks() {
        QFETCH(QByteArray, text);
        QVERIFY(!parseDigitalLink(text.toStdString(), Year));
    }

    // The table's own consistency is checked where it is written; these identifiers must be
    // in it, and these not.
    void aiTableHoldsTheKnownIdentifiers() {
        for (const char* ai :
             {"00",  "01",  "02",  "10",  "11",  "17",   "20",   "21",   "22",   "30",   "37",
              "240", "241", "250", "251", "253", "254",  "3100", "3695", "3909", "3939", "400",
              "403", "410", "417", "420", "427", "7001", "7010", "8001", "8020", "90",   "99"})
            QVERIFY2(findAi(ai), ai);
        for (const char* ai : {"14", "18", "3696", "8015", "8016", "7099", "0"})
            QVERIFY2(!findAi(ai), ai);
    }
};

QTEST_APPLESS_MAIN(TestGs1Parser)
#include "tst_gs1_parser.moc"
