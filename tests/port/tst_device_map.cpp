#include "base/outside_text.h"
#include "port_environment.h"
#include "port/device_map.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace serial_comm;

class TestDeviceMap : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { clearPortVariables(); }
    void cleanup();
    void mapsPortNumbersToDevices();
    void showsPathsByteForByte_data();
    void showsPathsByteForByte();
    void deviceExistsNow();
    void lockFileIsNamedAfterTheDevice();
};

void TestDeviceMap::cleanup() {
    clearPortVariables();
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

void TestDeviceMap::showsPathsByteForByte_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ASCII") << QByteArray("/dev/ttyACM0") << QStringLiteral("/dev/ttyACM0");
    QTest::newRow("UTF-8") << QByteArray("/dev/caf\xC3\xA9-\xF0\x9F\x93\xA0")
                           << QStringLiteral("/dev/caf\u00e9-\U0001F4E0");
    QTest::newRow("Latin-1 byte") << QByteArray("/dev/caf\xE9") << QStringLiteral("/dev/caf\\xE9");
    QTest::newRow("cut sequence at the end")
        << QByteArray("/dev/x\xE2\x82") << QStringLiteral("/dev/x\\xE2\\x82");
    QTest::newRow("overlong slash")
        << QByteArray("/dev/\xC0\xAFx") << QStringLiteral("/dev/\\xC0\\xAFx");
    QTest::newRow("encoded surrogate")
        << QByteArray("a\xED\xA0\x80") << QStringLiteral("a\\xED\\xA0\\x80");
    QTest::newRow("encoded U+FFFD") << QByteArray("a\xEF\xBF\xBD") << QStringLiteral("a\uFFFD");
}

void TestDeviceMap::showsPathsByteForByte() {
    QFETCH(QByteArray, path);
    QFETCH(QString, shown);
    QCOMPARE(outside_text::visible(path), shown);
    // The variable's bytes go to open() unchanged.
    qputenv("LINNET_COM3", path);
    QCOMPARE(deviceFileForPort(3), path);
    QCOMPARE(devicePathForPort(3), shown);
}

void TestDeviceMap::deviceExistsNow() {
    QVERIFY(deviceExists(QStringLiteral("/dev/null")));
    QVERIFY(!deviceExists(QStringLiteral("/dev/linnet-no-such-device")));
}

void TestDeviceMap::lockFileIsNamedAfterTheDevice() {
    // Through a chain of links, absolute and relative, as /dev/serial/by-id has them.
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("serial/by-id")));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("ttyACM7"))));
    QVERIFY(QFile::link(QStringLiteral("../../ttyACM7"),
                        dir.filePath(QStringLiteral("serial/by-id/usb-Scanner-if00"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("serial/by-id/usb-Scanner-if00")),
                        dir.filePath(QStringLiteral("scanner"))));
    const QByteArray dev = QFile::encodeName(dir.path());
    QCOMPARE(DeviceLockFile::pathFor("/var/lock", dev + "/scanner"),
             QByteArray("/var/lock/LCK..null"));
    QCOMPARE(DeviceLockFile::pathFor("/var/lock", dev + "/serial/by-id/usb-Scanner-if00"),
             QByteArray("/var/lock/LCK..null"));
    QCOMPARE(DeviceLockFile::pathFor("/l", "/dev/linnet-none"), QByteArray("/l/LCK..linnet-none"));
}

QTEST_MAIN(TestDeviceMap)
#include "tst_device_map.moc"
