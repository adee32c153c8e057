#include "pty_pair.h"
#include "serial_comm/termios_port.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>

#include <chrono>
#include <functional>

#include <termios.h>

using namespace std::chrono_literals;

namespace {

constexpr qint16 kPort = 7;

// The description a refused operation gives, or an empty text when it was not refused.
QString refusal(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const PortFailure& failure) {
        return failure.description();
    }
    return {};
}

termios attributesOf(const PtyPair& pty) {
    termios t{};
    if (::tcgetattr(pty.slaveFd(), &t) != 0)
        qFatal("tcgetattr on the slave failed");
    return t;
}

// Whether any descriptor of this process still refers to the device.
bool processHolds(const QString& path) {
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString& name : descriptors.entryList(QDir::Files | QDir::System)) {
        // A removed device node reads back as "/dev/pts/4 (deleted)".
        const QString target = QFile::symLinkTarget(descriptors.filePath(name));
        if (target == path || target.startsWith(path + u' '))
            return true;
    }
    return false;
}

QByteArray everyByte() {
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

} // namespace

class TestTermiosPort : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsWithTheDocumentedValues();
    void opensRawAndRestoresTheDeviceOnClose();
    void appliesSettingsAtOpenAndWhileOpen();
    void appliesHandshakingWhileOpen();
    void secondPortOnTheSameDeviceIsRefusedAsInUse();
    void carriesEveryByteBothWays();
    void queuesWhatTheDeviceCannotTakeYet();
    void raisesReceiveAndHandsOutInputLenAtATime();
    void holdsReceiveBackBelowRThreshold();
    void leavesARemainderBelowRThreshold();
    void refusesInvalidWritesAndChangesNothing_data();
    void refusesInvalidWritesAndChangesNothing();
    void refusesOperationsThatNeedTheOtherOpenState();
    void readsLinesAsNotHeldWithoutModemLines();
    void explainsAFailedOpen_data();
    void explainsAFailedOpen();
    void reportsAHangUpOnceAndStopsWatching();
    void reportsAHangUpFoundWhileSending();

private:
    // Opens `port` on the pair's device under kPort.
    void openOn(TermiosPort& port, const PtyPair& pty);
};

void TestTermiosPort::init() {
    qunsetenv("LINNET_COM7");
}

void TestTermiosPort::cleanup() {
    qunsetenv("LINNET_COM7");
}

void TestTermiosPort::openOn(TermiosPort& port, const PtyPair& pty) {
    qputenv("LINNET_COM7", pty.slavePath().toLocal8Bit());
    port.setCommPort(kPort);
    port.setPortOpen(true);
}

void TestTermiosPort::startsWithTheDocumentedValues() {
    TermiosPort port;
    QCOMPARE(port.PortOpen(), false);
    QCOMPARE(port.CommPort(), qint16(1));
    QCOMPARE(port.Settings(), QStringLiteral("115200,N,8,1"));
    QCOMPARE(port.ParityReplace(), QStringLiteral("?"));
    QCOMPARE(port.Handshaking(), 0);
    QCOMPARE(port.DTREnable(), true);
    QCOMPARE(port.InputLen(), qint16(0));
    QCOMPARE(port.RThreshold(), qint16(1));
    QCOMPARE(port.SThreshold(), qint16(0));
    QCOMPARE(port.devicePathFor(1), QStringLiteral("/dev/ttyS0"));
}

