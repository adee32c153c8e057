// The scanner simulator, run as a process and read through its device side, as the program does.

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// Starts the simulator and reads the device path from its first line.
class Simulator {
public:
    explicit Simulator(const QStringList& arguments) {
        process.start(QStringLiteral(SCANNER_SIM), arguments);
        const QByteArray line = nextLine(5000);
        path = QString::fromLocal8Bit(line);
    }
    ~Simulator() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }

    // The next whole line of its output, without the line break; empty when none came in time.
    QByteArray nextLine(int timeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (!process.canReadLine() && timer.elapsed() < timeoutMs)
            process.waitForReadyRead(
                static_cast<int>(std::max<qint64>(1, timeoutMs - timer.elapsed())));
        return process.canReadLine() ? process.readLine().chopped(1) : QByteArray();
    }

    // Everything reported as received within the time, joined.
    QByteArray receivedWithin(int timeoutMs, qsizetype expectedSize) {
        QByteArray received;
        QElapsedTimer timer;
        timer.start();
        while (received.size() < expectedSize && timer.elapsed() < timeoutMs) {
            const QByteArray line = nextLine(static_cast<int>(timeoutMs - timer.elapsed()));
            if (line.startsWith("received: "))
                received += line.mid(10);
        }
        return received;
    }

    QProcess process;
    QString path;
};

// The device side, opened like the program opens a port: raw, with stale input discarded.
class Device {
public:
    explicit Device(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            return;
        termios raw{};
        ::tcgetattr(fd_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(fd_, TCSANOW, &raw);
        ::tcflush(fd_, TCIFLUSH);
    }
    ~Device() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    void write(const QByteArray& bytes) const {
        QCOMPARE(::write(fd_, bytes.constData(), bytes.size()), bytes.size());
    }

    // Reads until `size` bytes have come or the time is up.
    QByteArray read(qsizetype size, std::chrono::milliseconds timeout) {
        QElapsedTimer timer;
        timer.start();
        while (buffer_.size() < size && timer.elapsed() < timeout.count() && receive()) {
        }
        const QByteArray taken = buffer_.left(size);
        buffer_.remove(0, taken.size());
        return taken;
    }

    // The next code, without its terminator; empty when no whole code came in time.
    QByteArray readCode(const QByteArray& terminator, std::chrono::milliseconds timeout = 3s) {
        QElapsedTimer timer;
        timer.start();
        while (!buffer_.contains(terminator) && timer.elapsed() < timeout.count() && receive()) {
        }
        const qsizetype end = buffer_.indexOf(terminator);
        if (end < 0)
            return {};
        const QByteArray code = buffer_.left(end);
        buffer_.remove(0, end + terminator.size());
        return code;
    }

private:
    // Waits briefly for bytes and keeps them; false once the simulator has gone away.
    bool receive() {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, 10) <= 0)
            return true;
        char chunk[65536];
        const ssize_t count = ::read(fd_, chunk, sizeof chunk);
        if (count > 0)
            buffer_.append(chunk, count);
        return count > 0 || (count < 0 && errno == EAGAIN);
    }

    int fd_ = -1;
    QByteArray buffer_;
};

enum class Kind { Invalid, Ean13, Code128, TwoD };

// What a point-of-sale system would make of a code: a product number only with a correct check
// digit, and no line-break or other control bytes inside any code.
Kind kindOf(const QByteArray& code) {
    for (const char c : code)
        if (c < 0x20 || c > 0x7e)
            return Kind::Invalid;
    bool digits = code.size() == 13;
    int weighted = 0;
    for (qsizetype i = 0; digits && i < code.size(); ++i) {
        digits = code[i] >= '0' && code[i] <= '9';
        weighted += (code[i] - '0') * (i % 2 == 0 ? 1 : 3);
    }
    if (digits)
        return weighted % 10 == 0 ? Kind::Ean13 : Kind::Invalid;
    if (code.size() >= 200 && code.size() <= 1000)
        return Kind::TwoD;
    if (!code.isEmpty() && code.size() <= 48)
        return Kind::Code128;
    return Kind::Invalid;
}

} // namespace

