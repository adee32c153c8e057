#include "devices/hid_scan_report.h"

#include <QTest>

using namespace devices;

namespace {

std::vector<std::uint8_t> bytesOf(const QByteArray& hex) {
    const QByteArray bytes = QByteArray::fromHex(hex);
    return {bytes.begin(), bytes.end()};
}

// A point-of-sale scanner's scanned data report as such scanners describe it: report ID 2, a
// vendor length byte, the three symbology identifiers, 56 bytes of decoded data, two vendor
// bytes, then the "continued" bit and seven bits of padding.
const QByteArray CounterScanner = "058c0902a101"             // usage page 8C, scanner, application
                                  "0912a1028502"             // scanned data report, report ID 2
                                  "150026ff0075089501"       // bytes, one at a time
                                  "0600ff09018102"           // a vendor length byte
                                  "058c09fb09fc09fd95038102" // symbology identifiers 1 to 3
                                  "09fe9538820201"           // decoded data, 56 bytes (buffered)
                                  "0600ff090195028102"       // two vendor bytes
                                  "058c25017501950109ff8102" // decode data continued, one bit
                                  "750795018103"             // padding
                                  "c0c0";

// The report: ID, length, identifiers, data padded to 56 bytes, vendor bytes, flags.
std::vector<std::uint8_t> report(const std::string& aim, const std::string& data, bool continued,
                                 std::uint8_t id = 2) {
    std::vector<std::uint8_t> bytes{id, std::uint8_t(data.size())};
    std::string ids = aim;
    ids.resize(3, '\0');
    bytes.insert(bytes.end(), ids.begin(), ids.end());
    std::string padded = data;
    padded.resize(56, '\0');
    bytes.insert(bytes.end(), padded.begin(), padded.end());
    bytes.push_back(0x12);
    bytes.push_back(0x34);
    bytes.push_back(continued ? 1 : 0);
    return bytes;
}

} // namespace

class TstHidScanReport : public QObject {
    Q_OBJECT

private slots:
    void layoutIsReadFromTheDescriptor() {
        const auto layouts = readScanReportLayouts(bytesOf(CounterScanner));
        QCOMPARE(layouts.size(), std::size_t(1));
        const ScanReportLayout& layout = layouts.front();
        QCOMPARE(layout.reportId, std::uint8_t(2));
        QCOMPARE(*layout.symbology[0], (ScanReportLayout::Field{8, 8, 1}));
        QCOMPARE(*layout.symbology[2], (ScanReportLayout::Field{24, 8, 1}));
        QCOMPARE(*layout.data, (ScanReportLayout::Field{32, 8, 56}));
        QCOMPARE(*layout.continued, (ScanReportLayout::Field{(1 + 3 + 56 + 2) * 8, 1, 1}));
    }

    void reportsGiveTheirPiece() {
        const auto layouts = readScanReportLayouts(bytesOf(CounterScanner));
        struct Case {
            const char* name;
            std::vector<std::uint8_t> report;
            std::optional<ScanReportPiece> piece;
        };
        std::vector<std::uint8_t> cutShort = report("]E0", "4006381333931", false);
        cutShort.resize(20);
        const std::vector<Case> cases{
            {"EAN-13 with its identifier", report("]E0", "4006381333931", false),
             ScanReportPiece{"4006381333931", "]E0", false}},
            {"identifier as code and modifier", report("C1", "ABC", false),
             ScanReportPiece{"ABC", "]C1", false}},
            {"no identifier", report("", "X", true), ScanReportPiece{"X", "", true}},
            {"another report", report("]E0", "1", false, 5), std::nullopt},
            {"cut short", cutShort, std::nullopt},
            {"empty", {}, std::nullopt},
        };
        for (const Case& c : cases) {
            const auto piece = readScanReport(layouts, c.report);
            QVERIFY2(piece == c.piece, c.name);
        }
    }

    // A scan longer than one report comes in pieces, each but the last marked continued.
    void piecesJoinIntoOneScan() {
        const auto layouts = readScanReportLayouts(bytesOf(CounterScanner));
        const std::string first(56, 'A');
        ScanReportJoiner joiner;
        QVERIFY(!joiner.feed(*readScanReport(layouts, report("]Q1", first, true))));
        QVERIFY(joiner.pending());
        const auto scan = joiner.feed(*readScanReport(layouts, report("]Q1", "BC", false)));
        QVERIFY(scan);
        QCOMPARE(scan->bytes, "]Q1" + first + "BC");
        QVERIFY(!scan->cut);
        QVERIFY(!joiner.pending());
    }

    void anEndlessScanIsCut() {
        ScanReportJoiner joiner;
        const std::string piece(4096, 'x');
        std::optional<ScanReportJoiner::Scan> scan;
        for (int i = 0; i < 20 && !scan; ++i)
            scan = joiner.feed({piece, "", i < 19});
        QVERIFY(scan);
        QCOMPARE(scan->bytes.size(), ScanReportJoiner::MaxScanBytes);
        QVERIFY(scan->cut);
    }

    // Without report IDs, usages from a range, and a descriptor that ends inside an item.
    void otherDescriptorShapes() {
        // Usage page 8C, usage minimum FB, maximum FE: three identifiers then data bytes.
        const auto ranged = readScanReportLayouts(bytesOf("058c0902a101150026ff0075089508"
                                                          "19fb29fe"
                                                          "8102c0"));
        QCOMPARE(ranged.size(), std::size_t(1));
        QCOMPARE(ranged.front().reportId, std::uint8_t(0));
        QCOMPARE(*ranged.front().data, (ScanReportLayout::Field{24, 8, 5}));
        const std::vector<std::uint8_t> plain{']', 'E', '0', '1', '2', '3', 0, 0};
        QCOMPARE(readScanReport(ranged, plain), (ScanReportPiece{"123", "]E0", false}));

        QByteArray cut = CounterScanner;
        cut.chop(40);
        QVERIFY(!readScanReportLayouts(bytesOf(cut)).empty());
        // The test bed's scanner names no decoded data: nothing to read.
        QVERIFY(
            readScanReportLayouts(bytesOf("068c000902a101091215002600ff7508953f8102c0")).empty());
    }
};

QTEST_APPLESS_MAIN(TstHidScanReport)
#include "tst_hid_scan_report.moc"