void TestTermiosPort::opensRawAndRestoresTheDeviceOnClose() {
    PtyPair pty;
    // As a shell would leave it: cooked, echoing, translating CR, at 38400 baud.
    termios cooked = attributesOf(pty);
    cooked.c_lflag |= ICANON | ECHO | ISIG;
    cooked.c_iflag |= ICRNL;
    cooked.c_oflag |= OPOST | ONLCR;
    cfsetspeed(&cooked, B38400);
    QCOMPARE(::tcsetattr(pty.slaveFd(), TCSANOW, &cooked), 0);
    const termios before = attributesOf(pty);

    TermiosPort port;
    openOn(port, pty);
    QVERIFY(port.PortOpen());
    const termios open = attributesOf(pty);
    QCOMPARE(cfgetospeed(&open), speed_t(B115200));
    QCOMPARE(open.c_lflag & (ICANON | ECHO | ISIG), 0u);
    QCOMPARE(open.c_iflag & ICRNL, 0u);
    QCOMPARE(open.c_oflag & OPOST, 0u);
    QCOMPARE(open.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(open.c_cc[VMIN], cc_t(0));

    port.setPortOpen(false);
    QVERIFY(!port.PortOpen());
    const termios after = attributesOf(pty);
    QCOMPARE(after.c_lflag, before.c_lflag);
    QCOMPARE(after.c_iflag, before.c_iflag);
    QCOMPARE(after.c_oflag, before.c_oflag);
    QCOMPARE(cfgetospeed(&after), cfgetospeed(&before));

    // Closed is closed for good: the same object opens again.
    port.setPortOpen(true);
    QVERIFY(port.PortOpen());
}

void TestTermiosPort::appliesSettingsAtOpenAndWhileOpen() {
    PtyPair pty;
    TermiosPort port;
    port.setSettings(QStringLiteral("9600,n,8,1"));
    QCOMPARE(port.Settings(), QStringLiteral("9600,N,8,1"));
    openOn(port, pty);
    termios t = attributesOf(pty);
    QCOMPARE(cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(cfgetispeed(&t), speed_t(B9600));

    port.setSettings(QStringLiteral("19200,e,7,2"));
    QCOMPARE(port.Settings(), QStringLiteral("19200,E,7,2"));
    t = attributesOf(pty);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));

    // Changes the device cannot show (parity and data bits on a pseudo-terminal) and repeats of
    // the same settings are not refusals.
    port.setSettings(QStringLiteral("19200,O,7,2"));
    port.setSettings(QStringLiteral("19200,O,7,2"));
    port.setHandshaking(0);
    QCOMPARE(port.Settings(), QStringLiteral("19200,O,7,2"));

    // A refused text leaves both the property and the device alone.
    QVERIFY(!refusal([&] { port.setSettings(QStringLiteral("14400,N,8,1")); }).isEmpty());
    QCOMPARE(port.Settings(), QStringLiteral("19200,O,7,2"));
    t = attributesOf(pty);
    QCOMPARE(cfgetospeed(&t), speed_t(B19200));
}

void TestTermiosPort::appliesHandshakingWhileOpen() {
    PtyPair pty;
    TermiosPort port;
    port.setHandshaking(2);
    openOn(port, pty);
    termios t = attributesOf(pty);
    QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(CRTSCTS));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), 0u);

    port.setHandshaking(1);
    t = attributesOf(pty);
    QCOMPARE(t.c_cflag & CRTSCTS, 0u);
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));

    port.setHandshaking(3);
    t = attributesOf(pty);
    QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(CRTSCTS));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));

    port.setHandshaking(0);
    t = attributesOf(pty);
    QCOMPARE(t.c_cflag & CRTSCTS, 0u);
    QCOMPARE(t.c_iflag & (IXON | IXOFF), 0u);
    QCOMPARE(port.Handshaking(), 0);
}

void TestTermiosPort::secondPortOnTheSameDeviceIsRefusedAsInUse() {
    PtyPair pty;
    TermiosPort first;
    TermiosPort second;
    openOn(first, pty);
    second.setCommPort(kPort);

    const QString text = refusal([&] { second.setPortOpen(true); });
    QVERIFY2(text.startsWith(QStringLiteral("Cannot open COM7 (%1): ").arg(pty.slavePath())),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("in use by another program")), qPrintable(text));
    QVERIFY(!second.PortOpen());
    QVERIFY(first.PortOpen());

    first.setPortOpen(false);
    second.setPortOpen(true);
    QVERIFY(second.PortOpen());
}

void TestTermiosPort::carriesEveryByteBothWays() {
    PtyPair pty;
    TermiosPort port;
    openOn(port, pty);
    const QByteArray bytes = everyByte();

    pty.writeMaster(bytes);
    QTRY_COMPARE(port.InBufferCount(), 256);
    const QString received = port.Input();
    QCOMPARE(received, QString::fromLatin1(bytes));
    QCOMPARE(port.InBufferCount(), 0);

    port.setOutput(QString::fromLatin1(bytes));
    QCOMPARE(pty.readMaster(256), bytes);
}

