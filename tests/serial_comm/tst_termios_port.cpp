#include "pty_pair.h"
#include "serial_comm/termios_port.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>

#include <chrono>
#include <functional>
#include <thread>

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

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

// Every notification a port raises, in order, as "2:<what Input returned>" for Receive and the
// code alone for the others.
class Recorder : public QObject {
public:
    explicit Recorder(TermiosPort& port) {
        connect(&port, &PortControl::OnComm, this, [this, &port] {
            const qint16 code = port.CommEvent();
            codes.append(code);
            if (code == CommEventCode::Receive) {
                const QString input = port.Input();
                received += input;
                trace.append(QStringLiteral("2:") + input);
            } else {
                trace.append(QString::number(code));
            }
        });
    }
    QList<qint16> codes;
    QStringList trace;
    QString received;
};

// Reads from the master side until `count` bytes came, running the event loop in between so that
// the port can go on sending what it holds.
QByteArray drainMaster(PtyPair& pty, qsizetype count) {
    QByteArray received;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (received.size() < count && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents();
        received += pty.readMaster(1, 20ms);
    }
    return received;
}

// Sends more than the pseudo-terminal buffers, letting the port read as it goes, until
// `arrived` says the port has dealt with all of it.
bool pump(PtyPair& pty, const QByteArray& bytes, const std::function<bool()>& arrived) {
    qsizetype sent = 0;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (std::chrono::steady_clock::now() < deadline) {
        if (sent < bytes.size())
            sent += pty.tryWriteMaster(QByteArrayView(bytes).sliced(sent));
        QCoreApplication::processEvents();
        if (sent == bytes.size() && arrived())
            return true;
    }
    return false;
}

// Gives up the rights of root for as long as it lives, so that a test run as root can meet the
// permission checks a user meets.
class UnprivilegedScope {
public:
    UnprivilegedScope() : changed_(::geteuid() == 0 && ::seteuid(65534) == 0) {}
    ~UnprivilegedScope() {
        if (changed_ && ::seteuid(0) != 0)
            qFatal("could not take back the rights of root");
    }
    bool unprivileged() const { return ::geteuid() != 0; }

private:
    bool changed_;
};

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
    void explainsAPermissionFailure();
    void marksLineErrorsWhereTheyOccur_data();
    void marksLineErrorsWhereTheyOccur();
    void decodesAMarkCutBetweenTwoReads();
    void overflowsTheInputBufferOncePerEpisode();
    void carriesAFloodWithoutLoss();
    void holdsOutputWhileFlowControlStopsIt_data();
    void holdsOutputWhileFlowControlStopsIt();
    void cutsAnOutputThatDoesNotFit();
    void raisesSendWhenTheOutputFallsBelowSThreshold_data();
    void raisesSendWhenTheOutputFallsBelowSThreshold();

private:
    // Opens `port` on the pair's device under kPort.
    void openOn(TermiosPort& port, const PtyPair& pty);
    // Has the far end send XOFF and waits until the device side has taken it: the byte sent
    // after it has arrived.
    void holdOutput(PtyPair& pty, Recorder& recorder);
};

void TestTermiosPort::init() {
    qunsetenv("LINNET_COM7");
    qunsetenv("LINNET_COM1");
}

void TestTermiosPort::cleanup() {
    qunsetenv("LINNET_COM7");
}

void TestTermiosPort::openOn(TermiosPort& port, const PtyPair& pty) {
    qputenv("LINNET_COM7", pty.slavePath().toLocal8Bit());
    port.setCommPort(kPort);
    port.setPortOpen(true);
}

