// The sentences the windows write about ports and devices: tooltips, the ports connected now, and
// the advice for a device the user may not open.
#include "base/number_text.h"
#include "data_columns.h"
#include "sample_devices.h"
#include "ui/window_texts.h"

#include <QTest>

using namespace base;
using namespace ui;
using namespace devices;

Q_DECLARE_METATYPE(devices::PortInfo)
Q_DECLARE_METATYPE(devices::GroupAccess)
Q_DECLARE_METATYPE(devices::NumberedDevice)
Q_DECLARE_METATYPE(devices::OverriddenPort)

class TestWindowTexts : public QObject {
    Q_OBJECT

private slots:
    // A number that does not fit, said with the number as it was written.
    void overflows() {
        QCOMPARE(ui::overflowText({base::NumberOverflow::Kind::Double, u"1e400"_qs}),
                 u"Overflow: 1e400 is too large to hold as a number"_qs);
        QCOMPARE(ui::overflowText({base::NumberOverflow::Kind::Radix, u"&H100000000"_qs}),
                 u"Overflow: &H100000000 needs more than 32 bits"_qs);
        QCOMPARE(ui::overflowText({base::NumberOverflow::Kind::Int16, u"32768"_qs}),
                 u"Overflow: 32768 is outside -32768 to 32767"_qs);
        QCOMPARE(ui::overflowText({base::NumberOverflow::Kind::Finite, {}}),
                 u"Overflow: the number is too large to hold"_qs);
    }

    void namesAndTooltips_data() {
        addColumns<PortInfo, QString>("port", "tooltip");

        const QString scannerName = QStringLiteral("Area-Imaging Scanner by Scanner Maker (USB "
                                                   "1209:0001, serial 20150CE5C5) on /dev/ttyACM0");
        QTest::newRow("present") << PortInfo{3, {}, scanner(), {}, true}
                                 << "COM3: " + scannerName + ", connected";
        QTest::newRow("gone") << PortInfo{3, {}, scanner(), {}, false}
                              << "COM3: " + scannerName + ", not connected";
        QTest::newRow("on-board") << PortInfo{1, {}, onBoard(0), {}, true}
                                  << "COM1: on-board serial port /dev/ttyS0, present";
        SerialDevice console = onBoard(0);
        console.console = true;
        QTest::newRow("the system console") << PortInfo{1, {}, console, {}, true}
                                            << "COM1: on-board serial port /dev/ttyS0, the "
                                               "system console (not a scanner's port)";

        SerialDevice bare = scanner();
        bare.manufacturer.clear();
        bare.product.clear();
        bare.serialNumber.clear();
        bare.driver = QStringLiteral("ch341");
        bare.node = QStringLiteral("/dev/ttyUSB0");
        QTest::newRow("adapter without names or serial")
            << PortInfo{4, {}, bare, {}, true}
            << "COM4: USB-serial adapter (USB 1209:0001) on /dev/ttyUSB0, connected";
        SerialDevice dual = bare;
        dual.interfaceNumber = QStringLiteral("01");
        dual.product = QStringLiteral("Dual RS232");
        QTest::newRow("second port of a dual adapter")
            << PortInfo{5, {}, dual, {}, true}
            << "COM5: Dual RS232 (USB 1209:0001, interface 01) on /dev/ttyUSB0, connected";
        SerialDevice platform;
        platform.kind = SerialKind::Platform;
        platform.node = QStringLiteral("/dev/ttyAMA0");
        platform.driver = QStringLiteral("uart-pl011");
        QTest::newRow("platform UART") << PortInfo{6, {}, platform, {}, true}
                                       << "COM6: serial port /dev/ttyAMA0 (uart-pl011), connected";
        SerialDevice link;
        link.kind = SerialKind::Bluetooth;
        link.node = QStringLiteral("/dev/rfcomm0");
        QTest::newRow("Bluetooth") << PortInfo{7, {}, link, {}, false}
                                   << "COM7: Bluetooth serial link /dev/rfcomm0, not connected";
        QTest::newRow("remembered from an earlier run")
            << PortInfo{8, {}, std::nullopt, QStringLiteral("usb 1209:0001 serial X if 00"), false}
            << "COM8: kept for a device seen before (usb 1209:0001 serial X if 00), not connected";
        QTest::newRow("override") << PortInfo{3, QByteArray("/dev/pts/7"), scanner(), {}, true}
                                  << "COM3: /dev/pts/7 (set by LINNET_COM3), connected";
        QTest::newRow("override with placeholders and a byte that is no text")
            << PortInfo{1, QByteArray("/tmp/a%1b%2/dev\xFF"), std::nullopt, {}, true}
            << "COM1: /tmp/a%1b%2/dev\\xFF (set by LINNET_COM1), connected";
        SerialDevice hostile = scanner();
        hostile.product = QStringLiteral("<img src=/dev/zero>\u202Eevil\n");
        QTest::newRow("device strings that look like markup or reorder the line")
            << PortInfo{3, {}, hostile, {}, true}
            << "COM3: <img src=/dev/zero>\\u202Eevil\\n by Scanner Maker (USB 1209:0001, serial "
               "20150CE5C5) on /dev/ttyACM0, connected";
        QTest::newRow("nothing") << PortInfo{9, {}, std::nullopt, {}, false}
                                 << "COM9: no serial device has this number";
    }

    void namesAndTooltips() {
        QFETCH(PortInfo, port);
        QFETCH(QString, tooltip);
        QCOMPARE(ui::portTooltipText(port), tooltip);
    }