void TestTermiosPort::queuesWhatTheDeviceCannotTakeYet() {
    PtyPair pty;
    TermiosPort port;
    openOn(port, pty);

    // Far more than a pseudo-terminal buffers, so most of it waits in the port's queue.
    const QByteArray first(256 * 1024, 'a');
    const QByteArray second(1000, 'b');
    port.setOutput(QString::fromLatin1(first));
    QVERIFY(port.OutBufferCount() > 0);
    port.setOutput(QString::fromLatin1(second));

    QByteArray received;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (received.size() < first.size() + second.size() &&
           std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        received += pty.readMaster(1, 50ms);
    }
    QCOMPARE(received.size(), first.size() + second.size());
    QCOMPARE(received, first + second);
    QTRY_COMPARE(port.OutBufferCount(), 0);
}

void TestTermiosPort::raisesReceiveAndHandsOutInputLenAtATime() {
    PtyPair pty;
    TermiosPort port;
    port.setInputLen(3);
    openOn(port, pty);

    QStringList pieces;
    QList<qint16> events;
    connect(&port, &PortControl::OnComm, this, [&] {
        events.append(port.CommEvent());
        pieces.append(port.Input());
    });
    pty.writeMaster("abcdefgh");
    QTRY_COMPARE(pieces.join(QString()), QStringLiteral("abcdefgh"));
    for (const QString& piece : pieces)
        QVERIFY2(piece.size() >= 1 && piece.size() <= 3, qPrintable(pieces.join(u'|')));
    QVERIFY(events.size() >= 3);
    QCOMPARE(events.count(CommEventCode::Receive), events.size());
    QCOMPARE(port.InBufferCount(), 0);
}

void TestTermiosPort::holdsReceiveBackBelowRThreshold() {
    PtyPair pty;
    TermiosPort port;
    port.setRThreshold(5);
    openOn(port, pty);
    QStringList pieces;
    connect(&port, &PortControl::OnComm, this, [&] { pieces.append(port.Input()); });

    pty.writeMaster("abc");
    QTRY_COMPARE(port.InBufferCount(), 3);
    QCoreApplication::processEvents();
    QVERIFY(pieces.isEmpty());

    pty.writeMaster("de");
    QTRY_COMPARE(pieces, QStringList{QStringLiteral("abcde")});

    // 0 switches Receive off; characters still collect.
    port.setRThreshold(0);
    pty.writeMaster("scan");
    QTRY_COMPARE(port.InBufferCount(), 4);
    QCoreApplication::processEvents();
    QCOMPARE(pieces.size(), 1);
}

void TestTermiosPort::leavesARemainderBelowRThreshold() {
    PtyPair pty;
    TermiosPort port;
    port.setRThreshold(2);
    port.setInputLen(1);
    openOn(port, pty);
    QStringList pieces;
    connect(&port, &PortControl::OnComm, this, [&] { pieces.append(port.Input()); });

    pty.writeMaster("abc");
    QTRY_COMPARE(pieces, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    QCoreApplication::processEvents();
    QCOMPARE(pieces.size(), 2);
    QCOMPARE(port.InBufferCount(), 1);
}

void TestTermiosPort::refusesInvalidWritesAndChangesNothing_data() {
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, const char* property, const char* value,
                        const char* text) {
        QTest::newRow(name) << QString::fromLatin1(property) << QString::fromLatin1(value)
                            << QString::fromLatin1(text);
    };

    row("CommPort 0", "CommPort", "0", "Port number 0 is not valid; use a number from 1 to 18.");
    row("CommPort 19", "CommPort", "19", "Port number 19 is not valid; use a number from 1 to 18.");
    row("Settings", "Settings", "9600,N,9,1",
        "The settings \"9600,N,9,1\" are not valid: the data bits \"9\" are not supported; use "
        "7 or 8.");
    row("Handshaking -1", "Handshaking", "-1",
        "Handshaking -1 is not valid; use 0 (none), 1 (Xon/Xoff), 2 (RTS/CTS) or 3 (Xon/Xoff and "
        "RTS/CTS).");
    row("Handshaking 4", "Handshaking", "4", "Handshaking 4 is not valid;");
    row("InputLen -1", "InputLen", "-1",
        "InputLen -1 is not valid; use 0 to take every waiting character, or a positive count.");
    row("RThreshold -1", "RThreshold", "-1",
        "RThreshold -1 is not valid; use 0 to switch receive notifications off, or a positive "
        "count.");
    row("SThreshold -1", "SThreshold", "-1",
        "SThreshold -1 is not valid; use 0 to switch send notifications off, or a positive "
        "count.");
    row("ParityReplace two characters", "ParityReplace", "ab",
        "The parity replacement \"ab\" is too long; use one character, or nothing to keep the "
        "received byte.");
    row("Output while closed", "Output", "x", "COM1 is not open; open it before sending.");
}