void TestTermiosPort::holdOutput(PtyPair& pty, Recorder& recorder) {
    const QString before = recorder.received;
    pty.writeMaster("\x13!");
    QTRY_COMPARE(recorder.received, before + u'!');
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
    // With marking on, the line discipline of a pseudo-terminal too doubles every 0xFF the far
    // end sends (0xFF 0xFF), and passes the bytes 0xFF 0 0 on as 0xFF 0xFF 0 0: only the decoding
    // gives back the bytes as sent.
    QCOMPARE(attributesOf(pty).c_iflag & PARMRK, tcflag_t(PARMRK));
    const QByteArray lookalikes("\xFF\0\0\xFF\0A\xFF", 7);
    pty.writeMaster(lookalikes);
    QTRY_COMPARE(port.InBufferCount(), 7);
    QCOMPARE(port.Input(), QString::fromLatin1(lookalikes));

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

    // Far more than a pseudo-terminal buffers (about 14 KiB while the far end does not read), so
    // most of it waits in the port's queue.
    const QByteArray first(60 * 1024, 'a');
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
    row("Output while closed", "Output", "x",
        "COM1 (/dev/ttyS0) is not open; open it before sending.");
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
    qputenv("LINNET_COM7", "/dev/linnet-scanner");
    const QString notOpen =
        QStringLiteral("COM7 (/dev/linnet-scanner) is not open; open it first.");
    QCOMPARE(refusal([&] { port.Input(); }), notOpen);
    QCOMPARE(refusal([&] { port.InBufferCount(); }), notOpen);
    QCOMPARE(refusal([&] { port.OutBufferCount(); }), notOpen);
    QCOMPARE(refusal([&] { port.setPortOpen(false); }),
             QStringLiteral("COM7 (/dev/linnet-scanner) is already closed; there is nothing to "
                            "close."));

    // Empty and single-character replacements are fine.
    port.setParityReplace(QString());
    port.setParityReplace(QStringLiteral("#"));
    QCOMPARE(port.ParityReplace(), QStringLiteral("#"));
    // It stands in for one received byte.
    QCOMPARE(refusal([&] { port.setParityReplace(QStringLiteral("\u20ac")); }),
             QStringLiteral("The parity replacement \"\u20ac\" is not a one-byte character; use "
                            "a character from U+0000 to U+00FF, or nothing to keep the received "
                            "byte."));
    QCOMPARE(port.ParityReplace(), QStringLiteral("#"));

    PtyPair pty;
    openOn(port, pty);
    const QString where = QStringLiteral("COM7 (%1)").arg(pty.slavePath());
    QCOMPARE(refusal([&] { port.setPortOpen(true); }),
             QStringLiteral("%1 is already open; close it before opening it again.").arg(where));
    QCOMPARE(refusal([&] { port.setCommPort(3); }),
             QStringLiteral("The port number cannot change while %1 is open; close the port "
                            "first.")
                 .arg(where));
    QCOMPARE(port.CommPort(), kPort);
    QCOMPARE(refusal([&] { port.setOutput(QStringLiteral("ok \u00ff then \u20ac")); }),
             QStringLiteral("%1 cannot send the text: character 11 is U+20AC, which is not one "
                            "byte; only characters U+0000 to U+00FF can be sent.")
                 .arg(where));
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
    // Nothing to watch, so nothing wakes the program up.
    QVERIFY(!port.findChild<QTimer*>(QStringLiteral("lineWatch"))->isActive());
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

void TestTermiosPort::explainsAPermissionFailure() {
    PtyPair pty;
    QCOMPARE(::chmod(QFile::encodeName(pty.slavePath()).constData(), 0), 0);
    qputenv("LINNET_COM7", pty.slavePath().toLocal8Bit());
    TermiosPort port;
    port.setCommPort(kPort);
    QString text;
    {
        const UnprivilegedScope scope;
        if (!scope.unprivileged())
            QSKIP("Running as root without the right to act as another user: root may open any "
                  "device, so there is no permission failure to see.");
        text = refusal([&] { port.setPortOpen(true); });
    }
    QVERIFY2(text.startsWith(
                 QStringLiteral("Cannot open COM7 (%1): Permission denied. ").arg(pty.slavePath())),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("add it to the \"dialout\" group")), qPrintable(text));
    QVERIFY(!port.PortOpen());
}

