// UPC-E check digits against zint's: zint makes each code from its seven digits and gives the
// eighth; the program's rule (the check digit of the UPC-A the code stands for) must agree, for
// codes where an EAN-8's rule would give another digit.
#include "data_columns.h"
#include "scan_log/model/gs1_check_digit.h"
#include "scan_log/model/scan_info.h"

#include <QTest>

#include <memory>

#include <zint.h>

namespace {

// The eight digits zint makes of seven, or nothing when it refuses them.
std::string zintUpcE(const std::string& seven) {
    const std::unique_ptr<zint_symbol, decltype(&ZBarcode_Delete)> symbol(ZBarcode_Create(),
                                                                          &ZBarcode_Delete);
    symbol->symbology = BARCODE_UPCE;
    if (ZBarcode_Encode(symbol.get(), reinterpret_cast<const unsigned char*>(seven.data()),
                        int(seven.size())) >= ZINT_ERROR)
        return {};
    return reinterpret_cast<const char*>(symbol->text);
}

} // namespace

class TestUpcE : public QObject {
    Q_OBJECT

private slots:
    void checkDigitsAsZintMakesThem_data() {
        QTest::addColumn<QByteArray>("seven");
        QTest::addColumn<bool>("unlikeEan8");
        // The last digit of the six picks the expansion: 0-2, 3, 4 and 5-9 (where the two rules
        // happen to agree: the UPC-A's digits weigh as the EAN-8's do).
        for (const char* seven : {"0425261", "0123453", "1234574", "1000001"})
            QTest::newRow(seven) << QByteArray(seven) << true;
        QTest::newRow("0654327") << QByteArray("0654327") << false;
    }
    void checkDigitsAsZintMakesThem() {
        QFETCH(QByteArray, seven);
        QFETCH(bool, unlikeEan8);
        const std::string made = zintUpcE(seven.toStdString());
        QCOMPARE(made.size(), std::size_t(8));
        QCOMPARE(made.substr(0, 7), seven.toStdString());
        QCOMPARE(scan_log::upcECheckText(made), std::string("ok"));
        // ... where the EAN-8 rule says otherwise: what the old check called wrong.
        QCOMPARE(scan_log::checkDigitText(made) != "ok", unlikeEan8);
        // The Scan Log names it as such, with and without its identifier.
        const scan_log::ScanInfo withIdentifier = scan_log::decodeScan("]E0" + made + "\r", 2026);
        QCOMPARE(withIdentifier.symbology, std::string("UPC-E"));
        QCOMPARE(withIdentifier.check, std::string("ok"));
        QCOMPARE(withIdentifier.verdictText(), std::string_view("good"));
        const scan_log::ScanInfo guessed = scan_log::decodeScan(made + "\r", 2026);
        QCOMPARE(guessed.symbologyText(),
                 std::string(unlikeEan8 ? "UPC-E (guess)" : "EAN-8 or UPC-E (guess)"));
        QCOMPARE(guessed.check, std::string("ok"));
    }
};

QTEST_APPLESS_MAIN(TestUpcE)
#include "tst_upc_e.moc"
