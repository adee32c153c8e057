// The COM number table, its file and the texts about devices: plain data, no devices needed.
#include "data_columns.h"
#include "devices/com_table.h"
#include "devices/com_table_file.h"
#include "devices/device_facts.h"
#include "sample_devices.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include <unistd.h>

using namespace devices;

Q_DECLARE_METATYPE(devices::DevicesProblem)
Q_DECLARE_METATYPE(devices::ComEntry)

namespace {

// "a=3@100 b=4@50": identity a has COM3, last seen at 100.
QList<ComEntry> entriesFrom(const QString& text) {
    QList<ComEntry> entries;
    for (const QString& item : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = item.split(QRegularExpression(QStringLiteral("[=@]")));
        entries.append({parts[0], parts[1].toInt(), parts[2].toLongLong()});
    }
    return entries;
}

QString textOf(const QList<ComEntry>& entries) {
    QList<ComEntry> sorted = entries;
    std::sort(sorted.begin(), sorted.end(),
              [](const ComEntry& a, const ComEntry& b) { return a.number < b.number; });
    QStringList items;
    for (const ComEntry& e : sorted)
        items << QStringLiteral("%1=%2@%3").arg(e.identity).arg(e.number).arg(e.lastSeen);
    return items.join(QLatin1Char(' '));
}

// Sixteen remembered devices d3..d18 holding COM3 to COM18, d<n> last seen at 100 + n, except
// the ones given.
QString fullTable(const QHash<int, int>& lastSeen = {}) {
    QStringList items;
    for (int n = 3; n <= 18; ++n)
        items << QStringLiteral("d%1=%1@%2").arg(n).arg(lastSeen.value(n, 100 + n));
    return items.join(QLatin1Char(' '));
}

} // namespace

class TestComNumbers : public QObject {
    Q_OBJECT

private slots:
    // The console's ttys from the two texts the kernel gives; nothing that is no tty name.
    void consoleNames_data() {
        addColumns<QByteArray, QByteArray, QStringList>("active", "consoles", "names");
        QTest::newRow("a serial console")
            << QByteArray("ttyS0\n") << QByteArray("ttyS0                -W- (EC  p a)    4:64\n")
            << QStringList{"ttyS0"};
        QTest::newRow("screen and serial line")
            << QByteArray("tty0 ttyS1\n")
            << QByteArray("tty0                 -WU (EC p  )    4:1\nttyS1                -W- (E  "
                          "p a)    4:65\n")
            << QStringList{"tty0", "ttyS1"};
        QTest::newRow("only /proc/consoles")
            << QByteArray() << QByteArray("ttyAMA0 -W- (EC p a) 204:64") << QStringList{"ttyAMA0"};
        QTest::newRow("garbage is no name")
            << QByteArray("../ttyS0 \x1b[31m") << QByteArray("\n\n  \n") << QStringList{};
        QTest::newRow("none") << QByteArray() << QByteArray() << QStringList{};
    }
    void consoleNames() {
        QFETCH(QByteArray, active);
        QFETCH(QByteArray, consoles);
        QFETCH(QStringList, names);
        QCOMPARE(consoleTtyNames(active, consoles), names);
    }

    void onBoardPortsKeepTheirNumbers_data() {
        addColumns<QString, int>("node", "number");
        QTest::newRow("ttyS0") << "/dev/ttyS0" << 1;
        QTest::newRow("ttyS1") << "/dev/ttyS1" << 2;
        QTest::newRow("ttyS17 is the last") << "/dev/ttyS17" << 18;
        QTest::newRow("ttyS18 has none") << "/dev/ttyS18" << 0;
        QTest::newRow("USB") << "/dev/ttyUSB0" << 0;
        QTest::newRow("no digits") << "/dev/ttyS" << 0;
        QTest::newRow("elsewhere") << "/tmp/ttyS0" << 0;
    }

    void onBoardPortsKeepTheirNumbers() {
        QFETCH(QString, node);
        QFETCH(int, number);
        QCOMPARE(ComTable::onBoardNumber(node), number);
    }