void TestTermiosPort::marksLineErrorsWhereTheyOccur_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("trace");
    const auto row = [](const char* name, const char* settings, const QString& replacement,
                        QByteArray stream, QStringList trace) {
        QTest::newRow(name) << QString::fromLatin1(settings) << replacement << stream << trace;
    };
    using namespace Qt::Literals::StringLiterals;
    const QString none;
    const QString question = QStringLiteral("?");

    // The Receive for the bytes before an error is raised before the error; the handler of that
    // Receive takes what has arrived by then.
    row("break between data", "9600,N,8,1", question, "AB\xFF\0\0CD"_ba, {"2:ABCD", "1001"});
    row("break before data", "9600,N,8,1", question, "\xFF\0\0AB"_ba, {"1001", "2:AB"});
    row("break alone", "9600,N,8,1", question, "\xFF\0\0"_ba, {"1001"});
    // Without counters (a pseudo-terminal has none), parity decides what the error was.
    row("parity error replaced", "9600,E,8,1", question, "A\xFF\0XB"_ba, {"2:A?B", "1008"});
    row("parity error first", "9600,O,7,1", QStringLiteral("#"), "\xFF\0XB"_ba, {"1008", "2:#B"});
    row("parity error kept", "9600,E,8,1", none, "A\xFF\0XB"_ba, {"2:AXB", "1008"});
    row("replacement above 0x7F", "9600,E,8,1", QStringLiteral("\u00bf"), "\xFF\0\xFF"_ba,
        {"1008", "2:\u00bf"});
    row("framing error keeps the byte", "9600,N,8,1", question, "A\xFF\0XB"_ba, {"2:AXB", "1004"});
    row("errors in stream order", "9600,E,8,1", question, "A\xFF\0XB\xFF\0\0C"_ba,
        {"2:A?BC", "1008", "1001"});
}

void TestTermiosPort::marksLineErrorsWhereTheyOccur() {
    QFETCH(QString, settings);
    QFETCH(QString, replacement);
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, trace);

    PtyPair pty;
    TermiosPort port;
    port.setSettings(settings);
    port.setParityReplace(replacement);
    openOn(port, pty);
    // A pseudo-terminal has no line errors, and with marking on it escapes each 0xFF sent to it.
    // With marking switched off behind the port's back, the bytes of the far end reach the port
    // as a UART's driver marks a break or a bad byte.
    termios unmarked = attributesOf(pty);
    unmarked.c_iflag &= ~tcflag_t(PARMRK);
    QCOMPARE(::tcsetattr(pty.slaveFd(), TCSANOW, &unmarked), 0);
    Recorder recorder(port);

    pty.writeMaster(stream);
    QTRY_COMPARE(recorder.trace, trace);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    QCOMPARE(recorder.trace, trace);
    QCOMPARE(port.InBufferCount(), 0);
}

void TestTermiosPort::decodesAMarkCutBetweenTwoReads() {
    PtyPair pty;
    TermiosPort port;
    openOn(port, pty);
    termios unmarked = attributesOf(pty); // as above: the far end writes the marks itself
    unmarked.c_iflag &= ~tcflag_t(PARMRK);
    QCOMPARE(::tcsetattr(pty.slaveFd(), TCSANOW, &unmarked), 0);
    Recorder recorder(port);

    pty.writeMaster(QByteArray("A\xFF", 2));
    QTRY_COMPARE(recorder.trace, QStringList{QStringLiteral("2:A")});
    pty.writeMaster(QByteArray("\0", 1));
    pty.writeMaster(QByteArray("\0B", 2));
    QTRY_COMPARE(recorder.trace, (QStringList{QStringLiteral("2:A"), QStringLiteral("1001"),
                                              QStringLiteral("2:B")}));
}

