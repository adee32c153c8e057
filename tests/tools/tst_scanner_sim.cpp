// The scanner simulator, run as a process and read through its device side, as the program does.

#include "data_columns.h"
#include "scan_log/model/gs1_parser.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

// Starts the simulator and reads the device path from its first line.
struct Simulator {
    explicit Simulator(const QStringList& arguments) {
        process.start(QStringLiteral(SCANNER_SIM), arguments);
        QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 5000);
        path = QString::fromLocal8Bit(process.readLine().trimmed());
    }
    ~Simulator() {
        process.kill();
        process.waitForFinished(2000);
    }
    QProcess process;
    QString path;
};

// The device side, opened like the program opens a port: raw, with stale input discarded.
struct Device {
    explicit Device(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        termios raw{};
        ::tcgetattr(fd, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
        ::tcflush(fd, TCIFLUSH);
    }
    ~Device() { ::close(fd); }

    // Bytes the kernel holds for the reader.
    int queued() const {
        int count = 0;
        return ::ioctl(fd, FIONREAD, &count) == 0 ? count : -1;
    }

    // Reads until `done` holds, the time is up or the simulator has gone away.
    template <typename Done> void readUntil(Done done, std::chrono::milliseconds timeout = 3s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        char chunk[65536];
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            pollfd ready{fd, POLLIN, 0};
            const ssize_t count = ::poll(&ready, 1, 10) > 0 ? ::read(fd, chunk, sizeof chunk) : 0;
            if (count < 0 && errno != EAGAIN)
                return;
            buffer.append(chunk, std::max<ssize_t>(count, 0));
        }
    }
    // The next code, without its terminator; empty when no whole code came in time.
    QByteArray readCode(const QByteArray& terminator) {
        readUntil([&] { return buffer.contains(terminator); });
        const qsizetype end = buffer.indexOf(terminator);
        const QByteArray code = end < 0 ? QByteArray() : buffer.left(end);
        buffer.remove(0, end < 0 ? 0 : end + terminator.size());
        return code;
    }

    int fd;
    QByteArray buffer;
};

enum class Kind { Invalid, Ean13, Code128, TwoD };

// What a point-of-sale system would make of a code: a product number only with a correct check
// digit, and no line-break or other control bytes inside any code.
Kind kindOf(const QByteArray& code) {
    int digits = 0, weighted = 0;
    for (qsizetype i = 0; i < code.size(); ++i) {
        if (code[i] < 0x20 || code[i] > 0x7e)
            return Kind::Invalid;
        digits += code[i] >= '0' && code[i] <= '9';
        weighted += (code[i] - '0') * (i % 2 == 0 ? 1 : 3);
    }
    if (code.size() == 13 && digits == 13)
        return weighted % 10 == 0 ? Kind::Ean13 : Kind::Invalid;
    if (code.size() >= 200 && code.size() <= 1000) {
        // A Digital Link address that the Scan Log reads without a problem.
        const auto fields = scan_log::parseDigitalLink(code.toStdString(), 2025);
        if (!fields)
            return Kind::Invalid;
        for (const scan_log::Gs1Field& field : *fields)
            if (!field.problems.empty() || (!field.check.empty() && field.check != "ok"))
                return Kind::Invalid;
        return Kind::TwoD;
    }
    return !code.isEmpty() && code.size() <= 48 ? Kind::Code128 : Kind::Invalid;
}

// The identifiers of an element string, counting the keys whose check digit is wrong. Empty
// when it does not read cleanly: any field with a problem, or a GS at the very end.
QByteArrayList gs1Fields(const QByteArray& data, int& wrongKeys) {
    if (data.endsWith('\x1d'))
        return {};
    QByteArrayList ids;
    for (const scan_log::Gs1Field& field : scan_log::parseElementString(data.toStdString(), 2025)) {
        if (!field.problems.empty())
            return {};
        wrongKeys += !field.check.empty() && field.check != "ok";
        ids << QByteArray::fromStdString(field.ai);
    }
    return ids;
}

} // namespace

