#include "port/device_map.h"
#include "port/lock_file.h"
#include "port_environment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace port;

class TestDeviceMap : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { clearPortVariables(); }
    void cleanup();
    void mapsPortNumbersToDevices();
    void lockFileIsNamedAfterTheDevice();
};

void TestDeviceMap::cleanup() {
    clearPortVariables();
}

void TestDeviceMap::mapsPortNumbersToDevices() {
    QCOMPARE(deviceFileForPort(1), QByteArray("/dev/ttyS0"));
    QCOMPARE(deviceFileForPort(18), QByteArray("/dev/ttyS17"));

    // The variable's bytes go to open() unchanged, also those that are no text.
    qputenv("LINNET_COM3", "/dev/caf\xE9");
    QCOMPARE(deviceFileForPort(3), QByteArray("/dev/caf\xE9"));
    // The variable of one port does not leak into another's.
    QCOMPARE(deviceFileForPort(1), QByteArray("/dev/ttyS0"));

    qputenv("LINNET_COM18", "");
    QCOMPARE(deviceFileForPort(18), QByteArray("/dev/ttyS17"));
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