void TestTermiosPort::overflowsTheInputBufferOncePerEpisode() {
    PtyPair pty;
    TermiosPort port;
    port.setRThreshold(0); // nobody reads: the buffer fills
    openOn(port, pty);
    Recorder recorder(port);
    const qsizetype limit = TermiosPort::InputBufferSize;
    const auto holds = [&](qsizetype held, quint64 dropped) {
        return [&port, held, dropped] {
            return port.InBufferCount() == held && port.droppedInputBytes() == dropped;
        };
    };

    QVERIFY(pump(pty, QByteArray(limit + 1000, 'x'), holds(limit, 1000)));
    QTRY_COMPARE(recorder.codes, QList<qint16>{CommEventCode::RxOver});
    // Still the same episode: counted, not reported again.
    QVERIFY(pump(pty, QByteArray(500, 'x'), holds(limit, 1500)));

    // Taking some characters out ends the episode; the next bytes that find no room start another.
    port.setInputLen(10);
    QCOMPARE(port.Input(), QString(10, u'x'));
    QVERIFY(pump(pty, QByteArray(20, 'y'), holds(limit, 1510)));
    QTRY_COMPARE(recorder.codes, (QList<qint16>{CommEventCode::RxOver, CommEventCode::RxOver}));
    port.setInputLen(0);
    const QString held = port.Input();
    QCOMPARE(held.size(), limit);
    QVERIFY(held.endsWith(QString(10, u'y')));
    QVERIFY(held.startsWith(QString(limit - 10, u'x')));
}

