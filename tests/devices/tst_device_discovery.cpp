// Serial devices found, numbered and followed on umockdev testbeds: emulated sysfs devices with
// udev properties, /dev nodes backed by pseudo-terminals, and uevents. Runs under
// umockdev-wrapper (ctest starts it so).
#include "data_columns.h"
#include "devices/device_monitor.h"
#include "devices/device_registry.h"
#include "usb_testbed.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace devices;

using namespace testbed;

namespace {

// The number the registry gives the device on a node, 0 for none or absent.
int numberOn(const DeviceRegistry& registry, const QString& node) {
    for (const NumberedDevice& entry : registry.numberedDevices())
        if (entry.device.node == node)
            return entry.number;
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(devices::FollowMode)

class TestDeviceDiscovery : public QObject {
    Q_OBJECT

    TestbedRun run_;
    qint64 clock_ = 1'000'000;

    void add(const QString& description) { QVERIFY(run_.bed->add(description)); }
    void plug(const Usb& device) { QVERIFY(run_.bed->plug(device)); }
    void unplug(const Usb& device) { run_.bed->unplug(device); }
    // Every kind of terminal, three USB devices among them.
    void addAll() {
        add(onBoardUarts);
        add(otherTerminals);
        plug(scanner());
        plug(ftdi());
        plug(ch340());
    }
    std::unique_ptr<DeviceRegistry> registry(FollowMode mode = FollowMode::Udev,
                                             const QString& folder = {}) {
        DeviceRegistry::Options options;
        options.configFolder = folder.isEmpty() ? run_.config->path() : folder;
        options.follow = mode;
        options.clock = [this] { return ++clock_; };
        return std::make_unique<DeviceRegistry>(options);
    }

private slots:
    void init() { run_.start(); }
    void cleanup() { run_.stop(); }
    void listsSerialPortsOnly() {
        addAll();
        const DeviceMonitor monitor(FollowMode::Udev);
        QStringList nodes;
        for (const SerialDevice& device : monitor.devices())
            nodes << device.node;
        // Not the placeholder ttyS3, not the virtual console tty0.
        QCOMPARE(nodes, QStringList({"/dev/rfcomm0", "/dev/ttyACM0", "/dev/ttyAMA0", "/dev/ttyS0",
                                     "/dev/ttyUSB0", "/dev/ttyUSB1"}));
    }

    // The kernel's console is marked, read from sysfs; where the sysfs shown has no console
    // (as here before it is added) the running kernel's /proc/consoles is not taken for it. An
    // on-board node with no UART behind it is told from sysfs alone, without opening it.
    void consoleAndPlaceholders() {
        add(onBoardUarts);
        auto consoleOf = [] {
            const DeviceMonitor monitor(FollowMode::Udev);
            for (const SerialDevice& device : monitor.devices())
                if (device.node == QLatin1String("/dev/ttyS0"))
                    return device.console;
            return false;
        };
        QVERIFY(!consoleOf());
        add(QStringLiteral("P: /devices/virtual/tty/console\nN: console\nE: SUBSYSTEM=tty\n"
                           "A: active=tty0 ttyS0\n"));
        QVERIFY(consoleOf());
        QCOMPARE(onBoardHardware(QStringLiteral("/dev/ttyS0")), OnBoardHardware::Uart);
        QCOMPARE(onBoardHardware(QStringLiteral("/dev/ttyS3")), OnBoardHardware::NoHardware);
        QCOMPARE(onBoardHardware(QStringLiteral("/dev/ttyS9")), OnBoardHardware::Absent);
        QCOMPARE(onBoardHardware(QStringLiteral("/dev/ttyACM0")), OnBoardHardware::Absent);
    }

    // Kind, driver, by-id link and interface as read from sysfs and udev, and the name made
    // of them ("kind" is a SerialKind).
    void describesEachPort_data() {
        // described: kind|driver|byId|interface|displayName
        addColumns<QString, QString>("node", "described");
        const auto row = [](const char* name, const char* node, SerialKind kind,
                            const QString& rest) {
            QTest::newRow(name) << node << QString::number(int(kind)) + '|' + rest;
        };
        row("CDC-ACM scanner", "/dev/ttyACM0", SerialKind::Usb,
            "cdc_acm|" + scanner().byId +
                "|00|Area-Imaging Scanner by Scanner Maker (USB 1209:0001, serial 20150CE5C5) on "
                "/dev/ttyACM0");
        row("USB-serial adapter with a serial number", "/dev/ttyUSB0", SerialKind::Usb,
            "ftdi_sio||00|FT232R USB UART by FTDI (USB 0403:6001, serial A50285BI) on "
            "/dev/ttyUSB0");
        row("USB-serial adapter without one: names from the database", "/dev/ttyUSB1",
            SerialKind::Usb,
            "ch341||00|CH340 serial converter by QinHeng Electronics (USB 1a86:7523) on "
            "/dev/ttyUSB1");
        row("on-board UART", "/dev/ttyS0", SerialKind::OnBoard,
            "serial8250|||on-board serial port /dev/ttyS0");
        row("platform UART", "/dev/ttyAMA0", SerialKind::Platform,
            "uart-pl011|||serial port /dev/ttyAMA0 (uart-pl011)");
        row("Bluetooth", "/dev/rfcomm0", SerialKind::Bluetooth,
            "rfcomm|||Bluetooth serial link /dev/rfcomm0");
    }
    void describesEachPort() {
        QFETCH(QString, node);
        QFETCH(QString, described);
        addAll();
        const DeviceMonitor monitor(FollowMode::Udev);
        const QList<SerialDevice> devices = monitor.devices();
        const auto it = std::find_if(devices.begin(), devices.end(),
                                     [&](const SerialDevice& d) { return d.node == node; });
        QVERIFY(it != devices.end());
        QCOMPARE(QStringList({QString::number(int(it->kind)), it->driver, it->byIdLink,
                              it->interfaceNumber, it->displayName()})
                     .join('|'),
                 described);
    }

    void numbersStayAcrossRuns() {
        add(onBoardUarts);
        plug(scanner());
        plug(ftdi());
        plug(ch340());
        {
            const auto first = registry();
            QCOMPARE(numberOn(*first, QStringLiteral("/dev/ttyS0")), 1);
            QCOMPARE(numberOn(*first, QStringLiteral("/dev/ttyACM0")), 3);
            QCOMPARE(numberOn(*first, QStringLiteral("/dev/ttyUSB0")), 4);
            QCOMPARE(numberOn(*first, QStringLiteral("/dev/ttyUSB1")), 5);
        }
        unplug(scanner());

        // The next run: the scanner's number waits for it.
        const auto second = registry();
        QCOMPARE(numberOn(*second, QStringLiteral("/dev/ttyUSB0")), 4);
        QCOMPARE(second->target(3).source, PortTarget::Source::AbsentDevice);
        QCOMPARE(second->portInfo(3).rememberedIdentity,
                 QStringLiteral("usb 1209:0001 serial 20150CE5C5 if 00"));
        QVERIFY(!second->portInfo(3).present);
        QSignalSpy added(second.get(), &DeviceRegistry::deviceAdded);
        Usb another = scanner().at(QStringLiteral("1-7"), QStringLiteral("ttyACM1"));
        another.serial = QStringLiteral("OTHER1");
        plug(another);
        QTRY_COMPARE(added.count(), 1);
        QCOMPARE(added.at(0).at(0).toInt(), 6);
        plug(scanner());
        QTRY_COMPARE(added.count(), 2);
        QCOMPARE(added.at(1).at(0).toInt(), 3);
        QCOMPARE(second->target(3).source, PortTarget::Source::Device);
        QCOMPARE(second->target(3).path, QStringLiteral("/dev/ttyACM0"));
    }

    void identicalAdaptersWithoutSerialNumbers() {
        const Usb left = ch340().at(QStringLiteral("1-4"), QStringLiteral("ttyUSB0"));
        const Usb right = ch340().at(QStringLiteral("1-5"), QStringLiteral("ttyUSB1"));
        plug(left);
        plug(right);
        {
            const auto first = registry();
            QCOMPARE(numberOn(*first, QStringLiteral("/dev/ttyUSB0")), 3);
            QCOMPARE(numberOn(*first, QStringLiteral("/dev/ttyUSB1")), 4);
        }
        unplug(left);
        unplug(right);
        // Next time the kernel names them the other way round: the numbers go with the ports.
        plug(right.at(right.port, QStringLiteral("ttyUSB0")));
        plug(left.at(left.port, QStringLiteral("ttyUSB1")));
        const auto second = registry();
        QCOMPARE(numberOn(*second, QStringLiteral("/dev/ttyUSB0")), 4);
        QCOMPARE(numberOn(*second, QStringLiteral("/dev/ttyUSB1")), 3);
    }

    void scannerMovedToAnotherPort() {
        plug(scanner());
        plug(ch340());
        const auto reg = registry();
        QCOMPARE(numberOn(*reg, QStringLiteral("/dev/ttyACM0")), 3);
        QCOMPARE(numberOn(*reg, QStringLiteral("/dev/ttyUSB1")), 4);
        QSignalSpy added(reg.get(), &DeviceRegistry::deviceAdded);

        unplug(scanner());
        unplug(ch340());
        // Serial number known: the scanner keeps COM3 on another port and node. The adapter without
        // one is known by its port only, so on another port it is another device.
        plug(scanner().at(QStringLiteral("1-6"), QStringLiteral("ttyACM1")));
        plug(ch340().at(QStringLiteral("1-5"), QStringLiteral("ttyUSB1")));
        QTRY_COMPARE(added.count(), 2);
        QCOMPARE(added.at(0).at(0).toInt(), 3);
        QCOMPARE(added.at(1).at(0).toInt(), 5);
        QCOMPARE(reg->target(3).path, QStringLiteral("/dev/ttyACM1"));
    }

    void followsPlugging_data() {
        QTest::addColumn<FollowMode>("mode");
        QTest::newRow("udev events") << FollowMode::Udev;
        QTest::newRow("no udev daemon: watching /dev") << FollowMode::DevWatch;
    }

    void followsPlugging() {
        QFETCH(FollowMode, mode);
        add(onBoardUarts);
        const auto reg = registry(mode);
        QCOMPARE(reg->followMode(), mode);
        QSignalSpy added(reg.get(), &DeviceRegistry::deviceAdded);
        QSignalSpy removed(reg.get(), &DeviceRegistry::deviceRemoved);
        QSignalSpy changed(reg.get(), &DeviceRegistry::devicesChanged);
        QVERIFY(!reg->portInfo(3).device && reg->portInfo(3).rememberedIdentity.isEmpty());
        QCOMPARE(reg->portInfo(1).device->kind, SerialKind::OnBoard);
        QVERIFY(reg->portInfo(1).present);
        for (int round = 1; round <= 2; ++round) {
            plug(scanner());
            QTRY_COMPARE(added.count(), round);
            QCOMPARE(added.last().at(0).toInt(), 3);
            QCOMPARE(reg->portInfo(3).device->node, QStringLiteral("/dev/ttyACM0"));
            QVERIFY(reg->portInfo(3).present);
            const QList<NumberedDevice> numbered = reg->numberedDevices();
            QCOMPARE(numbered.size(), 2);
            QCOMPARE(numbered[0].number, 1);
            QCOMPARE(numbered[1].number, 3);
            const PortTarget present = reg->target(3);
            QCOMPARE(present.source, PortTarget::Source::Device);
            QCOMPARE(present.path, QStringLiteral("/dev/ttyACM0"));

            unplug(scanner());
            QTRY_COMPARE(removed.count(), round);
            QCOMPARE(removed.last().at(0).toInt(), 3);
            QCOMPARE(reg->portInfo(3).device->node, QStringLiteral("/dev/ttyACM0"));
            QVERIFY(!reg->portInfo(3).present);
            QCOMPARE(reg->target(3).source, PortTarget::Source::AbsentDevice);
            QCOMPARE(reg->devices().size(), 1);
        }
        QVERIFY(changed.count() >= 4);
        QCOMPARE(added.count(), 2); // once per plug, however many events udev sends
    }

    void damagedTableFile() {
        {
            QFile file(run_.config->filePath(QStringLiteral("com-numbers")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("\x01\xffgarbage\n7 100 usb 1209:0001 serial 20150CE5C5 if 00\n");
        }
        plug(scanner());
        plug(ftdi());
        const auto reg = registry();
        QCOMPARE(reg->problems().size(), 1);
        QCOMPARE(reg->problems()[0].kind, DevicesProblem::Kind::TableDamaged);
        // What could be read holds; the rest is given afresh, and the file is whole again.
        QCOMPARE(numberOn(*reg, QStringLiteral("/dev/ttyACM0")), 7);
        QCOMPARE(numberOn(*reg, QStringLiteral("/dev/ttyUSB0")), 3);
        QFile file(ComTableFile(run_.config->path()).path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const ParsedComTable parsed = parseComTable(file.readAll());
        QCOMPARE(parsed.badLines, 0);
        QCOMPARE(parsed.entries.size(), 2);
    }

    void unwritableTableFile() {
        const QString notAFolder = run_.config->filePath(QStringLiteral("plain-file"));
        QFile plain(notAFolder);
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();

        plug(scanner());
        const auto reg = registry(FollowMode::Udev, notAFolder);
        QCOMPARE(numberOn(*reg, QStringLiteral("/dev/ttyACM0")), 3);
        QCOMPARE(reg->problems().size(), 1);
        QCOMPARE(reg->problems()[0].kind, DevicesProblem::Kind::TableUnwritable);
        QSignalSpy found(reg.get(), &DeviceRegistry::problemFound);
        QSignalSpy added(reg.get(), &DeviceRegistry::deviceAdded);
        plug(ftdi());
        QTRY_COMPARE(added.count(), 1);
        QCOMPARE(added.at(0).at(0).toInt(), 4);
        QCOMPARE(found.count(), 0); // noted once for the run
    }

    void moreDevicesThanNumbers() {
        // Sixteen remembered devices hold COM3 to COM18; the one behind COM11 was seen longest ago.
        QList<ComEntry> remembered;
        for (int n = 3; n <= 18; ++n)
            remembered.append(
                {QStringLiteral("usb-port /elsewhere/%1 if 00").arg(n), n, n == 11 ? 10 : 500 + n});
        {
            QFile file(run_.config->filePath(QStringLiteral("com-numbers")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(formatComTable(remembered));
        }
        const auto reg = registry();
        QSignalSpy added(reg.get(), &DeviceRegistry::deviceAdded);
        plug(scanner());
        QTRY_COMPARE(added.count(), 1);
        QCOMPARE(added.at(0).at(0).toInt(), 11);

        QFile file(ComTableFile(run_.config->path()).path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(!text.contains("/elsewhere/11 "));
        const ComTable table(parseComTable(text).entries);
        QCOMPARE(table.entries().size(), 16);
        QCOMPARE(table.identityOf(11), QStringLiteral("usb 1209:0001 serial 20150CE5C5 if 00"));
    }
};

QTEST_GUILESS_MAIN(TestDeviceDiscovery)
#include "tst_device_discovery.moc"
