#include "data_columns.h"
#include "scan_log/model/aim_identifier.h"
#include "scan_log/model/gs1_check_digit.h"
#include "scan_log/model/scan_info.h"
#include "scan_log/model/visible_bytes.h"

#include <QTest>

#include <set>

using namespace scan_log;

namespace {

QString q(const std::string& text) {
    return QString::fromStdString(text);
}

} // namespace

class TestScanDecode : public QObject {
    Q_OBJECT

private slots:
    void visibleForm_data() {
        addColumns<QByteArray, QString>("bytes", "visible");
        QByteArray controls;
        for (int byte = 0; byte < 32; ++byte)
            controls += static_cast<char>(byte);
        controls += '\x7F';
        QTest::newRow("every control character")
            << controls
            << QStringLiteral("<NUL><SOH><STX><ETX><EOT><ENQ><ACK><BEL><BS><HT><LF><VT><FF><CR>"
                              "<SO><SI><DLE><DC1><DC2><DC3><DC4><NAK><SYN><ETB><CAN><EM><SUB>"
                              "<ESC><FS><GS><RS><US><DEL>");
        QTest::newRow("high bytes in lower case, apart from form feed")
            << QByteArray("\x80\xE9\xFF\x0C") << QStringLiteral("<80><e9><ff><FF>");
        QTest::newRow("printable as it is, but a received < doubled")
            << QByteArray(" !<CR>~AZaz09") << QStringLiteral(" !<<CR>~AZaz09");
        QTest::newRow("the bytes 41 1D 42 0D 0A") << QByteArray("A\x1D"
                                                                "B\r\n")
                                                  << QStringLiteral("A<GS>B<CR><LF>");
        QTest::newRow("the text A<GS>B<CR><LF>")
            << QByteArray("A<GS>B<CR><LF>") << QStringLiteral("A<<GS>B<<CR><<LF>");
        QTest::newRow("byte FFh and the text <ff>")
            << QByteArray("\xFF<ff>") << QStringLiteral("<ff><<ff>");
        QTest::newRow("UTF-8 shows its bytes")
            << QByteArray("\xC3\xA9") << QStringLiteral("<c3><a9>");
    }
    void visibleForm() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, visible);
        QCOMPARE(q(scan_log::visibleForm(bytes.toStdString())), visible);
        QCOMPARE(bytesOfVisibleForm(visible.toStdString()), std::optional(bytes.toStdString()));
    }

    // Every byte value, alone and between others, reads back into itself.
    void visibleFormReadsBack() {
        std::string all;
        for (int byte = 0; byte < 256; ++byte) {
            const std::string one(1, static_cast<char>(byte));
            QCOMPARE(bytesOfVisibleForm(scan_log::visibleForm(one)), std::optional(one));
            all += one + "<" + one;
        }
        QCOMPARE(bytesOfVisibleForm(scan_log::visibleForm(all)), std::optional(all));
    }

    void notAVisibleForm_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("a single <") << QStringLiteral("A<B");
        QTest::newRow("an open bracket at the end") << QStringLiteral("A<");
        QTest::newRow("an unknown name") << QStringLiteral("<CRX>");
        QTest::newRow("a low byte as hex") << QStringLiteral("<1d>");
        QTest::newRow("upper-case hex of a high byte") << QStringLiteral("<E9>");
        QTest::newRow("a control character itself") << QStringLiteral("A\rB");
        QTest::newRow("empty brackets") << QStringLiteral("<>");
    }
    void notAVisibleForm() {
        QFETCH(QString, text);
        QCOMPARE(bytesOfVisibleForm(text.toStdString()), std::nullopt);
    }

    void aimIdentifiers_data() {
        addColumns<QByteArray, QString, bool>("data", "symbology", "gs1");
        const auto row = [](const char* data, const char* symbology, bool gs1) {
            QTest::newRow(data) << QByteArray(data) << QString::fromUtf8(symbology) << gs1;
        };
        // Exact rows, letter modifiers, the family row for an unlisted modifier, and GS1 flags.
        row("]E04006381333931", "EAN-13 or UPC-A", false);
        row("]C0ABC", "Code 128", false);
        row("]C101", "GS1-128", true);
        row("]A7AIMID", "Code 39 Full ASCII, check character verified and removed", false);
        row("]e001", "GS1 DataBar", true);
        row("]Q1https://", "QR Code", false);
        row("]Q3", "QR Code with GS1 data", true);
        row("]d2", "GS1 DataMatrix", true);
        row("]z1", "Aztec with GS1 data", true);
        row("]zA", "Aztec, structured append, ECI, GS1 data", true);
        row("]zC123", "Aztec Rune", false);
        row("]J1", "GS1 DotCode", true);
        row("]M1", "MSI (modifier 1)", false);
        row("]XF", "DX film edge", false);
        row("]C9", "Code 128 (modifier 9)", false);
        row("]Z0", "not from a barcode (keyboard entry)", false);
    }
    void aimIdentifiers() {
        QFETCH(QByteArray, data);
        QFETCH(QString, symbology);
        QFETCH(bool, gs1);
        const auto aim = readAimIdentifier(data.toStdString());
        QVERIFY(aim);
        QCOMPARE(q(aim->id), QString::fromLatin1(data.left(3)));
        QCOMPARE(q(aim->symbology), symbology);
        QCOMPARE(aim->announcesGs1(), gs1);
    }

    void notAimIdentifiers_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("too short") << QByteArray("]C");
        QTest::newRow("no such code character") << QByteArray("]y0abc");
        QTest::newRow("modifier not a digit or capital") << QByteArray("]C+abc");
        QTest::newRow("no flag") << QByteArray("C1abc");
        QTest::newRow("flag later") << QByteArray("x]C1");
    }
    void notAimIdentifiers() {
        QFETCH(QByteArray, data);
        QVERIFY(!readAimIdentifier(data.toStdString()));
    }

    void checkDigits_data() {
        addColumns<QByteArray, QString>("key", "check");
        // The worked examples as published, and with the last digit one off.
        const struct {
            const char* name;
            const char* key;
        } examples[] = {
            {"EAN-13", "4006381333931"},   {"UPC-A", "036000291452"},      {"EAN-8", "96385074"},
            {"GTIN-14", "09521234543213"}, {"SSCC", "106141411234567897"}, {"GLN", "0614141123452"},
        };
        for (const auto& example : examples) {
            const QByteArray key(example.key);
            QTest::addRow("%s", example.name) << key << QStringLiteral("ok");
            QByteArray oneOff = key;
            oneOff.back() = static_cast<char>('0' + (key.back() - '0' + 1) % 10);
            QTest::addRow("%s, check digit one off", example.name)
                << oneOff << QStringLiteral("check digit should be ") + QChar(key.back());
        }
        // Weights 3 and 1 catch a swap of neighbours that differ by other than 5.
        QTest::newRow("EAN-13, two digits swapped")
            << QByteArray("4060381333931") << QStringLiteral("check digit should be 3");
        QTest::newRow("GTIN-14, last two data digits swapped")
            << QByteArray("09521234543123") << QStringLiteral("check digit should be 1");
        QTest::newRow("letters") << QByteArray("40063813339A1") << QString();
        QTest::newRow("one digit") << QByteArray("7") << QString();
        QTest::newRow("all zeros") << QByteArray("00000000") << QStringLiteral("ok");
    }
    void checkDigits() {
        QFETCH(QByteArray, key);
        QFETCH(QString, check);
        QCOMPARE(q(checkDigitText(key.toStdString())), check);
    }

    void scans_data() {
        addColumns<QByteArray, QString, QString, QString, QString, QString>(
            "bytes", "symbology", "check", "fields", "data", "terminator");
        const auto row = [](const char* name, const QByteArray& bytes, const char* symbology,
                            const char* check, const char* fields, const char* data,
                            const char* terminator) {
            QTest::newRow(name) << bytes << QString::fromUtf8(symbology) << QString::fromUtf8(check)
                                << QString::fromUtf8(fields) << QString::fromUtf8(data)
                                << QString::fromUtf8(terminator);
        };
        // What scanners send with AIM identifiers on.
        row("EAN-13", "]E04006381333931\r\n", "EAN-13 or UPC-A", "ok", "", "]E04006381333931",
            "CR LF");
        row("EAN-8, wrong check digit", "]E496385075\n", "EAN-8", "check digit should be 4", "",
            "]E496385075", "LF");
        row("EAN-13 with add-on in one packet", "]E3400638133393112\r",
            "EAN-13 or UPC-A with add-on", "ok", "", "]E3400638133393112", "CR");
        row("EAN-13 with add-on as a second packet", "]E04006381333931]E112\r", "EAN-13 or UPC-A",
            "ok", "", "]E04006381333931]E112", "CR");
        row("ITF-14", "]I119521234543210\t", "Interleaved 2 of 5, check digit verified", "ok", "",
            "]I119521234543210", "TAB");
        row("DataBar", "]e00109521234543213\r\n", "GS1 DataBar", "ok",
            "(01) GTIN 09521234543213 ok", "]e00109521234543213", "CR LF");
        row("GS1-128",
            "]C101095212345432131726123110ABC123\x1D"
            "2112345\r\n",
            "GS1-128", "ok",
            "(01) GTIN 09521234543213 ok; (17) expiry 2026-12-31; (10) batch ABC123; "
            "(21) serial 12345",
            "]C101095212345432131726123110ABC123<GS>2112345", "CR LF");
        row("GS1 DataMatrix, two keys, one wrong",
            "]d20109521234543213\x1D"
            "4100614141123453",
            "GS1 DataMatrix", "(410) check digit should be 2",
            "(01) GTIN 09521234543213 ok; (410) ship to GLN 0614141123453 check digit should be 2",
            "]d20109521234543213<GS>4100614141123453", "");
        row("QR Code with a Digital Link", "]Q1https://id.gs1.org/01/09521234543213/10/ABC123\r",
            "QR Code", "ok", "(01) GTIN 09521234543213 ok; (10) batch ABC123",
            "]Q1https://id.gs1.org/01/09521234543213/10/ABC123", "CR");
        row("QR Code with a plain address", "]Q1https://example.com/\r", "QR Code", "", "",
            "]Q1https://example.com/", "CR");
        row("unconfirmed GS1, not GS1 after all", "]K1HELLO\r", "Code 16K with GS1 data", "", "",
            "]K1HELLO", "CR");
        row("unconfirmed GS1 that parses", "]K10109521234543213\r", "Code 16K with GS1 data", "ok",
            "(01) GTIN 09521234543213 ok", "]K10109521234543213", "CR");
        // Without an identifier: guesses.
        row("digits as EAN-13", "4006381333931\r\n", "EAN-13 (guess)", "ok", "", "4006381333931",
            "CR LF");
        row("digits as UPC-A", "036000291452\r", "UPC-A (guess)", "ok", "", "036000291452", "CR");
        row("digits as EAN-8", "96385074\r", "EAN-8 (guess)", "ok", "", "96385074", "CR");
        row("digits as GTIN-14", "09521234543213\r", "GTIN-14 (guess)", "ok", "", "09521234543213",
            "CR");
        row("13 digits with a wrong check digit", "4006381333932\r", "text (guess)", "", "",
            "4006381333932", "CR");
        row("digits of another length", "1234567\r", "text (guess)", "", "", "1234567", "CR");
        row("Digital Link", "https://id.gs1.org/01/09521234543213?17=260230\r",
            "GS1 Digital Link (guess)", "problem in the GS1 fields",
            "(01) GTIN 09521234543213 ok; (17) expiry 260230 [date does not exist]",
            "https://id.gs1.org/01/09521234543213?17=260230", "CR");
        row("Digital Link with its qualifiers out of order",
            "https://id.gs1.org/01/09521234543213/21/S/10/B\r", "GS1 Digital Link (guess)",
            "problem in the GS1 fields",
            "(01) GTIN 09521234543213 ok; (21) serial S; (10) batch B [qualifier out of order]",
            "https://id.gs1.org/01/09521234543213/21/S/10/B", "CR");
        row("FNC1 sent as a leading GS",
            "\x1D"
            "0104006381333931"
            "10LOT-7\r",
            "GS1 element string (guess)", "ok", "(01) GTIN 04006381333931 ok; (10) batch LOT-7",
            "<GS>010400638133393110LOT-7", "CR");
        row("ISO/IEC 15434 envelope",
            "[)>\x1E"
            "05\x1D"
            "0104006381333931\x1E\x04\r",
            "GS1 data in an ISO/IEC 15434 envelope (guess)", "ok", "(01) GTIN 04006381333931 ok",
            "[)><RS>05<GS>0104006381333931<RS><EOT>", "CR");
        row("framed by STX and ETX", "\x02]E04006381333931\x03\r", "EAN-13 or UPC-A", "ok", "",
            "<STX>]E04006381333931<ETX>", "CR");
        row("text", "LINNET-TEST-0001\r\n", "text (guess)", "", "", "LINNET-TEST-0001", "CR LF");
        row("a terminator alone", "\r\n", "", "", "", "", "CR LF");
        row("cut scan of bytes no text has", QByteArray(10, '\xFF'), "none",
            "10 of 10 bytes are no scanner's (NUL, control characters, bytes no text has): wrong "
            "baud rate, data bits or parity? Tools > Find Settings",
            "", "<ff><ff><ff><ff><ff><ff><ff><ff><ff><ff>", "");
    }
    void scans() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, symbology);
        QFETCH(QString, check);
        QFETCH(QString, fields);
        QFETCH(QString, data);
        QFETCH(QString, terminator);
        const ScanInfo info = decodeScan(bytes.toStdString(), 2025);
        QCOMPARE(q(info.symbologyText()), symbology);
        QCOMPARE(q(info.check), check);
        QCOMPARE(q(info.gs1Fields), fields);
        QCOMPARE(q(info.data), data);
        QCOMPARE(q(info.terminator), terminator);
    }

    // zint's GS1 syntax check adds what the parser's table does not know; the verdict sums up
    // every check, and a scan with any problem is never good.
    void gs1SyntaxAndVerdict_data() {
        addColumns<QByteArray, QString, QString, QString>("bytes", "check", "fields", "verdict");
        const auto row = [](const char* name, const QByteArray& bytes, const char* check,
                            const char* fields, const char* verdict) {
            QTest::newRow(name) << bytes << QString::fromUtf8(check) << QString::fromUtf8(fields)
                                << QString::fromUtf8(verdict);
        };
        row("IBAN with a bad checksum", "]C18007GB82WEST12345698765433\r",
            "problem in the GS1 fields",
            "(8007) IBAN GB82WEST12345698765433; GS1 syntax check: AI (8007) position 3: Bad IBAN "
            "checksum '82', expected '55'",
            "problem");
        row("right IBAN", "]C18007GB82WEST12345698765432\r", "",
            "(8007) IBAN GB82WEST12345698765432", "good");
        row("no such country", "]C1422999\r", "problem in the GS1 fields",
            "(422) country of origin 999; GS1 syntax check: AI (422) position 1: Unknown country "
            "code '999'",
            "problem");
        row("identifier the parser lacks, known to GS1", "]C17240ABC\r", "", "(7240) ABC", "good");
        row("wrong check digit said once", "]C10109521234543212\r", "check digit should be 3",
            "(01) GTIN 09521234543212 check digit should be 3", "problem");
        row("Digital Link out of order", "https://id.gs1.org/01/09521234543213/21/S1/10/B2\r",
            "problem in the GS1 fields",
            "(01) GTIN 09521234543213 ok; (21) serial S1; (10) batch B2 [qualifier out of order]",
            "problem");
        row("EAN-13", "]E04006381333931\r", "ok", "", "good");
        row("plain text", "LINNET\r", "", "", "unknown");
    }
    // Garbage is a finding: what a receiver at the wrong settings makes of a code, or a scan
    // the port marked line errors in, is a problem with the way forward; text in Latin-1 or
    // UTF-8 and the separators of GS1 and ISO/IEC 15434 data are not.
    void garbageAndLineErrors_data() {
        addColumns<QByteArray, int, QString, QString>("bytes", "lineErrors", "verdict", "check");
        const auto row = [](const char* name, const QByteArray& bytes, int errors,
                            const char* verdict, const char* check) {
            QTest::newRow(name) << bytes << errors << QString::fromUtf8(verdict)
                                << QString::fromUtf8(check);
        };
        const char* hint = "wrong baud rate, data bits or parity? Tools > Find Settings";
        row("NUL and e0h, as at half the rate", QByteArray("\0\xE0\0\xE0\xE0\0\r\n", 8), 0,
            "problem",
            "6 of 6 bytes are no scanner's (NUL, control characters, bytes no text has): wrong "
            "baud rate, data bits or parity? Tools > Find Settings");
        row("C1 bytes and controls",
            "\x81\x93\x07\x0E"
            "AB\r",
            0, "problem",
            "4 of 6 bytes are no scanner's (NUL, control characters, bytes no text has): wrong "
            "baud rate, data bits or parity? Tools > Find Settings");
        row("garbage with its line errors", QByteArray("\x80\xF8\xFE\0\r", 5), 3, "problem",
            "4 of 4 bytes are no scanner's (NUL, control characters, bytes no text has), 3 line "
            "errors: wrong baud rate, data bits or parity? Tools > Find Settings");
        row("an EAN-13 with a line error", "4006381333931\r\n", 1, "problem",
            (std::string("1 line error: ") + hint).c_str());
        row("a wrong check digit and line errors", "]E04006381333932\r", 2, "problem",
            (std::string("2 line errors: ") + hint + "; check digit should be 1").c_str());
        row("an EAN-13", "4006381333931\r\n", 0, "good", "ok");
        row("Latin-1 text of a 2D code",
            "]Q1Linnet QR: Gr\xF6\xDF"
            "e 42, caf\xE9, 0042\r",
            0, "unknown", "");
        row("the same in UTF-8",
            "]Q1Gr\xC3\xB6\xC3\x9F"
            "e 42, caf\xC3\xA9\r",
            0, "unknown", "");
        row("signs of Latin-1",
            "25\xB0"
            "C \xA7"
            "4 \xBD\r",
            0, "unknown", "");
        row("GS1 with its separator",
            "]C110ABC\x1D"
            "2112345\r",
            0, "good", "");
        row("ISO/IEC 15434 envelope",
            "[)>\x1E"
            "05\x1D"
            "0104006381333931\x1E\x04\r",
            0, "good", "ok");
        row("framed by STX and ETX",
            "\x02"
            "4006381333931\x03\r",
            0, "good", "ok");
        // What 19200 7E1 codes become at 9600 8N1 through a pseudo-terminal (no line errors):
        // letters, signs and a lone accented letter with no word around it.
        row("a code read at half its rate", "\xBDZ[JZ;\xF8", 0, "problem",
            "1 of 7 bytes are no scanner's (NUL, control characters, bytes no text has): wrong "
            "baud rate, data bits or parity? Tools > Find Settings");
        row("a lone accented word in text", "Prix \xE0 5 EUR\r", 0, "unknown", "");
        row("one stray NUL in a long text", QByteArray("LINNET-TEST-0001\0\r", 18), 0, "unknown",
            "");
    }
    void garbageAndLineErrors() {
        QFETCH(QByteArray, bytes);
        QFETCH(int, lineErrors);
        QFETCH(QString, verdict);
        QFETCH(QString, check);
        const ScanInfo info = decodeScan(bytes.toStdString(), 2025, LineFacts{lineErrors});
        QCOMPARE(q(std::string(info.verdictText())), verdict);
        QCOMPARE(q(info.check), check);
    }

    void gs1SyntaxAndVerdict() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, check);
        QFETCH(QString, fields);
        QFETCH(QString, verdict);
        const ScanInfo info = decodeScan(bytes.toStdString(), 2025);
        QCOMPARE(q(info.check), check);
        QCOMPARE(q(info.gs1Fields), fields);
        QCOMPARE(q(std::string(info.verdictText())), verdict);
    }
};

QTEST_APPLESS_MAIN(TestScanDecode)
#include "tst_scan_decode.moc"
