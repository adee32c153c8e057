// The scanner simulator, run as a process and read through its device side, as the program does.

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

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
    if (code.size() >= 200 && code.size() <= 1000)
        return Kind::TwoD;
    return !code.isEmpty() && code.size() <= 48 ? Kind::Code128 : Kind::Invalid;
}

} // namespace

class TestScannerSim : public QObject {
    Q_OBJECT

private slots:
    // The three kinds of code in turn, each ended by the terminator, also to a program that opens
    // the port late; what the program sends is printed, escaped. A signal stops it at once and
    // cleanly, though the port is open and codes are flowing.
    void sendsTheThreeKindsUntilStopped_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("terminator");
        QTest::addColumn<int>("signal");
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