    void givesAndKeepsNumbers_data() {
        addColumns<QString, QList<int>, QStringList, QString, int, QString>(
            "before", "reserved", "present", "identity", "number", "after");

        QTest::newRow("first device gets COM3")
            << "" << QList<int>{} << QStringList{} << "a" << 3 << "a=3@500";
        QTest::newRow("an on-board UART holds COM3")
            << "" << QList<int>{1, 3} << QStringList{} << "a" << 4 << "a=4@500";
        QTest::newRow("a remembered device keeps its number")
            << "a=7@10" << QList<int>{} << QStringList{} << "a" << 7 << "a=7@500";
        QTest::newRow("new devices pass remembered numbers")
            << "a=3@10 b=4@10" << QList<int>{} << QStringList{} << "c" << 5
            << "a=3@10 b=4@10 c=5@500";
        QTest::newRow("the lowest gap first") << "a=3@10 b=5@10" << QList<int>{} << QStringList{}
                                              << "c" << 4 << "a=3@10 c=4@500 b=5@10";
        QTest::newRow("an on-board UART took a remembered number")
            << "a=3@10 b=4@10" << QList<int>{3} << QStringList{} << "a" << 5 << "b=4@10 a=5@500";
        QTest::newRow("all taken: the one unseen longest gives up its number")
            << fullTable({{9, 5}}) << QList<int>{} << QStringList{} << "new" << 9
            << fullTable().replace(QStringLiteral("d9=9@109"), QStringLiteral("new=9@500"));
        QTest::newRow("all taken: a present device keeps its number")
            << fullTable({{9, 5}}) << QList<int>{} << QStringList{"d9"} << "new" << 3
            << fullTable({{9, 5}}).replace(QStringLiteral("d3=3@103"), QStringLiteral("new=3@500"));
        QTest::newRow("all taken, equally old: the lower number goes")
            << fullTable({{12, 1}, {6, 1}}) << QList<int>{} << QStringList{} << "new" << 6
            << fullTable({{12, 1}}).replace(QStringLiteral("d6=6@106"),
                                            QStringLiteral("new=6@500"));
        QStringList everyone;
        for (int n = 3; n <= 18; ++n)
            everyone << QStringLiteral("d%1").arg(n);
        QTest::newRow("all taken and present: none")
            << fullTable() << QList<int>{} << everyone << "new" << 0 << fullTable();
    }

    void givesAndKeepsNumbers() {
        QFETCH(QString, before);
        QFETCH(QList<int>, reserved);
        QFETCH(QStringList, present);
        QFETCH(QString, identity);
        QFETCH(int, number);
        QFETCH(QString, after);

        ComTable table(entriesFrom(before));
        QCOMPARE(table.assign(identity, 500, QSet<int>(reserved.begin(), reserved.end()),
                              QSet<QString>(present.begin(), present.end())),
                 number);
        QCOMPARE(textOf(table.entries()), textOf(entriesFrom(after)));
        QCOMPARE(table.numberOf(identity), number);
        if (number > 0)
            QCOMPARE(table.identityOf(number), identity);
    }

    void assigningMarksTheDeviceSeen() {
        // Unplugging marks the device seen last then; of two absent devices the one unplugged
        // earlier gives up its number first.
        ComTable table(entriesFrom(fullTable()));
        QVERIFY(table.touch(QStringLiteral("d4"), 1000));
        QVERIFY(table.touch(QStringLiteral("d3"), 2000));
        QVERIFY(!table.touch(QStringLiteral("nobody"), 2000));
        QCOMPARE(table.assign(QStringLiteral("x"), 3000, {}, {}), 5);
        QCOMPARE(table.assign(QStringLiteral("y"), 3001, {}, {}), 6);
    }

    void fileTextRoundTrips() {
        const QList<ComEntry> entries = {
            {QStringLiteral("usb 1209:0001 serial 20150CE5C5 if 00"), 4, 1717000000},
            {QStringLiteral("usb-port /devices/pci0000:00/0000:00:14.0/usb1/1-4 if 00"), 3, 42},
        };
        const QByteArray text = formatComTable(entries);
        QVERIFY(text.startsWith("# "));
        const ParsedComTable parsed = parseComTable(text);
        QCOMPARE(parsed.badLines, 0);
        QCOMPARE(textOf(parsed.entries), textOf(entries));
    }

