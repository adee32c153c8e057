// USB HID devices in umockdev testbeds: which are listed as scanners, and how.
#include "data_columns.h"
#include "devices/hid_devices.h"
#include "hid_testbed.h"
#include "usb_testbed.h"

#include <QSignalSpy>
#include <QTest>

using namespace devices;

using namespace testbed;
using namespace Qt::Literals::StringLiterals;

class TestHidDevices : public QObject {
    Q_OBJECT

    std::unique_ptr<Testbed> bed_;

private slots:
    void init() { bed_ = std::make_unique<Testbed>(); }
    void cleanup() { bed_.reset(); }

    // A keyboard-mode scanner, a point-of-sale scanner and an ordinary keyboard are listed,
    // each as what it is; a mouse is not.
    void listsWhatTypesOrScans() {
        for (const Hid& device :
             {keyboardModeScanner(), pointOfSaleScanner(), ordinaryKeyboard(), mouse()})
            QVERIFY(bed_->add(device.description()));
        const QList<HidInput> found = listHidInputs();
        QStringList seen;
        for (const HidInput& input : found)
            seen << input.description() + QStringLiteral(": ") + QString::number(int(input.kind));
        QCOMPARE(seen, (QStringList{u"Handheld Scanner (USB 1209:0002): 1"_s,
                                    u"Presentation Imager (USB 1209:0003): 2"_s,
                                    u"USB Keyboard (USB 046d:c31c): 0"_s}));
        QCOMPARE(found.at(0).isScanner(), true);
        QCOMPARE(found.at(2).isScanner(), false);
    }

    void monitorSaysWhenOneComes() {
        HidMonitor monitor;
        QSignalSpy changed(&monitor, &HidMonitor::changed);
        QVERIFY(bed_->add(keyboardModeScanner().description()));
        QTRY_VERIFY(changed.count() > 0);
    }

    void classifies_data() {
        addColumns<QString, bool, QString, QString, int>("descriptor", "typesKeys", "manufacturer",
                                                         "product", "kind");
        const auto row = [](const char* name, const QString& descriptor, bool typesKeys,
                            const char* manufacturer, const char* product, int kind) {
            QTest::newRow(name) << descriptor << typesKeys << QString::fromUtf8(manufacturer)
                                << QString::fromUtf8(product) << kind;
        };
        const int none = -1;
        row("keyboard named scanner", BootKeyboardDescriptor, false, "Maker", "Handheld Scanner",
            int(HidKind::KeyboardScanner));
        row("barcode in the maker's name", BootKeyboardDescriptor, false, "Barcode Ltd", "HID",
            int(HidKind::KeyboardScanner));
        row("imager", QString(), true, "", "2D Imager", int(HidKind::KeyboardScanner));
        row("plain keyboard", BootKeyboardDescriptor, false, "Cherry", "Keyboard",
            int(HidKind::Keyboard));
        row("point of sale whatever its name", PointOfSaleDescriptor, false, "", "Keyboard",
            int(HidKind::PointOfSaleScanner));
        row("mouse named reader", MouseDescriptor, false, "", "Card Reader Mouse", none);
        row("nothing known", QString(), false, "", "", none);
    }
    void classifies() {
        QFETCH(QString, descriptor);
        QFETCH(bool, typesKeys);
        QFETCH(QString, manufacturer);
        QFETCH(QString, product);
        QFETCH(int, kind);
        const QByteArray bytes = QByteArray::fromHex(descriptor.toLatin1());
        const auto facts = readHidDescriptor(
            {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())});
        const std::optional<HidKind> found = classifyHid(facts, typesKeys, manufacturer, product);
        QCOMPARE(found ? int(*found) : -1, kind);
    }
};

QTEST_GUILESS_MAIN(TestHidDevices)
#include "tst_hid_devices.moc"
