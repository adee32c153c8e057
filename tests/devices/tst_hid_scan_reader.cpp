#include "devices/hid_devices.h"
#include "devices/hid_scan_reader.h"

#include <QSignalSpy>
#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

using namespace devices;
using namespace Qt::Literals::StringLiterals;

namespace {

// A counter scanner's descriptor: report 2 with the three symbology identifiers, eight bytes of
// decoded data and the continued bit.
const QByteArray Descriptor = QByteArray::fromHex("058c0902a1010912a1028502150026ff007508"
                                                  "058c09fb09fc09fd95038102"
                                                  "09fe9508820201"
                                                  "25017501950109ff8102750795018103c0c0");

QByteArray report(const QByteArray& aim, const QByteArray& data, bool continued) {
    QByteArray bytes = "\x02" + aim.leftJustified(3, '\0') + data.leftJustified(8, '\0');
    bytes.append(continued ? '\x01' : '\x00');
    return bytes;
}

std::vector<ScanReportLayout> layouts() {
    return readScanReportLayouts({reinterpret_cast<const std::uint8_t*>(Descriptor.constData()),
                                  std::size_t(Descriptor.size())});
}

} // namespace

// The reader on one end of a packet socket pair, which keeps report boundaries as a hidraw node
// does; the test writes the scanner's reports into the other end.
class TstHidScanReader : public QObject {
    Q_OBJECT

private slots:
    void aScanOverTwoReportsIsOneScan() {
        int pair[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
        base::UniqueFd scanner(pair[1]);
        qint64 now = 1000;
        HidScanReader reader(base::UniqueFd(pair[0]), layouts(), [&now] { return now; });
        QSignalSpy scans(&reader, &HidScanReader::scanned);
        const QByteArray first = report("]E0", "40063813", true);
        QCOMPARE(::write(scanner.get(), first.constData(), first.size()), first.size());
        QTest::qWait(20);
        QCOMPARE(scans.size(), 0);
        now = 1012;
        const QByteArray second = report("]E0", "33931", false);
        QCOMPARE(::write(scanner.get(), second.constData(), second.size()), second.size());
        QTRY_COMPARE(scans.size(), 1);
        QCOMPARE(scans.at(0).at(0).toByteArray(), "]E04006381333931"_ba);
        QCOMPARE(scans.at(0).at(1).toLongLong(), 1000);
        QCOMPARE(scans.at(0).at(2).toLongLong(), 1012);
        QCOMPARE(scans.at(0).at(3).toBool(), false);
    }

    void theOtherEndGoingAwayEndsTheReader() {
        int pair[2];
        QCOMPARE(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
        HidScanReader reader(base::UniqueFd(pair[0]), layouts());
        QSignalSpy ended(&reader, &HidScanReader::ended);
        ::close(pair[1]);
        QTRY_COMPARE(ended.size(), 1);
    }

    void aNodeThatCannotBeOpenedSaysWhy() {
        int error = 0;
        QVERIFY(!HidScanReader::open(u"/nonexistent/hidraw9"_s, layouts(), error));
        QCOMPARE(error, ENOENT);
    }

    void sourceNamesSayHowTheScannerIsRead() {
        HidInput input;
        input.vendorId = u"1209"_s;
        input.productId = u"0003"_s;
        input.product = u"Counter Scanner"_s;
        input.kind = HidKind::PointOfSaleScanner;
        QCOMPARE(input.sourceName(), u"Counter Scanner (HID, 1209:0003)"_s);
        input.product = u"Handheld Scanner"_s;
        input.productId = u"0002"_s;
        input.kind = HidKind::KeyboardScanner;
        QCOMPARE(input.sourceName(), u"Handheld Scanner (keys, 1209:0002)"_s);
    }
};

QTEST_MAIN(TstHidScanReader)
#include "tst_hid_scan_reader.moc"
