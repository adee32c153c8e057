#include "data_columns.h"
#include "devices/hid_descriptor.h"

#include <QTest>

using namespace devices;

Q_DECLARE_METATYPE(std::vector<devices::HidApplication>)

class TestHidDescriptor : public QObject {
    Q_OBJECT

private slots:
    void reads_data() {
        using Apps = std::vector<HidApplication>;
        addColumns<QByteArray, Apps, bool, bool, bool>("bytes", "applications", "keyboard",
                                                       "scanner", "truncated");
        const auto row = [](const char* name, const QByteArray& hex, const Apps& applications,
                            bool keyboard, bool scanner, bool truncated = false) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << applications << keyboard << scanner
                                << truncated;
        };
        // The start of the boot keyboard descriptor that USB keyboards carry.
        row("boot keyboard", "05010906a101050719e029e715002501750195088102950175088101c0",
            {{0x01, 0x06}}, true, false);
        // A point-of-sale barcode scanner: a two-byte usage page 8Ch.
        row("point-of-sale scanner", "068c000902a101091215002600ff7508953f8102c0", {{0x8C, 0x02}},
            false, true);
        row("mouse, a physical collection inside", "05010902a1010901a100c0c0", {{0x01, 0x02}},
            false, false);
        row("keyboard and consumer control", "05010906a1018501c0050c0901a1018502c0",
            {{0x01, 0x06}, {0x0C, 0x01}}, true, false);
        row("usage with its page in four bytes", "0b06000100a101c0", {{0x01, 0x06}}, true, false);
        row("long item stepped over", "fe0210aabb05010906a101c0", {{0x01, 0x06}}, true, false);
        row("page pushed and popped", "058ca40501b40902a101c0", {{0x8C, 0x02}}, false, true);
        row("a usage belongs to one main item", "05010906810205010902a101c0", {{0x01, 0x02}}, false,
            false);
        // Cut or garbled: what came before counts, nothing is read past the end.
        row("cut inside an item", "05010906a101050719", {{0x01, 0x06}}, true, false, true);
        row("cut inside a long item", "05010906a101c0fe", {{0x01, 0x06}}, true, false, true);
        // A long item that says it holds 16 bytes, with two of them there.
        row("a long item cut short", "05010906a101c0fe1010aabb", {{0x01, 0x06}}, true, false, true);
        row("only a prefix", "09", {}, false, false, true);
        row("end before any collection", "c0c0c005010906", {}, false, false);
        row("empty", "", {}, false, false);
    }
    void reads() {
        QFETCH(QByteArray, bytes);
        QFETCH(std::vector<HidApplication>, applications);
        QFETCH(bool, keyboard);
        QFETCH(bool, scanner);
        QFETCH(bool, truncated);
        const HidDescriptorFacts facts = readHidDescriptor(
            {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())});
        QVERIFY(facts.applications == applications);
        QCOMPARE(facts.isKeyboard(), keyboard);
        QCOMPARE(facts.isBarcodeScanner(), scanner);
        QCOMPARE(facts.truncated, truncated);
    }
};

QTEST_APPLESS_MAIN(TestHidDescriptor)
#include "tst_hid_descriptor.moc"