class TestScannerSim : public QObject {
    Q_OBJECT

private slots:
    // A scanner set to 19200 7E1: at 19200 the port takes each character with its parity bit in
    // bit 7 (the 8N1 a pseudo-terminal has), so the low seven bits are the code; at 9600 the
    // characters are garbled.
    void lineSettingsOfTheScanner() {
        for (const speed_t speed : {B19200, B9600}) {
            Simulator sim({u"--test-codes"_s, u"--line"_s, u"19200,7E1"_s, u"--interval"_s,
                           u"0.05"_s, u"--quiet"_s});
            Device device(sim.path);
            termios settings{};
            QCOMPARE(::tcgetattr(device.fd, &settings), 0);
            ::cfsetspeed(&settings, speed);
            QCOMPARE(::tcsetattr(device.fd, TCSANOW, &settings), 0);
            device.readUntil([&device] { return device.buffer.size() >= 40; });
            QByteArray low = device.buffer;
            for (char& c : low)
                c = char(c & 0x7F);
            if (speed == B19200)
                QVERIFY2(low.contains("4006381333931\r\n") || low.contains("96385074\r\n"),
                         low.toHex(' ').constData());
            else
                QVERIFY2(!low.contains("4006381333931") && !low.contains("96385074"),
                         low.toHex(' ').constData());
        }
        QVERIFY(QProcess::execute(QStringLiteral(SCANNER_SIM), {u"--line"_s, u"19200,9X1"_s}) != 0);
    }