void TestTermiosPort::refusesInvalidWritesAndChangesNothing() {
    QFETCH(QString, property);
    QFETCH(QString, value);
    QFETCH(QString, text);

    TermiosPort port;
    const auto snapshot = [&] {
        return QStringList{QString::number(port.CommPort()),
                           port.Settings(),
                           QString::number(port.Handshaking()),
                           QString::number(port.InputLen()),
                           QString::number(port.RThreshold()),
                           QString::number(port.SThreshold()),
                           port.ParityReplace(),
                           QString::number(port.PortOpen())};
    };
    const QStringList before = snapshot();
    const QHash<QString, std::function<void()>> writes{
        {QStringLiteral("CommPort"), [&] { port.setCommPort(qint16(value.toInt())); }},
        {QStringLiteral("Settings"), [&] { port.setSettings(value); }},
        {QStringLiteral("Handshaking"), [&] { port.setHandshaking(value.toInt()); }},
        {QStringLiteral("InputLen"), [&] { port.setInputLen(qint16(value.toInt())); }},
        {QStringLiteral("RThreshold"), [&] { port.setRThreshold(qint16(value.toInt())); }},
        {QStringLiteral("SThreshold"), [&] { port.setSThreshold(qint16(value.toInt())); }},
        {QStringLiteral("ParityReplace"), [&] { port.setParityReplace(value); }},
        {QStringLiteral("Output"), [&] { port.setOutput(value); }},
    };
    QVERIFY(writes.contains(property));
    const QString refused = refusal(writes.value(property));
    QVERIFY2(refused.startsWith(text), qPrintable(refused));
    QCOMPARE(snapshot(), before);
}

void TestTermiosPort::refusesOperationsThatNeedTheOtherOpenState() {
    TermiosPort port;
    port.setCommPort(kPort);
    const QString notOpen = QStringLiteral("COM7 is not open; open it first.");
    QCOMPARE(refusal([&] { port.Input(); }), notOpen);
    QCOMPARE(refusal([&] { port.InBufferCount(); }), notOpen);
    QCOMPARE(refusal([&] { port.OutBufferCount(); }), notOpen);
    QCOMPARE(refusal([&] { port.setPortOpen(false); }), QStringLiteral("COM7 is already closed."));

    // Empty and single-character replacements are fine.
    port.setParityReplace(QString());
    port.setParityReplace(QStringLiteral("#"));
    QCOMPARE(port.ParityReplace(), QStringLiteral("#"));

    PtyPair pty;
    openOn(port, pty);
    const QString where = QStringLiteral("COM7 (%1)").arg(pty.slavePath());
    QCOMPARE(refusal([&] { port.setPortOpen(true); }),
             QStringLiteral("%1 is already open.").arg(where));
    QCOMPARE(refusal([&] { port.setCommPort(3); }),
             QStringLiteral("The port number cannot change while %1 is open; close the port "
                            "first.")
                 .arg(where));
    QCOMPARE(port.CommPort(), kPort);
    QCOMPARE(refusal([&] { port.setOutput(QStringLiteral("ok \u00ff then \u20ac")); }),
             QStringLiteral("Character 11 of the text to send is U+20AC, which is not one byte; "
                            "only characters U+0000 to U+00FF can be sent."));
    // Nothing of a refused Output goes out.
    port.setOutput(QStringLiteral("z"));
    QCOMPARE(pty.readMaster(1), QByteArray("z"));
    QVERIFY(port.PortOpen());
}

