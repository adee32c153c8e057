#include "checked_build.h"
#include "data_columns.h"
#include "port/termios_port.h"
#include "port_environment.h"
#include "port_refusal.h"
#include "pty_pair.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace port;

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

// The fields of a failure beyond operation, kind, cause, port and device, where they are set.
QString valuesOf(const PortError& error) {
    QStringList shown;
    if (!error.value.isEmpty()) {
        // Half a character shows by its code.
        QString value;
        for (const QChar c : error.value)
            value += c.isSurrogate() && error.value.size() == 1
                         ? u"U+"_s + QString::number(c.unicode(), 16).toUpper()
                         : QString(c);
        shown << u"value="_s + value;
    }
    if (!error.field.isEmpty())
        shown << u"field="_s + error.field;
    if (error.position != 0)
        shown << u"position=%1 character=U+%2"_s.arg(error.position)
                     .arg(QString::number(error.character, 16).toUpper());
    return shown.join(u' ');
}

// Whether any descriptor of this process still refers to the device.
bool processHolds(const QString& path) {
    const QDir descriptors(u"/proc/self/fd"_s);
    for (const QString& name : descriptors.entryList(QDir::Files | QDir::System)) {
        // A removed device node reads back as "/dev/pts/4 (deleted)".
        const QString target = QFile::symLinkTarget(descriptors.filePath(name));
        if (target == path || target.startsWith(path + u' '))
            return true;
    }
    return false;
}

using Operation = std::function<void(port::TermiosPort&)>;

} // namespace

Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(port::PortOperation)
Q_DECLARE_METATYPE(port::FailureKind)
Q_DECLARE_METATYPE(port::FailureCause)

// Each test has a port set to COM7, mapped to a fresh pseudo-terminal whose master side plays the
// device, and a recorder of the port's notifications.
class TestTermiosPort : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<QTemporaryDir> lockDir_;
    std::unique_ptr<port::TermiosPort> port_;
    // Every notification the port raised, in order: "2:<what Input returned>" for Receive, the
    // code alone for the others.
    QStringList trace_;
    QString received_;

    termios attributes() const { return pty_->slaveAttributes(); }
    QString where() const { return u"COM7 (%1)"_s.arg(pty_->slavePath()); }
    int count(const char* code) const { return int(trace_.count(QLatin1String(code))); }

    // Reads from the master side until `size` bytes came, running the event loop in between so
    // that the port can go on sending what it holds.
    QByteArray drainMaster(qsizetype size) {
        QByteArray got;
        (void)QTest::qWaitFor([&] { return (got += pty_->readMaster(1, 0ms)).size() >= size; },
                              20000);
        return got;
    }

    // Has the far end send XOFF, and waits until the port has read the byte sent after it.
    bool holdOutput() {
        const QString expected = received_ + u'!';
        pty_->writeMaster("\x13!");
        return QTest::qWaitFor([&] { return received_ == expected; });
    }

