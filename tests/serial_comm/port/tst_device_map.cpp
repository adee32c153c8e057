#include "serial_comm/port/device_map.h"

#include <QTest>

#include <cerrno>
#include <cstring>

using namespace serial_comm;

class TestDeviceMap : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void mapsPortNumbersToDevices();
    void openFailureSaysWhatToDo_data();
    void openFailureSaysWhatToDo();
    void lostDeviceText();
    void deviceExistsNow();
};

void TestDeviceMap::cleanup() {
    qunsetenv("LINNET_COM1");
    qunsetenv("LINNET_COM3");
    qunsetenv("LINNET_COM18");
}

void TestDeviceMap::mapsPortNumbersToDevices() {
    QCOMPARE(devicePathForPort(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(devicePathForPort(18), QStringLiteral("/dev/ttyS17"));

    qputenv("LINNET_COM3", "/dev/ttyACM0");
    QCOMPARE(devicePathForPort(3), QStringLiteral("/dev/ttyACM0"));
    // The variable of one port does not leak into another's.
    QCOMPARE(devicePathForPort(1), QStringLiteral("/dev/ttyS0"));

    qputenv("LINNET_COM18", "");
    QCOMPARE(devicePathForPort(18), QStringLiteral("/dev/ttyS17"));
}

void TestDeviceMap::openFailureSaysWhatToDo_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("showsSystemReason");
    QTest::addColumn<QString>("advice");

    const QString dialout = QStringLiteral(
        "add it to the \"dialout\" group (for example sudo usermod -aG dialout $USER), then log "
        "out and in again.");
    const QString missing = QStringLiteral("There is no such device: plug in the scanner, or set "
                                           "LINNET_COM3 to the device it uses (for example "
                                           "LINNET_COM3=/dev/ttyACM0).");
    const QString inUse = QStringLiteral("The port is in use by another program: close that "
                                         "program, then open the port again.");
    QTest::newRow("EACCES") << EACCES << true << dialout;
    QTest::newRow("EPERM") << EPERM << true << dialout;
    QTest::newRow("ENOENT") << ENOENT << true << missing;
    QTest::newRow("ENODEV") << ENODEV << true << missing;
    QTest::newRow("ENXIO") << ENXIO << true << missing;
    QTest::newRow("EBUSY") << EBUSY << true << inUse;
    QTest::newRow("lock held (EWOULDBLOCK)") << EWOULDBLOCK << false << inUse;
    QTest::newRow("ENOTTY") << ENOTTY << true
                            << "This is not a serial device: set LINNET_COM3 to the device";
    QTest::newRow("EIO") << EIO << true
                         << "Check that the scanner is connected and that LINNET_COM3 names its "
                            "device.";
}

void TestDeviceMap::openFailureSaysWhatToDo() {
    QFETCH(int, error);
    QFETCH(bool, showsSystemReason);
    QFETCH(QString, advice);

    const QString text = openFailureText(3, QStringLiteral("/dev/ttyUSB9"), error);
    QVERIFY2(text.startsWith(QStringLiteral("Cannot open COM3 (/dev/ttyUSB9): ")),
             qPrintable(text));
    QCOMPARE(text.contains(QString::fromLocal8Bit(std::strerror(error))), showsSystemReason);
    QVERIFY2(text.contains(advice), qPrintable(text));
}

void TestDeviceMap::lostDeviceText() {
    QCOMPARE(deviceLostText(3, QStringLiteral("/dev/ttyACM0")),
             QStringLiteral("COM3 (/dev/ttyACM0) was disconnected; the port is closed."));
}

void TestDeviceMap::deviceExistsNow() {
    QVERIFY(deviceExists(QStringLiteral("/dev/null")));
    QVERIFY(!deviceExists(QStringLiteral("/dev/linnet-no-such-device")));
}

QTEST_MAIN(TestDeviceMap)
#include "tst_device_map.moc"