void TestTermiosPort::readsLinesAsNotHeldWithoutModemLines() {
    TermiosPort port;
    QCOMPARE(port.CDHolding(), false);
    QCOMPARE(port.CTSHolding(), false);
    QCOMPARE(port.DSRHolding(), false);

    // A pseudo-terminal has no modem lines: reading them and switching DTR are not failures.
    PtyPair pty;
    openOn(port, pty);
    QCOMPARE(port.CDHolding(), false);
    QCOMPARE(port.CTSHolding(), false);
    QCOMPARE(port.DSRHolding(), false);
    port.setDTREnable(false);
    QCOMPARE(port.DTREnable(), false);
    port.setDTREnable(true);
    QCOMPARE(port.DTREnable(), true);
}

void TestTermiosPort::explainsAFailedOpen_data() {
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<QString>("explanation");
    QTest::newRow("missing") << QByteArray("/dev/linnet-no-such-device")
                             << QStringLiteral("No such file or directory. There is no such "
                                               "device: plug in the scanner, or set LINNET_COM7 "
                                               "to the device it uses");
    QTest::newRow("not a terminal")
        << QByteArray("/dev/null") << QStringLiteral("This is not a serial device");
}

void TestTermiosPort::explainsAFailedOpen() {
    QFETCH(QByteArray, device);
    QFETCH(QString, explanation);
    qputenv("LINNET_COM7", device);
    TermiosPort port;
    port.setCommPort(kPort);
    const QString text = refusal([&] { port.setPortOpen(true); });
    QVERIFY2(text.startsWith(QStringLiteral("Cannot open COM7 (%1): ").arg(device)),
             qPrintable(text));
    QVERIFY2(text.contains(explanation), qPrintable(text));
    QVERIFY(!port.PortOpen());
}

void TestTermiosPort::reportsAHangUpOnceAndStopsWatching() {
    auto pty = std::make_unique<PtyPair>();
    const QString path = pty->slavePath();
    TermiosPort port;
    openOn(port, *pty);
    QSignalSpy lost(&port, &PortControl::deviceLost);
    bool openWhenReported = true;
    connect(&port, &PortControl::deviceLost, this, [&] { openWhenReported = port.PortOpen(); });

    // The port reads first: the kernel discards what the device side has not read at a hang-up.
    pty->writeMaster("before");
    QTRY_COMPARE(port.InBufferCount(), 6);
    pty->closeSlave();
    QVERIFY(processHolds(path));
    pty->closeMaster();

    QTRY_COMPARE(lost.count(), 1);
    QCOMPARE(lost.at(0).at(0).toString(),
             QStringLiteral("COM7 (%1) was disconnected; the port is closed.").arg(path));
    QVERIFY(!openWhenReported);
    QVERIFY(!port.PortOpen());
    QVERIFY(!processHolds(path));
    // A notifier still watching the dead descriptor would fire without end.
    for (const QSocketNotifier* notifier : port.findChildren<QSocketNotifier*>())
        QVERIFY(!notifier->isEnabled());
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 1);

    // The port is usable again once a device is there.
    pty = std::make_unique<PtyPair>();
    openOn(port, *pty);
    pty->writeMaster("again");
    QTRY_COMPARE(port.InBufferCount(), 5);
}

void TestTermiosPort::reportsAHangUpFoundWhileSending() {
    PtyPair pty;
    TermiosPort port;
    openOn(port, pty);
    QSignalSpy lost(&port, &PortControl::deviceLost);

    pty.closeSlave();
    pty.closeMaster();
    // Found by the write before the reader runs; still reported once, and not from inside Output.
    port.setOutput(QStringLiteral("late"));
    QCOMPARE(lost.count(), 0);
    QTRY_COMPARE(lost.count(), 1);
    QVERIFY(!port.PortOpen());
    QVERIFY(!processHolds(pty.slavePath()));
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 1);
}

QTEST_MAIN(TestTermiosPort)
#include "tst_termios_port.moc"