private slots:
    void initTestCase() { clearPortVariables(); }
    void init() {
        startPtyAsPort(7, lockDir_, pty_);
        port_ = std::make_unique<port::TermiosPort>();
        port_->setCommPort(7);
        trace_.clear();
        received_.clear();
        connect(port_.get(), &port::PortControl::OnComm, this, [this] {
            if (port_->CommEvent() != port::CommEventCode::Receive)
                return trace_.append(QString::number(port_->CommEvent()));
            const QString input = port_->Input();
            received_ += input;
            trace_.append(u"2:"_s + input);
        });
    }
    void cleanup() {
        port_.reset();
        pty_.reset();
        qunsetenv("LINNET_LOCK_DIR");
        lockDir_.reset();
    }

    // A program that holds the device as `sleep` with the device as its input.
    std::unique_ptr<QProcess> startHolder() {
        auto holder = std::make_unique<QProcess>();
        holder->setStandardInputFile(pty_->slavePath());
        holder->start(u"sleep"_s, {u"30"_s});
        if (!holder->waitForStarted())
            qFatal("sleep did not start");
        return holder;
    }
    QString inUseBySleep(qint64 pid) const {
        return where() + u" is in use by sleep (process "_s + QString::number(pid) +
               u"): close that program, then open the port again."_s;
    }
    QString lockPath() const {
        return lockDir_->filePath(u"LCK.."_s + QFileInfo(pty_->slavePath()).fileName());
    }

    void opensRawAndRestoresTheDeviceOnClose() {
        // As a shell would leave it: cooked, echoing, translating CR, at 38400 baud.
        termios cooked = attributes();
        cooked.c_lflag |= ICANON | ECHO | ISIG;
        cooked.c_iflag |= ICRNL;
        cfsetspeed(&cooked, B38400);
        QCOMPARE(::tcsetattr(pty_->slaveFd(), TCSANOW, &cooked), 0);
        const termios before = attributes();

        port_->setPortOpen(true);
        const termios open = attributes();
        QCOMPARE(open.c_lflag & (ICANON | ECHO | ISIG), 0u);
        QCOMPARE(open.c_iflag & (ICRNL | PARMRK), tcflag_t(PARMRK));
        // A pseudo-terminal has no modem lines: they read as not held, and DTR is no failure.
        QVERIFY(!port_->CDHolding() && !port_->CTSHolding() && !port_->DSRHolding());
        port_->setDTREnable(false);
        QVERIFY(!port_->DTREnable());

        port_->setPortOpen(false);
        const termios after = attributes();
        QCOMPARE(after.c_lflag, before.c_lflag);
        QCOMPARE(after.c_iflag, before.c_iflag);
        QCOMPARE(cfgetospeed(&after), speed_t(B38400));
        port_->setPortOpen(true);
        QVERIFY(port_->PortOpen());
    }

    void refusesASecondPortOnTheSameDevice() {
        port_->setPortOpen(true);
        port::TermiosPort second;
        second.setCommPort(7);
        const std::optional<port::PortFailure> refused =
            failureOf([&] { second.setPortOpen(true); });
        QVERIFY(refused);
        // Our own lock (flock) refuses it.
        QCOMPARE(refused->error().operation, PortOperation::Open);
        QCOMPARE(refused->error().kind, FailureKind::Busy);
        QCOMPARE(refused->error().systemError, EWOULDBLOCK);
        QCOMPARE(refused->description(),
                 u"Cannot open %1: another program holds its lock. The port is in use by another "
                 "program: close that program, then open the port again."_s.arg(where()));
        QVERIFY(!second.PortOpen() && port_->PortOpen());
        port_->setPortOpen(false);
        second.setPortOpen(true);
        QVERIFY(second.PortOpen());
    }

    void refusesADeviceAnotherProgramHasOpen() {
        std::unique_ptr<QProcess> holder = startHolder();
        QCOMPARE(refusal([&] { port_->setPortOpen(true); }), inUseBySleep(holder->processId()));
        QVERIFY(!port_->PortOpen() && !QFile::exists(lockPath()));
        holder->kill();
        holder->waitForFinished();
        port_->setPortOpen(true);
        // Opens by others fail from now on, until the port closes.
        int exclusive = 0;
        QCOMPARE(::ioctl(pty_->slaveFd(), TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1);
        port_->setPortOpen(false);
        QCOMPARE(::ioctl(pty_->slaveFd(), TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 0);

        // A program that has the master side too is the device's far end (as the scanner
        // simulator is): its own descriptor of the device side does not count.
        const pid_t farEnd = ::fork();
        if (farEnd == 0) {
            ::pause();
            ::_exit(0);
        }
        QVERIFY(farEnd > 0);
        const auto stop = qScopeGuard([&] {
            ::kill(farEnd, SIGKILL);
            ::waitpid(farEnd, nullptr, 0);
        });
        QTRY_VERIFY(QFile::exists(u"/proc/%1/fd/%2"_s.arg(farEnd).arg(pty_->masterFd())));
        port_->setPortOpen(true);
    }

    void honoursAndTakesTheLockFile_data() {
        QTest::addColumn<QString>("found"); // what is in the lock file's place
        QTest::newRow("nothing") << u"nothing"_s;
        QTest::newRow("lock of a running program") << u"running"_s;
        QTest::newRow("lock of an ended program") << u"ended"_s;
        // Another program between creating its lock and writing its id into it.
        QTest::newRow("empty lock just made") << u"empty new"_s;
        QTest::newRow("empty lock left long ago") << u"empty old"_s;
        QTest::newRow("link planted in its place") << u"link"_s;
        QTest::newRow("no lock folder") << u"no folder"_s;
    }
    void honoursAndTakesTheLockFile() {
        QFETCH(QString, found);
        const QString lock = lockPath();
        const auto lockText = [](qint64 pid) {
            return QByteArray::number(pid).rightJustified(10, ' ') + '\n';
        };
        const auto writeFile = [](const QString& path, const QByteArray& content) {
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
        };
        std::unique_ptr<QProcess> holder;
        const auto stopHolder = qScopeGuard([&] {
            if (holder) {
                holder->kill();
                holder->waitForFinished();
            }
        });
        const QString target = lockDir_->filePath(u"target"_s);
        if (found == u"running") {
            // A program that locked the port but does not have it open now.
            holder = std::make_unique<QProcess>();
            holder->start(u"sleep"_s, {u"30"_s});
            QVERIFY(holder->waitForStarted());
            QVERIFY(writeFile(lock, lockText(holder->processId())));
        } else if (found == u"ended") {
            const pid_t child = ::fork();
            if (child == 0)
                ::_exit(0);
            QVERIFY(child > 0 && ::waitpid(child, nullptr, 0) == child);
            QVERIFY(writeFile(lock, lockText(child)));
        } else if (found.startsWith(u"empty")) {
            QVERIFY(writeFile(lock, {}));
            if (found == u"empty old") {
                const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 11, 0}};
                QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(lock).constData(), times, 0), 0);
            }
        } else if (found == u"link") {
            QVERIFY(writeFile(target, "keep"));
            QVERIFY(QFile::link(target, lock));
        } else if (found == u"no folder") {
            qputenv("LINNET_LOCK_DIR", QFile::encodeName(lockDir_->filePath(u"none"_s)));
        }
        const QString refused = refusal([&] { port_->setPortOpen(true); });
        if (found == u"running") {
            QCOMPARE(refused, inUseBySleep(holder->processId()));
            QCOMPARE(QFile(lock).size(), 11);
        } else if (found == u"empty new") {
            QVERIFY2(refused.contains(u"in use"), qPrintable(refused));
            QCOMPARE(QFile(lock).size(), 0);
        } else if (found == u"link") {
            QCOMPARE(refused, u"Cannot open %1: its lock file %2 is not a regular file, so it is "
                              "neither used nor removed. Remove it if no program uses the port, "
                              "then open the port again."_s.arg(where(), lock));
            QCOMPARE(QFile::symLinkTarget(lock), target);
            QFile kept(target);
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), QByteArray("keep"));
        } else {
            QCOMPARE(refused, QString());
            if (found != u"no folder") { // ours while open, gone after
                QFile taken(lock);
                QVERIFY(taken.open(QIODevice::ReadOnly));
                QCOMPARE(taken.readAll(), lockText(QCoreApplication::applicationPid()));
            }
            port_->setPortOpen(false);
            QVERIFY(!QFile::exists(lock));
        }
    }

    void carriesEveryByteBothWays() {
        port_->setPortOpen(true);
        // With marking on, a pseudo-terminal too doubles each 0xFF the far end sends: only the
        // decoding gives back these bytes, which look like marks, as sent.
        QByteArray bytes("\xFF\0\0\xFF\0A\xFF", 7);
        for (int i = 0; i < 256; ++i)
            bytes.append(char(i));
        pty_->writeMaster(bytes);
        QTRY_COMPARE(received_, QString::fromLatin1(bytes));
        port_->setOutput(QString::fromLatin1(bytes));
        QCOMPARE(pty_->readMaster(bytes.size()), bytes);
    }

    void appliesSettingsWhileOpen() {
        port_->setSettings(u"9600,n,8,1"_s);
        port_->setHandshaking(1);
        port_->setPortOpen(true);
        QCOMPARE(attributes().c_cflag & CBAUD, tcflag_t(B9600));
        port_->setSettings(u"19200,e,7,2"_s);
        QCOMPARE(port_->Settings(), u"19200,E,7,2"_s);
        QCOMPARE(attributes().c_cflag & CBAUD, tcflag_t(B19200));
        // Changes a pseudo-terminal cannot show (parity, data bits) are no refusals; a refused
        // text leaves the device alone.
        port_->setSettings(u"19200,O,8,2"_s);
        QVERIFY(!refusal([&] { port_->setSettings(u"14400,N,8,1"_s); }).isEmpty());
        QCOMPARE(attributes().c_cflag & CBAUD, tcflag_t(B19200));

        port_->setHandshaking(2);
        QCOMPARE(attributes().c_iflag & (IXON | IXOFF), 0u);
        QCOMPARE(attributes().c_cflag & CRTSCTS, tcflag_t(CRTSCTS));
    }

    void receivesByInputLenAndRThreshold_data() {
        // writes: by the far end, one after the other
        addColumns<int, int, QStringList, QStringList, int>("inputLen", "rThreshold", "writes",
                                                            "trace", "left");
        const auto row = [](const char* name, int inputLen, int rThreshold,
                            const QStringList& writes, const QStringList& trace, int left) {
            QTest::newRow(name) << inputLen << rThreshold << writes << trace << left;
        };
        row("InputLen 3", 3, 1, {"abcdefgh"}, {"2:abc", "2:def", "2:gh"}, 0);
        row("RThreshold 5", 0, 5, {"abc", "de"}, {"2:abcde"}, 0);
        row("remainder below RThreshold", 1, 2, {"abc"}, {"2:a", "2:b"}, 1);
    }
    void receivesByInputLenAndRThreshold() {
        QFETCH(int, inputLen);
        QFETCH(int, rThreshold);
        QFETCH(QStringList, writes);
        QFETCH(QStringList, trace);
        QFETCH(int, left);
        port_->setInputLen(qint16(inputLen));
        port_->setRThreshold(qint16(rThreshold));
        port_->setPortOpen(true);
        qsizetype written = 0;
        for (const QString& text : writes) {
            pty_->writeMaster(text.toLatin1());
            written += text.size();
            QTRY_COMPARE(received_.size() + port_->InBufferCount(), written);
            // A short bounded wait: no more notifications come for this write.
            QTest::qWait(20);
        }
        QCOMPARE(trace_, trace);
        QCOMPARE(port_->InBufferCount(), left);
    }

    void refusesWithoutChangingAnything_data() {
        // failed: the operation the failure names
        // device: %1 stands for the pseudo-terminal
        // values: the fields that matter, as valuesOf shows them
        // text: the whole sentence, where no other test has it
        addColumns<bool, Operation, PortOperation, FailureKind, FailureCause, int, QString, QString,
                   QString>("open", "operation", "failed", "kind", "cause", "systemError", "device",
                            "values", "text");
        using K = FailureKind;
        using C = FailureCause;
        using O = PortOperation;
        const auto row = [](const char* name, bool open, O failed, K kind, C cause,
                            const char* values, Operation operation, const char* text = "",
                            int systemError = 0, const char* device = "%1") {
            QTest::newRow(name) << open << operation << failed << kind << cause << systemError
                                << QString::fromUtf8(device) << QString::fromUtf8(values)
                                << QString::fromUtf8(text);
        };
        const auto openAt = [](const char* path) {
            return [path](port::TermiosPort& p) {
                qputenv("LINNET_COM7", path);
                p.setPortOpen(true);
            };
        };
        row(
            "CommPort 0", false, O::SetCommPort, K::RefusedValue, C::OutOfRange, "value=0",
            [](port::TermiosPort& p) { p.setCommPort(0); },
            "Port number 0 is not valid; use a number from 1 to 18.");
        row("Settings", false, O::SetSettings, K::RefusedValue, C::InvalidSettings,
            "value=9600,N,9,1 field=9",
            [](port::TermiosPort& p) { p.setSettings(u"9600,N,9,1"_s); });
        row("Handshaking", false, O::SetHandshaking, K::RefusedValue, C::OutOfRange, "value=4",
            [](port::TermiosPort& p) { p.setHandshaking(4); });
        row("InputLen", false, O::SetInputLen, K::RefusedValue, C::OutOfRange, "value=-1",
            [](port::TermiosPort& p) { p.setInputLen(-1); });
        row("RThreshold", false, O::SetRThreshold, K::RefusedValue, C::OutOfRange, "value=-1",
            [](port::TermiosPort& p) { p.setRThreshold(-1); });
        row("SThreshold", false, O::SetSThreshold, K::RefusedValue, C::OutOfRange, "value=-1",
            [](port::TermiosPort& p) { p.setSThreshold(-1); });
        row("ParityReplace too long", false, O::SetParityReplace, K::RefusedValue, C::TooLong,
            "value=ab", [](port::TermiosPort& p) { p.setParityReplace(u"ab"_s); });
        row(
            "ParityReplace not one byte", false, O::SetParityReplace, K::RefusedValue,
            C::NotOneByte, "value=\u20ac",
            [](port::TermiosPort& p) { p.setParityReplace(u"\u20ac"_s); },
            "The parity replacement \"\u20ac\" is not a one-byte character; use a character from "
            "U+0000 to U+00FF, or nothing to keep the received byte.");
        // Characters beyond the Basic Multilingual Plane are taken whole, never half of one.
        row("ParityReplace beyond the BMP", false, O::SetParityReplace, K::RefusedValue,
            C::NotOneByte, "value=\U0001F600",
            [](port::TermiosPort& p) { p.setParityReplace(u"\U0001F600"_s); });
        row("ParityReplace too long, beyond the BMP", false, O::SetParityReplace, K::RefusedValue,
            C::TooLong, "value=\U0001F600x",
            [](port::TermiosPort& p) { p.setParityReplace(u"\U0001F600x"_s); });
        row(
            "ParityReplace half a character", false, O::SetParityReplace, K::RefusedValue,
            C::NotOneByte, "value=U+D83D",
            [](port::TermiosPort& p) { p.setParityReplace(QString(QChar(0xD83D))); },
            "The parity replacement \"U+D83D\" is not a one-byte character; use a character from "
            "U+0000 to U+00FF, or nothing to keep the received byte.");
        row("Output", false, O::Output, K::ClosedPort, C::NotOpen, "",
            [](port::TermiosPort& p) { p.setOutput(u"x"_s); });
        row("Input", false, O::Input, K::ClosedPort, C::NotOpen, "",
            [](port::TermiosPort& p) { p.Input(); });
        row("InBufferCount", false, O::InBufferCount, K::ClosedPort, C::NotOpen, "",
            [](port::TermiosPort& p) { p.InBufferCount(); });
        row("OutBufferCount", false, O::OutBufferCount, K::ClosedPort, C::NotOpen, "",
            [](port::TermiosPort& p) { p.OutBufferCount(); });
        row("close", false, O::Close, K::ClosedPort, C::AlreadyClosed, "",
            [](port::TermiosPort& p) { p.setPortOpen(false); });
        row("open a missing device", false, O::Open, K::Missing, C::OpenRefused, "",
            openAt("/dev/linnet-none"), "", ENOENT, "/dev/linnet-none");
        row("open what is no terminal", false, O::Open, K::NotSerial, C::OpenRefused, "",
            openAt("/dev/null"), "", ENOTTY, "/dev/null");
        row("open", true, O::Open, K::OpenPort, C::AlreadyOpen, "",
            [](port::TermiosPort& p) { p.setPortOpen(true); });
        row("CommPort while open", true, O::SetCommPort, K::OpenPort, C::ChangeWhileOpen, "",
            [](port::TermiosPort& p) { p.setCommPort(3); });
        row("Output beyond one byte", true, O::Output, K::RefusedValue, C::NotOneByte,
            "position=11 character=U+20AC",
            [](port::TermiosPort& p) { p.setOutput(u"ok \u00ff then \u20ac"_s); });
        // Characters are counted whole: the emoji is the third, and is named whole.
        row("Output beyond the Basic Multilingual Plane", true, O::Output, K::RefusedValue,
            C::NotOneByte, "position=3 character=U+1F600",
            [](port::TermiosPort& p) { p.setOutput(u"a\u00e9\U0001F600"_s); });
    }
    void refusesWithoutChangingAnything() {
        QFETCH(bool, open);
        QFETCH(Operation, operation);
        QFETCH(PortOperation, failed);
        QFETCH(FailureKind, kind);
        QFETCH(FailureCause, cause);
        QFETCH(int, systemError);
        QFETCH(QString, device);
        QFETCH(QString, values);
        QFETCH(QString, text);
        if (open)
            port_->setPortOpen(true);
        const auto snapshot = [&] {
            QString text;
            const port::TermiosPort& p = *port_;
            QDebug(&text) << p.CommPort() << p.Settings() << p.Handshaking() << p.InputLen()
                          << p.RThreshold() << p.SThreshold() << p.ParityReplace() << p.PortOpen();
            return text;
        };
        const QString before = snapshot();
        const std::optional<port::PortFailure> refused = failureOf([&] { operation(*port_); });
        QVERIFY(refused);
        const PortError& error = refused->error();
        QCOMPARE(error.operation, failed);
        QCOMPARE(error.kind, kind);
        QCOMPARE(error.cause, cause);
        QCOMPARE(error.systemError, systemError);
        QCOMPARE(error.port, qint16(7));
        QCOMPARE(error.device, device.contains(u"%1"_s) ? device.arg(pty_->slavePath()) : device);
        QCOMPARE(valuesOf(error), values);
        if (!text.isEmpty())
            QCOMPARE(refused->description(), text.replace(u"%1"_s, where()));
        QCOMPARE(snapshot(), before);
        if (open) { // and nothing of a refused Output went out
            port_->setOutput(u"z"_s);
            QCOMPARE(pty_->readMaster(1), QByteArray("z"));
        }
    }

    void keepsPercentSignsOfDevicePathsInMessages() {
        // Placeholders in the path stay as they are: no message reads them as its own.
        QTemporaryDir dir;
        const QString link = dir.filePath(u"dev-%2x%1y"_s);
        QVERIFY(QFile::link(pty_->slavePath(), link));
        qputenv("LINNET_COM7", QFile::encodeName(link));
        port_->setPortOpen(true);
        const QString where = u"COM7 ("_s + link + u')';
        QCOMPARE(refusal([&] { port_->setOutput(u"\u20ac"_s); }),
                 where + u" cannot send the text: character 1 is U+20AC, which is not one byte; "
                         "only characters U+0000 to U+00FF can be sent."_s);
        QCOMPARE(refusal([&] { port_->setPortOpen(true); }),
                 where + u" is already open; close it before opening it again."_s);
        port_->setPortOpen(false);
        qputenv("LINNET_COM7", "/dev/linnet-none-%1-%2");
        QVERIFY(refusal([&] {
                    port_->setPortOpen(true);
                }).startsWith(u"Cannot open COM7 (/dev/linnet-none-%1-%2): No such file"_s));
    }

    void opensAPathThatIsNotText() {
        // In the C locale too: the name's bytes reach open() as the environment gave them.
        const QByteArray locale = ::setlocale(LC_ALL, nullptr);
        ::setlocale(LC_ALL, "C");
        const auto restore = qScopeGuard([&] { ::setlocale(LC_ALL, locale.constData()); });
        QTemporaryDir dir;
        const QByteArray link = QFile::encodeName(dir.path()) + "/caf\xE9";
        QCOMPARE(::symlink(QFile::encodeName(pty_->slavePath()).constData(), link.constData()), 0);
        // QTemporaryDir cannot remove a name that is not text.
        const auto unlink = qScopeGuard([&] { ::unlink(link.constData()); });
        qputenv("LINNET_COM7", link);
        port_->setPortOpen(true);
        pty_->writeMaster("scan");
        QTRY_COMPARE(received_, u"scan"_s);
        QCOMPARE(refusal([&] { port_->setPortOpen(true); }),
                 u"COM7 (%1/caf\\xE9) is already open; close it before opening it again."_s.arg(
                     dir.path()));
    }

    void opensWhereTheResolverLeads() {
        // The resolver decides over LINNET_COM7, at each open and in every message.
        PtyPair other;
        QList<qint16> asked;
        bool connected = true;
        port_->setDeviceResolver([&](qint16 port) {
            asked << port;
            return port::PortDevice{QFile::encodeName(other.slavePath()), connected};
        });
        QCOMPARE(port_->devicePathFor(7), other.slavePath());
        port_->setPortOpen(true);
        other.writeMaster("moved");
        QTRY_COMPARE(received_, u"moved"_s);
        QCOMPARE(pty_->readMaster(1, 0ms), QByteArray());
        port_->setPortOpen(false);

        // A device that is not plugged in is missing, whatever has its old node now.
        connected = false;
        QCOMPARE(refusal([&] { port_->setPortOpen(true); }),
                 u"Cannot open COM7 (%1): "_s.arg(other.slavePath()) +
                     QString::fromLocal8Bit(std::strerror(ENODEV)) +
                     u". There is no such device: plug in the scanner, or set LINNET_COM7 to the "
                     "device it uses (for example LINNET_COM7=/dev/ttyACM0)."_s);
        QVERIFY(!port_->PortOpen());
        QVERIFY(asked.size() >= 3 &&
                std::all_of(asked.begin(), asked.end(), [](qint16 port) { return port == 7; }));
    }

    void reportsAHangUpOnce() {
        port_->setPortOpen(true);
        QSignalSpy lost(port_.get(), &port::PortControl::deviceLost);
        pty_->closeSlave();
        QVERIFY(processHolds(pty_->slavePath()));
        pty_->closeMaster();
        // Found by the write before the reader runs; reported once, and not from inside Output.
        port_->setOutput(u"late"_s);
        QCOMPARE(lost.count(), 0);
        QTRY_COMPARE(lost.count(), 1);
        QCOMPARE(lost.at(0).at(0).toString(),
                 where() + u" was disconnected; the port is closed."_s);
        QVERIFY(!processHolds(pty_->slavePath()));
        QTest::qWait(50); // bounded: shows that no second report comes
        QCOMPARE(lost.count(), 1);
    }

    void marksLineErrorsWhereTheyOccur_data() {
        addColumns<QString, QString, QByteArray, QStringList>("settings", "replacement", "stream",
                                                              "trace");
        // The Receive for the bytes before an error comes first, and its handler takes what has
        // arrived by then. Without counters (a pseudo-terminal has none) parity decides what the
        // error was.
        const auto row = [](const char* name, const char* settings, const QString& replacement,
                            const QByteArray& stream, const QStringList& trace) {
            QTest::newRow(name) << QString::fromLatin1(settings) << replacement << stream << trace;
        };
        row("break between data", "9600,N,8,1", u"?"_s, "AB\xFF\0\0CD"_ba, {"2:ABCD", "1001"});
        row("break first", "9600,N,8,1", u"?"_s, "\xFF\0\0AB"_ba, {"1001", "2:AB"});
        row("parity error replaced", "9600,E,8,1", u"?"_s, "A\xFF\0XB"_ba, {"2:A?B", "1008"});
        row("parity error kept", "9600,O,7,1", u""_s, "A\xFF\0XB"_ba, {"2:AXB", "1008"});
        row("replacement above 0x7F", "9600,E,8,1", u"\u00bf"_s, "\xFF\0\xFF"_ba,
            {"1008", "2:\u00bf"});
        row("framing error keeps the byte", "9600,N,8,1", u"?"_s, "A\xFF\0XB"_ba,
            {"2:AXB", "1004"});
    }
    void marksLineErrorsWhereTheyOccur() {
        QFETCH(QString, settings);
        QFETCH(QString, replacement);
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, trace);
        port_->setSettings(settings);
        port_->setParityReplace(replacement);
        port_->setPortOpen(true);
        // A pseudo-terminal has no line errors. With marking switched off behind the port's back,
        // the far end's bytes reach the port as a UART's driver marks a break or a bad byte.
        termios unmarked = attributes();
        unmarked.c_iflag &= ~tcflag_t(PARMRK);
        QCOMPARE(::tcsetattr(pty_->slaveFd(), TCSANOW, &unmarked), 0);
        pty_->writeMaster(stream);
        QTRY_COMPARE(trace_, trace);
        QTest::qWait(20); // bounded: shows that nothing more is raised
        QCOMPARE(trace_, trace);
    }

    // At 7 data bits the eighth is no data, even where the device passes it on (a
    // pseudo-terminal always carries 8): letters with their parity bit and CR as 8Dh arrive as
    // the text the scanner sent, in Input and at the tap. At 8 bits every bit stays.
    void sevenDataBitsDropTheEighth_data() {
        addColumns<QString, QByteArray>("settings", "received");
        QTest::newRow("7E1") << u"19200,E,7,1"_s << "AB\r\n"_ba;
        QTest::newRow("7N2") << u"9600,N,7,2"_s << "AB\r\n"_ba;
        QTest::newRow("8N1") << u"9600,N,8,1"_s << "\xC1\xC2\x8D\n"_ba;
    }
    void sevenDataBitsDropTheEighth() {
        QFETCH(QString, settings);
        QFETCH(QByteArray, received);
        port_->setSettings(settings);
        port_->setPortOpen(true);
        QByteArray tapped;
        connect(port_.get(), &port::PortControl::bytesArrived, this,
                [&tapped](const QByteArray& bytes, qint64) { tapped += bytes; });
        pty_->writeMaster("\xC1\xC2\x8D\n"_ba);
        QTRY_COMPARE(tapped, received);
        QTRY_COMPARE(received_.toLatin1(), received);
    }

    void overflowsTheInputBufferOncePerEpisode() {
        port_->setRThreshold(0); // Receive off, so nobody reads: the buffer fills
        port_->setPortOpen(true);
        const qsizetype limit = port::TermiosPort::InputBufferSize;
        // Sends more than the pseudo-terminal buffers, letting the port read as it goes, until
        // the port holds `held` characters and has dropped `dropped`.
        const auto pump = [&](const QByteArray& bytes, qsizetype held, quint64 dropped) {
            qsizetype sent = 0;
            return QTest::qWaitFor(
                [&] {
                    sent += pty_->tryWriteMaster(QByteArrayView(bytes).sliced(sent));
                    return sent == bytes.size() && port_->InBufferCount() == held &&
                           port_->droppedInputBytes() == dropped;
                },
                30000);
        };
        QVERIFY(pump(QByteArray(limit + 1000, 'x'), limit, 1000));
        QVERIFY(pump(QByteArray(500, 'x'), limit, 1500)); // the same episode: counted only
        QTRY_COMPARE(trace_, QStringList{u"1007"_s});
        // Taking characters out ends the episode; the next bytes that find no room start another.
        port_->setInputLen(10);
        QCOMPARE(port_->Input(), QString(10, u'x'));
        QVERIFY(pump(QByteArray(20, 'y'), limit, 1510));
        QTRY_COMPARE(trace_, (QStringList{u"1007"_s, u"1007"_s}));
        port_->setInputLen(0);
        QCOMPARE(port_->Input(), QString(limit - 10, u'x') + QString(10, u'y'));
    }

    void handshakingHoldsTheSenderInsteadOfDropping_data() {
        // inputFlow: what the driver needs to hold the sender
        addColumns<int, tcflag_t, tcflag_t>("handshaking", "inputFlow", "controlFlow");
        QTest::newRow("Xon/Xoff") << 1 << tcflag_t(IXOFF) << tcflag_t(0);
        QTest::newRow("RTS/CTS") << 2 << tcflag_t(0) << tcflag_t(CRTSCTS);
    }
    void handshakingHoldsTheSenderInsteadOfDropping() {
        QFETCH(int, handshaking);
        QFETCH(tcflag_t, inputFlow);
        QFETCH(tcflag_t, controlFlow);
        // Twice what the port buffers, read one character per notification (sixteen under the
        // sanitizers, where each is slower still). The far end writes as fast as the device takes
        // it; a pseudo-terminal makes it wait while full.
        constexpr qint64 Total = 2 * port::TermiosPort::InputBufferSize;
        const auto byteAt = [](qint64 i) { return char(0x20 + i % 95); }; // no XON, XOFF or 0xFF
        port_->setHandshaking(handshaking);
        port_->setInputLen(scaledForChecks<qint16>(1, 16));
        port_->setPortOpen(true);
        QCOMPARE(attributes().c_iflag & IXOFF, inputFlow);
        QCOMPARE(attributes().c_cflag & CRTSCTS, controlFlow);
        disconnect(port_.get(), &port::PortControl::OnComm, this, nullptr);
        qint64 delivered = 0;
        qint64 mismatches = 0;
        QList<qint16> others;
        // Run without the pauses of QTRY and qWaitFor, which would let one notification through
        // every 10 ms.
        QEventLoop loop;
        connect(port_.get(), &port::PortControl::OnComm, this, [&] {
            if (port_->CommEvent() != port::CommEventCode::Receive)
                return others.append(port_->CommEvent());
            for (const QChar c : port_->Input())
                mismatches += c.toLatin1() != byteAt(delivered++);
            if (delivered == Total)
                loop.quit();
        });
        std::atomic<qint64> written{0};
        std::atomic<bool> stop{false};
        std::thread writer([&] {
            QByteArray chunk(64 << 10, Qt::Uninitialized);
            while (written < Total && !stop) {
                const qint64 from = written;
                const qsizetype size = qsizetype(std::min<qint64>(chunk.size(), Total - from));
                for (qsizetype i = 0; i < size; ++i)
                    chunk[i] = byteAt(from + i);
                const qsizetype taken = pty_->tryWriteMaster(QByteArrayView(chunk).first(size));
                written += taken;
                if (taken == 0) { // full: wait until the device side takes some
                    pollfd p{pty_->masterFd(), POLLOUT, 0};
                    ::poll(&p, 1, 10);
                }
            }
        });
        // A flow that stops (the far end held for good, say) fails at once rather than at the
        // suite's time limit: no byte delivered for five seconds ends the wait.
        QTimer stalled;
        qint64 deliveredBefore = -1;
        int stillSeconds = 0;
        connect(&stalled, &QTimer::timeout, &loop, [&] {
            stillSeconds = delivered == deliveredBefore ? stillSeconds + 1 : 0;
            deliveredBefore = delivered;
            if (stillSeconds >= 5)
                loop.quit();
        });
        stalled.start(1000);
        loop.exec();
        const bool done = delivered == Total;
        stop = true;
        writer.join();
        qInfo("handshaking %d: %lld bytes written, %lld delivered, %lld out of order, events %s",
              handshaking, qint64(written), delivered, mismatches,
              qPrintable(QDebug::toString(others)));
        QVERIFY(done);
        QCOMPARE(mismatches, 0);
        QCOMPARE(others, QList<qint16>());
        QCOMPARE(port_->droppedInputBytes(), 0u);
    }

    void refusesOutputThatDoesNotFit() {
        port_->setHandshaking(1);
        port_->setPortOpen(true);
        const qsizetype limit = port::TermiosPort::OutputBufferSize;
        QByteArray text(limit, '\0');
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = char(i % 251);
        const QString full = where() + u" cannot take more output: its transmit buffer is full."_s;
        // Two episodes: each held by XOFF, filled, refused more than once, then let go by XON.
        for (int episode = 1; episode <= 2; ++episode) {
            QVERIFY(holdOutput());
            QVERIFY(refusal([&] {
                        port_->setOutput(QString(limit + 1, u'x'));
                    }).contains(u"cannot send 65537 characters at once"_s));
            port_->setOutput(QString::fromLatin1(text.first(limit - 2)));
            QVERIFY(refusal([&] { port_->setOutput(u"abc"_s); })
                        .contains(u"cannot take 3 more characters: its transmit buffer has room "
                                  "for 2."_s));
            port_->setOutput(QString::fromLatin1(text.last(2)));
            for (int key = 0; key < 3; ++key)
                QVERIFY(refusal([&] { port_->setOutput(u"z"_s); }).startsWith(full));
            QCOMPARE(port_->OutBufferCount(), limit);
            QTRY_COMPARE(count("1009"), episode);
            pty_->writeMaster("\x11");
            // Nothing of a refused text went out.
            QVERIFY(drainMaster(limit) == text);
            QTRY_COMPARE(port_->OutBufferCount(), 0);
            QCOMPARE(count("1009"), episode);
        }
        port_->setOutput(u"z"_s); // room again once it has gone out
        QCOMPARE(pty_->readMaster(1), QByteArray("z"));
    }

    void holdsOutputAndRaisesSend_data() {
        // release: how held output goes: "" not held, XON, or none
        addColumns<int, QString, QStringList, int>("threshold", "release", "outputs", "sends");
        const auto row = [](const char* name, int threshold, const char* release,
                            const QStringList& outputs, int sends) {
            QTest::newRow(name) << threshold << QString::fromLatin1(release) << outputs << sends;
        };
        row("switched off", 0, "", {"abcdef"}, 0);
        row("exactly the threshold", 6, "", {"abcdef"}, 1);
        row("one above the text", 7, "", {"abcdef"}, 0);
        row("each output on its own", 2, "", {"ab", "cd", "e"}, 2);
        row("held until XON", 3, "XON", {"ab", "cd"}, 1);
        row("held until flow control is off", 2, "none", {"ab", "cd", "e"}, 1);
    }
    void holdsOutputAndRaisesSend() {
        QFETCH(int, threshold);
        QFETCH(QString, release);
        QFETCH(QStringList, outputs);
        QFETCH(int, sends);
        port_->setSThreshold(qint16(threshold));
        port_->setPortOpen(true);
        port_->setHandshaking(1);
        const QByteArray all = outputs.join(QString()).toLatin1();
        if (!release.isEmpty())
            QVERIFY(holdOutput());
        for (const QString& text : outputs)
            port_->setOutput(text);
        if (!release.isEmpty()) {
            QTest::qWait(20); // bounded: shows that nothing goes out while held
            QCOMPARE(port_->OutBufferCount(), all.size());
            QCOMPARE(pty_->readMaster(1, 0ms), QByteArray());
            QCOMPARE(count("1"), 0);
            if (release == u"XON")
                pty_->writeMaster("\x11");
            else
                port_->setHandshaking(0);
        }
        QCOMPARE(drainMaster(all.size()), all);
        QTRY_COMPARE(port_->OutBufferCount(), 0);
        QTRY_COMPARE(count("1"), sends);
        QTest::qWait(20); // bounded: shows that no further Send comes
        QCOMPARE(count("1"), sends);
    }
};

QTEST_MAIN(TestTermiosPort)
#include "tst_termios_port.moc"