    // A USB serial number with ESC, BEL and a direction override is kept in the file visibly
    // (a cat of the file runs no terminal escape) and reads back whole; a file written raw by an
    // earlier version reads the same.
    void hostileSerialNumbersKeptVisibly() {
        const QString identity =
            QStringLiteral("usb 1209:0001 serial Ctl\x01\x07\x1B[31m\u202E\\x41 if 00");
        const QList<ComEntry> entries = {{identity, 5, 99}};
        const QByteArray text = formatComTable(entries);
        for (const char c : text)
            QVERIFY2(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F), text);
        QVERIFY(!text.contains("\xE2\x80\xAE"));
        QCOMPARE(parseComTable(text).entries.value(0).identity, identity);
        const QByteArray raw = "5 99 usb 1209:0001 serial Ctl\x01\x07\x1B[31m if 00\n";
        QCOMPARE(parseComTable(raw).entries.value(0).identity,
                 QStringLiteral("usb 1209:0001 serial Ctl\x01\x07\x1B[31m if 00"));
    }

    void damagedLinesAreLeftOut_data() {
        addColumns<QByteArray, QString, int>("text", "kept", "badLines");

        QTest::newRow("good") << QByteArray("3 10 a b c\n\n# note\n4 20 d\n") << "a b c=3@10 d=4@20"
                              << 0;
        QTest::newRow("no line end, blanks around") << QByteArray("  5 7 x  ") << "x=5@7" << 0;
        QTest::newRow("garbage") << QByteArray("\x01\xff\xfe junk\n3 10 a\n") << "a=3@10" << 1;
        QTest::newRow("no identity") << QByteArray("3 10\n3 10 \n4 1 b\n") << "b=4@1" << 2;
        QTest::newRow("numbers outside COM3 to COM18")
            << QByteArray("2 1 a\n19 1 b\n-3 1 c\n18 1 d\n") << "d=18@1" << 3;
        QTest::newRow("not numbers") << QByteArray("x 1 a\n3 y b\n3.5 1 c\n") << "" << 3;
        QTest::newRow("a number claimed twice: the first holds")
            << QByteArray("3 1 a\n3 2 b\n") << "a=3@1" << 1;
        QTest::newRow("a device listed twice: the first holds")
            << QByteArray("3 1 a\n4 2 a\n") << "a=3@1" << 1;
    }

    void damagedLinesAreLeftOut() {
        QFETCH(QByteArray, text);
        QFETCH(QString, kept);
        QFETCH(int, badLines);
        const ParsedComTable parsed = parseComTable(text);
        QCOMPARE(textOf(parsed.entries), kept);
        QCOMPARE(parsed.badLines, badLines);
    }

    void damagedFileIsNotedOnce() {
        QTemporaryDir dir;
        ComTableFile file(dir.path());
        QVERIFY(file.load().isEmpty()); // no file yet: nothing to note
        QVERIFY(file.takeProblems().isEmpty());

        {
            QFile raw(file.path());
            QVERIFY(raw.open(QIODevice::WriteOnly));
            raw.write("3 10 a\nthis is not a line of the table\n");
        }
        QCOMPARE(textOf(file.load()), QStringLiteral("a=3@10"));
        file.load(); // noted once only
        QCOMPARE(file.takeProblems(),
                 (QList<DevicesProblem>{{DevicesProblem::Kind::TableDamaged, file.path(), 1, {}}}));

        // More than a table can be is not read at all.
        QTemporaryDir other;
        ComTableFile big(other.path());
        {
            QFile raw(big.path());
            QVERIFY(raw.open(QIODevice::WriteOnly));
            raw.write(QByteArray(ComTableFile::MaxBytes + 1, '#'));
        }
        QVERIFY(big.load().isEmpty());
        QCOMPARE(big.takeProblems(),
                 (QList<DevicesProblem>{{DevicesProblem::Kind::TableTooLarge, big.path(), 0, {}}}));
    }

    // Whatever stands at the table's name if not a regular file is neither read (a FIFO would
    // hang the start, /dev/zero would fill the memory) nor written through (a link's target
    // would be replaced): said once, and the numbers hold for this run only.
    void onlyARegularFileIsTheTable_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to a file") << QStringLiteral("link");
        QTest::newRow("link to /dev/zero") << QStringLiteral("zero");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("folder") << QStringLiteral("folder");
    }
    void onlyARegularFileIsTheTable() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        ComTableFile file(dir.filePath(QStringLiteral("linnet-test")));
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("linnet-test"))));
        const QString target = dir.filePath(QStringLiteral("precious"));
        {
            QFile raw(target);
            QVERIFY(raw.open(QIODevice::WriteOnly));
            raw.write("3 10 someone else's\n");
        }
        const QByteArray name = QFile::encodeName(file.path());
        if (kind == u"link")
            QCOMPARE(::symlink(QFile::encodeName(target).constData(), name.constData()), 0);
        else if (kind == u"zero")
            QCOMPARE(::symlink("/dev/zero", name.constData()), 0);
        else if (kind == u"fifo")
            QCOMPARE(::mkfifo(name.constData(), 0600), 0);
        else
            QVERIFY(QDir().mkpath(file.path()));
        QVERIFY(file.load().isEmpty());
        // Noted once, whether reading or writing met it.
        QCOMPARE(
            file.takeProblems(),
            (QList<DevicesProblem>{{DevicesProblem::Kind::TableNotRegular, file.path(), 0, {}}}));
        ComTable table;
        file.update(table, [](ComTable& t) { t.assign(QStringLiteral("a"), 20, {}, {}); });
        QCOMPARE(table.numberOf(QStringLiteral("a")), 3);
        QVERIFY(!file.save(table.entries()));
        QFile kept(target);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("3 10 someone else's\n"));
        struct stat status {};
        QCOMPARE(::lstat(name.constData(), &status), 0);
        QVERIFY(!S_ISREG(status.st_mode));
    }

    // A new folder is the user's alone.
    void folderIsPrivate() {
        QTemporaryDir dir;
        ComTableFile file(dir.filePath(QStringLiteral("config/linnet-test")));
        QVERIFY(file.save({{QStringLiteral("a"), 3, 10}}));
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("config/linnet-test"))).permissions() &
                     (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther |
                      QFile::ExeGroup | QFile::ExeOther),
                 QFileDevice::Permissions());
    }

    // Two programs started together, each with a device of its own: both devices keep distinct
    // numbers, whichever writes last.
    void programsStartedTogetherKeepBothDevices() {
        QTemporaryDir dir;
        ComTableFile first(dir.path());
        ComTableFile second(dir.path());
        ComTable firstTable(first.load());
        ComTable secondTable(second.load()); // read before the first program wrote
        first.update(firstTable,
                     [](ComTable& t) { QCOMPARE(t.assign(QStringLiteral("x"), 10, {}, {}), 3); });
        second.update(secondTable,
                      [](ComTable& t) { QCOMPARE(t.assign(QStringLiteral("y"), 11, {}, {}), 4); });
        first.update(firstTable, [](ComTable& t) { t.touch(QStringLiteral("x"), 12); });
        QCOMPARE(textOf(ComTableFile(dir.path()).load()), QStringLiteral("x=3@12 y=4@11"));
    }

    void mergesAnotherProgramsTable_data() {
        addColumns<QList<ComEntry>, QList<ComEntry>, QString>("file", "ours", "merged");
        QTest::newRow("disjoint") << QList<ComEntry>{{"a", 3, 10}} << QList<ComEntry>{{"b", 4, 20}}
                                  << "a=3@10 b=4@20";
        QTest::newRow("same device, later time kept")
            << QList<ComEntry>{{"a", 3, 10}} << QList<ComEntry>{{"a", 3, 30}} << "a=3@30";
        QTest::newRow("a number the file gave another device stays with it")
            << QList<ComEntry>{{"a", 3, 10}} << QList<ComEntry>{{"b", 3, 20}} << "a=3@10";
        QTest::newRow("the file's number for our device stands")
            << QList<ComEntry>{{"a", 5, 10}} << QList<ComEntry>{{"a", 3, 20}} << "a=5@20";
    }
    void mergesAnotherProgramsTable() {
        QFETCH(QList<ComEntry>, file);
        QFETCH(QList<ComEntry>, ours);
        QFETCH(QString, merged);
        QCOMPARE(textOf(mergeComTables(file, ours)), merged);
    }

    void identities_data() {
        addColumns<SerialDevice, QString>("device", "identity");

        SerialDevice moved = scanner();
        moved.node = QStringLiteral("/dev/ttyACM1");
        moved.physicalPath = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-6");
        const QString scannerKey = QStringLiteral("usb 1209:0001 serial 20150CE5C5 if 00");
        QTest::newRow("by serial number") << scanner() << scannerKey;
        QTest::newRow("moved to another port and node: the same") << moved << scannerKey;

        SerialDevice noSerial = scanner();
        noSerial.serialNumber.clear();
        QTest::newRow("no serial number: by port")
            << noSerial << "usb-port /devices/pci0000:00/0000:00:14.0/usb1/1-2 if 00";
        SerialDevice second = scanner();
        second.interfaceNumber = QStringLiteral("01");
        QTest::newRow("second interface") << second << "usb 1209:0001 serial 20150CE5C5 if 01";
        QTest::newRow("on-board") << onBoard(0) << "onboard /dev/ttyS0";
    }

    void identities() {
        QFETCH(SerialDevice, device);
        QFETCH(QString, identity);
        QCOMPARE(device.identity(), identity);
    }

    void groupOfARealNode() {
        // A file of our own has our group, which this session has.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("node"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const std::optional<GroupAccess> access = groupAccessOf(path);
        QVERIFY(access.has_value());
        QVERIFY(access->inSession);
        QVERIFY(access->inAccount);
        QVERIFY(!access->group.isEmpty());
        QVERIFY(!groupAccessOf(dir.filePath(QStringLiteral("missing"))).has_value());
    }
};

QTEST_GUILESS_MAIN(TestComNumbers)
#include "tst_com_numbers.moc"