    void connectedNow_data() {
        addColumns<QList<OverriddenPort>, QList<NumberedDevice>, QString>("overrides", "present",
                                                                          "text");

        using Devices = QList<NumberedDevice>;
        using Overrides = QList<OverriddenPort>;
        // What a person with nothing serial plugged in needs to hear: the cable, the power, and
        // that a keyboard-mode scanner is no serial device.
        const QString nothing = QStringLiteral(
            "No serial device is connected now. Check the cable and that the scanner is switched "
            "on. A scanner in keyboard (HID) mode is no serial device: switch it to its serial "
            "(USB COM) mode first, usually by scanning a set-up code from its manual.");
        QTest::newRow("the scanner")
            << Overrides{} << Devices{{3, scanner()}}
            << "Connected now: COM3 = Area-Imaging Scanner (/dev/ttyACM0). Choose Com3 in Port "
               "Setting.";
        QTest::newRow("an on-board port and the scanner")
            << Overrides{} << Devices{{1, onBoard(0)}, {3, scanner()}}
            << "Connected now: COM3 = Area-Imaging Scanner (/dev/ttyACM0). Choose Com3 in Port "
               "Setting. On-board serial ports present (nothing is known to be attached): COM1 = "
               "on-board serial port (/dev/ttyS0).";
        SerialDevice console = onBoard(0);
        console.console = true;
        QTest::newRow("the system console is named, never a choice")
            << Overrides{} << Devices{{1, console}}
            << nothing + " On-board serial ports present (nothing is known to be attached): COM1 = "
                         "on-board serial port (/dev/ttyS0), the system console.";
        SerialDevice other = scanner();
        other.node = QStringLiteral("/dev/ttyUSB0");
        other.product = QStringLiteral("FT232R USB UART");
        QTest::newRow("two devices, one without a number")
            << Overrides{} << Devices{{3, scanner()}, {0, other}}
            << "Connected now: COM3 = Area-Imaging Scanner (/dev/ttyACM0), no number = FT232R USB "
               "UART (/dev/ttyUSB0). Choose Com3 in Port Setting.";
        QTest::newRow("two numbered devices")
            << Overrides{} << Devices{{3, scanner()}, {4, other}}
            << "Connected now: COM3 = Area-Imaging Scanner (/dev/ttyACM0), COM4 = FT232R USB UART "
               "(/dev/ttyUSB0). Choose the scanner's number in Port Setting.";
        QTest::newRow("only an on-board port: nothing is connected")
            << Overrides{} << Devices{{1, onBoard(0)}}
            << nothing + " On-board serial ports present (nothing is known to be attached): COM1 = "
                         "on-board serial port (/dev/ttyS0).";
        // COM1 opens the simulator of LINNET_COM1, not the on-board port that has the number.
        QTest::newRow("a variable leads COM1 elsewhere")
            << Overrides{{1, "/dev/pts/3", true}, {5, "/dev/gone", false}}
            << Devices{{1, onBoard(0)}}
            << "Connected now: COM1 = /dev/pts/3 (set by LINNET_COM1). Choose Com1 in Port "
               "Setting. No COM number opens on-board serial port (/dev/ttyS0), while LINNET_COM1 "
               "is set.";
        // A scanner whose number a variable takes is named, but never as a choice.
        QTest::newRow("a variable takes the scanner's number")
            << Overrides{{3, "/dev/pts/3", false}} << Devices{{3, scanner()}}
            << nothing +
                   " No COM number opens Area-Imaging Scanner (/dev/ttyACM0), while LINNET_COM3 "
                   "is set.";
        SerialDevice hostile = scanner();
        hostile.product = QStringLiteral("\u202Eevil");
        QTest::newRow("a name that would reverse the line")
            << Overrides{} << Devices{{3, hostile}}
            << "Connected now: COM3 = \\u202Eevil (/dev/ttyACM0). Choose Com3 in Port Setting.";
        QTest::newRow("none") << Overrides{} << Devices{} << nothing;
    }

    void connectedNow() {
        QFETCH(QList<OverriddenPort>, overrides);
        QFETCH(QList<NumberedDevice>, present);
        QFETCH(QString, text);
        QCOMPARE(ui::connectedNowText(overrides, present), text);
    }

    // The one advice on groups, also for a user who is in the group already (who must not be
    // told to join it).
    void permissionAdvice_data() {
        addColumns<GroupAccess, QString>("access", "text");
        QTest::newRow("not a member")
            << GroupAccess{QStringLiteral("dialout"), false, false}
            << "/dev/ttyACM0 belongs to the group \"dialout\", which your user is not in: add it "
               "first (sudo usermod -aG dialout $USER), then log out and in again.";
        QTest::newRow("added since logging in")
            << GroupAccess{QStringLiteral("uucp"), false, true}
            << "/dev/ttyACM0 belongs to the group \"uucp\". Your user was added to it after this "
               "session began: log out and in again.";
        QTest::newRow("a member already")
            << GroupAccess{QStringLiteral("dialout"), true, true}
            << "/dev/ttyACM0 belongs to the group \"dialout\", which your user is in, yet it may "
               "not be opened: check its permissions (ls -l /dev/ttyACM0).";
    }

    void permissionAdvice() {
        QFETCH(GroupAccess, access);
        QFETCH(QString, text);
        QVERIFY(!text.contains(u"add it") || !access.inAccount);
        QCOMPARE(ui::permissionHintText(QStringLiteral("/dev/ttyACM0"), access), text);
        // Advice on the group is given in this one place; the port's own sentence states only
        // the refusal.
    }
};

QTEST_GUILESS_MAIN(TestWindowTexts)
#include "tst_window_texts.moc"