class TestScannerSim : public QObject {
    Q_OBJECT

private slots:
    void sendsTheThreeKindsInTurnWithTheTerminator_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("terminator");
        QTest::newRow("default CR LF") << QStringList() << QByteArray("\r\n");
        QTest::newRow("CR") << QStringList{"--terminator", "cr"} << QByteArray("\r");
        QTest::newRow("LF") << QStringList{"--terminator", "lf"} << QByteArray("\n");
    }
    void sendsTheThreeKindsInTurnWithTheTerminator() {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, terminator);
        Simulator sim(QStringList{"--interval", "0.05", "--quiet"} + options);
        QVERIFY(sim.path.startsWith("/dev/"));
        Device device(sim.path);
        QVERIFY(device.isOpen());

        QList<Kind> kinds;
        for (int i = 0; i < 4; ++i) {
            const QByteArray code = device.readCode(terminator);
            QVERIFY2(kindOf(code) != Kind::Invalid, code.constData());
            // With CR LF, a CR or LF alone inside a code would make two lines of one.
            QVERIFY(!code.contains('\r') && !code.contains('\n'));
            kinds << kindOf(code);
        }
        QVERIFY(kinds[0] != kinds[1] && kinds[1] != kinds[2] && kinds[2] != kinds[0]);
        QVERIFY(kinds[3] == kinds[0]);
    }

    void printsWhatTheProgramSends() {
        Simulator sim({"--interval", "10", "--quiet"});
        Device device(sim.path);
        QVERIFY(device.isOpen());
        device.write(QByteArray("T1\r\x01\xff\\", 6));
        const QByteArray shown("T1\\r\\x01\\xff\\\\");
        QCOMPARE(sim.receivedWithin(3000, shown.size()), shown);
    }

    void stopsCleanlyOnSignal_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void stopsCleanlyOnSignal() {
        QFETCH(int, signal);
        QTemporaryDir dir;
        const QString link = dir.filePath("scanner");
        Simulator sim({"--interval", "0.01", "--link", link});
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.path);
        // A program holding the port open, and codes flowing, do not keep it from stopping.
        Device device(sim.path);
        QVERIFY(!device.readCode("\r\n").isEmpty());

        QElapsedTimer timer;
        timer.start();
        ::kill(static_cast<pid_t>(sim.process.processId()), signal);
        QVERIFY(sim.process.waitForFinished(2000));
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void countEndsOnlyAfterTheLastCodeWasRead() {
        Simulator sim({"--interval", "0.02", "--count", "3", "--terminator", "lf", "--quiet"});
        Device device(sim.path);
        // The codes wait unread; closing the pseudo-terminal now would make the kernel drop them.
        QTest::qWait(300);
        for (int i = 0; i < 3; ++i)
            QVERIFY(kindOf(device.readCode("\n")) != Kind::Invalid);
        QVERIFY(sim.process.waitForFinished(3000));
        QCOMPARE(sim.process.exitCode(), 0);
    }

    void aDeviceNobodyReadsDoesNotStallIt() {
        // Hundreds of codes, more than the kernel holds for a reader, while nobody reads.
        Simulator sim({"--interval", "0.002", "--quiet"});
        QTest::qWait(1500);
        Device device(sim.path);
        for (int i = 0; i < 3; ++i) {
            const QByteArray code = device.readCode("\r\n");
            QVERIFY2(kindOf(code) != Kind::Invalid, code.left(80).constData());
        }
        device.write("k");
        QCOMPARE(sim.receivedWithin(3000, 1), QByteArray("k"));
    }

    void streamDeliversExactlyTheBytesAsked() {
        constexpr qsizetype size = 300'000;
        Simulator sim({"--stream", QString::number(size), "--rate", "0", "--terminator", "lf"});
        // Before the port is opened nothing is sent: the program would discard it at open.
        QTest::qWait(200);
        Device device(sim.path);
        // A reader that lags behind, so that the kernel's buffer fills up and the simulator has to
        // wait, and that sends something meanwhile, which wakes the simulator while it waits.
        QTest::qWait(200);
        device.write("x");
        QTest::qWait(50);
        const QByteArray bytes = device.read(size + 1, 5s);
        QCOMPARE(bytes.size(), size);
        QCOMPARE(device.read(1, 300ms).size(), 0);

        QList<QByteArray> lines = bytes.split('\n');
        lines.removeLast(); // the stream may end within a code
        QVERIFY(lines.size() > 1000);
        for (const QByteArray& line : lines)
            QVERIFY2(kindOf(line) != Kind::Invalid, line.left(80).constData());
    }

    void streamKeepsToItsRate() {
        Simulator sim({"--stream", "3000", "--rate", "6000", "--quiet"});
        Device device(sim.path);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(device.read(3000, 5s).size(), 3000);
        QVERIFY2(timer.elapsed() >= 400 && timer.elapsed() < 3000,
                 QByteArray::number(timer.elapsed()).constData());
    }

    void refusesBadOptionsBeforeCreatingADevice_data() {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("terminator") << QStringList{"--terminator", "tab"};
        QTest::newRow("interval") << QStringList{"--interval", "0"};
        QTest::newRow("not a number") << QStringList{"--stream", "12k"};
        QTest::newRow("count with stream") << QStringList{"--stream", "10", "--count", "2"};
        QTest::newRow("unknown") << QStringList{"--baud", "9600"};
    }
    void refusesBadOptionsBeforeCreatingADevice() {
        QFETCH(QStringList, options);
        QProcess process;
        process.start(QStringLiteral(SCANNER_SIM), options);
        QVERIFY(process.waitForFinished(3000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(!process.readAllStandardError().isEmpty());
    }
};

QTEST_MAIN(TestScannerSim)
#include "tst_scanner_sim.moc"