void TestTermiosPort::carriesAFloodWithoutLoss() {
    // Sixteen times the input buffer, as fast as the pseudo-terminal takes it, every byte value
    // (so many escaped 0xFF bytes cut at read boundaries): a handler that takes the characters
    // as they come loses none, and the buffer never overflows.
    PtyPair pty;
    TermiosPort port;
    openOn(port, pty);
    Recorder recorder(port);
    QByteArray stream(16 * TermiosPort::InputBufferSize, Qt::Uninitialized);
    for (qsizetype i = 0; i < stream.size(); ++i)
        stream[i] = char((i * 7) >> 3);
    bool sent = false;
    {
        // Joined before anything can return from this function.
        std::jthread sender([&] {
            try {
                pty.writeMaster(stream);
                sent = true;
            } catch (const std::exception&) {
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(
            recorder.received.size() >= stream.size() || port.droppedInputBytes() > 0, 30000);
    }
    QVERIFY(sent);
    QCOMPARE(port.droppedInputBytes(), quint64(0));
    QCOMPARE(recorder.codes.count(CommEventCode::RxOver), 0);
    QVERIFY(recorder.received == QString::fromLatin1(stream));
}

void TestTermiosPort::holdsOutputWhileFlowControlStopsIt_data() {
    QTest::addColumn<int>("handshaking");
    QTest::addColumn<QByteArray>("release");
    QTest::addColumn<int>("switchTo");
    // A pseudo-terminal honours IXON: after an XOFF from the far end the device side takes no
    // output (write fails with EAGAIN, poll shows it not writable, TIOCOUTQ stays 0) until an XON,
    // or until IXON is switched off. It has no CTS, so RTS/CTS alone holds nothing.
    QTest::newRow("Xon/Xoff, XON") << 1 << QByteArray("\x11") << -1;
    QTest::newRow("both, XON") << 3 << QByteArray("\x11") << -1;
    QTest::newRow("Xon/Xoff, switched to none") << 1 << QByteArray() << 0;
    QTest::newRow("both, switched to RTS/CTS") << 3 << QByteArray() << 2;
}

void TestTermiosPort::holdsOutputWhileFlowControlStopsIt() {
    QFETCH(int, handshaking);
    QFETCH(QByteArray, release);
    QFETCH(int, switchTo);

    PtyPair pty;
    TermiosPort port;
    openOn(port, pty);
    Recorder recorder(port);
    // Without flow control XOFF and XON are data like any other.
    pty.writeMaster("\x13\x11");
    QTRY_COMPARE(recorder.received, QStringLiteral("\x13\x11"));

    port.setHandshaking(handshaking); // while open
    holdOutput(pty, recorder);
    if (QTest::currentTestFailed())
        return;
    port.setOutput(QStringLiteral("abc"));
    port.setOutput(QStringLiteral("de"));
    QCOMPARE(port.OutBufferCount(), 5);
    QCoreApplication::processEvents();
    QCOMPARE(port.OutBufferCount(), 5);
    QCOMPARE(pty.readMaster(1, 0ms), QByteArray());

    if (!release.isEmpty())
        pty.writeMaster(release);
    else
        port.setHandshaking(switchTo);
    QCOMPARE(drainMaster(pty, 5), QByteArray("abcde"));
    QTRY_COMPARE(port.OutBufferCount(), 0);
    QCOMPARE(recorder.received, QStringLiteral("\x13\x11!"));
}

void TestTermiosPort::cutsAnOutputThatDoesNotFit() {
    PtyPair pty;
    TermiosPort port;
    port.setHandshaking(1);
    openOn(port, pty);
    Recorder recorder(port);
    holdOutput(pty, recorder);
    if (QTest::currentTestFailed())
        return;

    const qsizetype limit = TermiosPort::OutputBufferSize;
    QByteArray text(limit + 4464, '\0');
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = char(i % 251);
    port.setOutput(QString::fromLatin1(text));
    QCOMPARE(port.OutBufferCount(), limit);
    QTRY_COMPARE(recorder.codes.count(CommEventCode::TxFull), 1);
    // A full buffer takes nothing more.
    port.setOutput(QStringLiteral("z"));
    QCOMPARE(port.OutBufferCount(), limit);
    QTRY_COMPARE(recorder.codes.count(CommEventCode::TxFull), 2);

    pty.writeMaster("\x11");
    const QByteArray sent = drainMaster(pty, limit);
    QCOMPARE(sent.size(), limit);
    QVERIFY(sent == text.first(limit));
    QTRY_COMPARE(port.OutBufferCount(), 0);
    // Room again once it has gone out.
    port.setOutput(QStringLiteral("z"));
    QCOMPARE(pty.readMaster(1), QByteArray("z"));
    QCOMPARE(recorder.codes.count(CommEventCode::TxFull), 2);
}

void TestTermiosPort::raisesSendWhenTheOutputFallsBelowSThreshold_data() {
    QTest::addColumn<int>("threshold");
    QTest::addColumn<bool>("held");
    QTest::addColumn<QStringList>("outputs");
    QTest::addColumn<int>("sends");
    const QStringList six{QStringLiteral("abcdef")};
    QTest::newRow("switched off") << 0 << false << six << 0;
    QTest::newRow("taken at once") << 5 << false << six << 1;
    QTest::newRow("exactly the threshold") << 6 << false << six << 1;
    QTest::newRow("one above the text") << 7 << false << six << 0;
    QTest::newRow("held, then released") << 5 << true << six << 1;
    QTest::newRow("held, reached in two outputs") << 3 << true << QStringList{"ab", "cd"} << 1;
    QTest::newRow("each output on its own") << 2 << false << QStringList{"ab", "cd", "e"} << 2;
}

void TestTermiosPort::raisesSendWhenTheOutputFallsBelowSThreshold() {
    QFETCH(int, threshold);
    QFETCH(bool, held);
    QFETCH(QStringList, outputs);
    QFETCH(int, sends);

    PtyPair pty;
    TermiosPort port;
    port.setHandshaking(1);
    port.setSThreshold(qint16(threshold));
    openOn(port, pty);
    Recorder recorder(port);
    if (held) {
        holdOutput(pty, recorder);
        if (QTest::currentTestFailed())
            return;
    }
    for (const QString& text : outputs)
        port.setOutput(text);
    const qsizetype total = outputs.join(QString()).size();
    if (held) {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        QCOMPARE(recorder.codes.count(CommEventCode::Send), 0);
        pty.writeMaster("\x11");
    }
    QCOMPARE(drainMaster(pty, total), outputs.join(QString()).toLatin1());
    QTRY_COMPARE(port.OutBufferCount(), 0);
    QTRY_COMPARE(recorder.codes.count(CommEventCode::Send), sends);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    QCOMPARE(recorder.codes.count(CommEventCode::Send), sends);
}

QTEST_MAIN(TestTermiosPort)
#include "tst_termios_port.moc"