    // The three kinds of code in turn, each ended by the terminator, also to a program that opens
    // the port late; what the program sends is printed, escaped. A signal stops it at once and
    // cleanly, though the port is open and codes are flowing.
    void sendsTheThreeKindsUntilStopped_data() {
        addColumns<QStringList, QByteArray, int>("options", "terminator", "signal");
        QTest::newRow("default CR LF") << QStringList() << QByteArray("\r\n") << SIGTERM;
        QTest::newRow("CR") << QStringList{"--terminator", "cr"} << QByteArray("\r") << SIGINT;
        QTest::newRow("LF") << QStringList{"--terminator", "lf"} << QByteArray("\n") << SIGTERM;
    }
    void sendsTheThreeKindsUntilStopped() {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, terminator);
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString link = dir.filePath("scanner");
        Simulator sim(QStringList{"--interval", "0.002", "--link", link} + options);
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.path);
        // Hundreds of codes go nowhere before the port opens, and do not stall it.
        QByteArray printed;
        QTRY_VERIFY_WITH_TIMEOUT(
            (printed += sim.process.readAllStandardOutput()).count("sent: ") >= 300, 10000);
        Device device(sim.path);
        QList<Kind> kinds;
        for (int i = 0; i < 4; ++i)
            kinds << kindOf(device.readCode(terminator));
        // With CR LF, a CR or LF alone inside a code would make two lines of one.
        QVERIFY(!kinds.contains(Kind::Invalid));
        QVERIFY(kinds[0] != kinds[1] && kinds[1] != kinds[2] && kinds[2] != kinds[0]);
        QCOMPARE(kinds[3], kinds[0]);
        QCOMPARE(::write(device.fd, "T1\r\x01\xff\\", 6), 6);
        QTRY_VERIFY((printed += sim.process.readAllStandardOutput())
                        .contains("received: T1\\r\\x01\\xff\\\\"));

        ::kill(static_cast<pid_t>(sim.process.processId()), signal);
        QVERIFY(sim.process.waitForFinished(1000));
        QVERIFY(sim.process.exitStatus() == QProcess::NormalExit && sim.process.exitCode() == 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // A name that is taken already, even by a link, stays as it is: the simulator refuses it.
    void refusesALinkNameThatIsTaken() {
        QTemporaryDir dir;
        const QString link = dir.filePath("scanner");
        QVERIFY(QFile::link("/dev/null", link));
        QProcess sim;
        sim.start(QStringLiteral(SCANNER_SIM), {"--link", link});
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitCode(), 1);
        QVERIFY(sim.readAllStandardError().contains("exists already"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), QStringLiteral("/dev/null"));
    }

    // Identifiers before every code, GS1 element strings with GS after the variable-length fields
    // but the last, right check digits, and a wrong one in exactly every Nth GS1 code.
    void sendsAimIdentifiersAndGs1Codes_data() {
        addColumns<QStringList, bool, bool, int>("options", "aim", "gs1", "badEvery");
        QTest::newRow("identifiers") << QStringList{"--aim"} << true << false << 0;
        QTest::newRow("GS1, every 5th wrong by default")
            << QStringList{"--gs1"} << false << true << 5;
        QTest::newRow("both, every 3rd wrong")
            << QStringList{"--aim", "--gs1", "--bad-check-every", "3"} << true << true << 3;
        QTest::newRow("both, never wrong")
            << QStringList{"--gs1", "--aim", "--bad-check-every", "0"} << true << true << 0;
    }
    void sendsAimIdentifiersAndGs1Codes() {
        QFETCH(QStringList, options);
        QFETCH(bool, aim);
        QFETCH(bool, gs1);
        QFETCH(int, badEvery);
        Simulator sim(QStringList{"--interval", "0.004", "--quiet"} + options);
        Device device(sim.path);
        const QByteArray ids[] = {"]E0", "]C0", "]Q1", "]C1", "]d2"};
        const int kinds = gs1 ? 5 : 3;
        // Codes sent before the port was opened may arrive cut: start at the next EAN-13.
        QByteArray code = device.readCode("\r\n");
        for (int skipped = 0; kindOf(code.mid(aim ? 3 : 0)) != Kind::Ean13; ++skipped) {
            QVERIFY(!code.isEmpty() && skipped < kinds);
            code = device.readCode("\r\n");
        }

        const QList<QByteArrayList> gs1Forms = {
            {"01", "17", "10", "21"}, {"00", "02", "37", "400"}, {"01", "11", "21", "10", "3103"}};
        QList<int> wrongOnes; // ordinals of the GS1 codes with a wrong check digit
        int gs1Codes = 0;
        for (int i = 0; i < kinds * 8; ++i, code = device.readCode("\r\n")) {
            const int kind = i % kinds;
            QVERIFY2(code.startsWith(ids[kind]) == aim, code.left(40).constData());
            const QByteArray data = aim ? code.mid(3) : code;
            if (kind == 0)
                QCOMPARE(kindOf(data), Kind::Ean13);
            else if (kind == 1)
                QVERIFY(kindOf(data) == Kind::Code128 && data.startsWith("LINNET-TEST-"));
            else if (kind == 2)
                QCOMPARE(kindOf(data), Kind::TwoD);
            if (kind < 3)
                continue;
            int wrongKeys = 0;
            const QByteArrayList fields = gs1Fields(data, wrongKeys);
            QVERIFY2(gs1Forms.contains(fields) && (kind == 4) == (fields.size() == 5),
                     code.constData());
            QVERIFY(std::all_of(data.begin(), data.end(),
                                [](char c) { return c == '\x1d' || (c >= 0x20 && c < 0x7f); }));
            QVERIFY(wrongKeys <= 1);
            if (wrongKeys == 1)
                wrongOnes << gs1Codes;
            ++gs1Codes;
        }
        if (!gs1)
            return;
        QCOMPARE(gs1Codes, 16);
        if (badEvery == 0) {
            QVERIFY(wrongOnes.isEmpty());
            return;
        }
        // The first wrong one depends on where reading began; from there, every Nth to the end.
        QVERIFY(!wrongOnes.isEmpty() && wrongOnes.first() < badEvery);
        QCOMPARE(wrongOnes.size(), (gs1Codes - 1 - wrongOnes.first()) / badEvery + 1);
        for (qsizetype i = 1; i < wrongOnes.size(); ++i)
            QCOMPARE(wrongOnes[i] - wrongOnes[i - 1], badEvery);
    }

    void refusesOptionsThatDoNotFit_data() {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("wrong check digits without GS1 codes")
            << QStringList{"--aim", "--bad-check-every", "2"};
        QTest::newRow("not a number") << QStringList{"--gs1", "--bad-check-every", "x"};
    }
    void refusesOptionsThatDoNotFit() {
        QFETCH(QStringList, options);
        QProcess process;
        process.start(QStringLiteral(SCANNER_SIM), options);
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty()); // no device was made
    }

    void streamDeliversExactlyTheBytesAsked() {
        constexpr qsizetype size = 300'000;
        Simulator sim({"--stream", QString::number(size), "--rate", "0", "--terminator", "lf"});
        // Before the port is opened nothing is sent: the program would discard it at open. A
        // short bounded wait, as it shows that something does not happen.
        QTest::qWait(200);
        Device device(sim.path);
        // A reader that lags behind, so that the kernel's buffer fills up and the simulator has to
        // wait, and that sends something meanwhile, which wakes the simulator while it waits.
        QTRY_VERIFY(device.queued() >= 4000);
        QCOMPARE(::write(device.fd, "x", 1), 1);
        device.readUntil([&] { return device.buffer.size() >= size; }, 5s);
        device.readUntil([] { return false; }, 300ms);
        QCOMPARE(device.buffer.size(), size);
        QList<QByteArray> lines = device.buffer.split('\n');
        lines.removeLast(); // the stream may end within a code
        QVERIFY(lines.size() > 1000);
        for (const QByteArray& line : lines)
            QVERIFY2(kindOf(line) != Kind::Invalid, line.left(80).constData());
    }
};

QTEST_MAIN(TestScannerSim)
#include "tst_scanner_sim.moc"
