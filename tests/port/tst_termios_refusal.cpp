// The port against a driver that does not take everything asked: tcsetattr answers success
// when any part of a change took effect, so only reading the attributes back shows what the
// device refused. A pseudo-terminal keeps every rate, stop bit and flow setting, so this test
// puts a double of such a driver in front of it: this executable's own tcsetattr, which alters
// the attributes bound for the test's pseudo-terminal before the kernel sees them.

#include "data_columns.h"
#include "port/termios_port.h"
#include "port_environment.h"
#include "port_refusal.h"
#include "pty_pair.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <optional>

#include <dlfcn.h>
#include <sys/stat.h>
#include <termios.h>

using namespace port;

using namespace Qt::Literals::StringLiterals;

namespace {

// What the driver does to the attributes it is given, and for which device.
std::function<void(termios&)> driver;
dev_t driven = 0;

bool isDriven(int fd) {
    struct stat status {};
    return driver && ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) &&
           status.st_rdev == driven;
}

// A driver whose highest rate is below 4,000,000 baud: asked for it, it sets 9600.
void withoutFourMegabaud(termios& t) {
    if (cfgetospeed(&t) == B4000000)
        cfsetspeed(&t, B9600);
}

} // namespace

extern "C" int tcsetattr(int fd, int action, const termios* attributes) noexcept {
    using Real = int (*)(int, int, const termios*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "tcsetattr"));
    if (attributes == nullptr || !isDriven(fd))
        return real(fd, action, attributes);
    termios taken = *attributes;
    driver(taken);
    return real(fd, action, &taken);
}

Q_DECLARE_METATYPE(std::function<void(termios&)>)

class TestTermiosRefusal : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<QTemporaryDir> lockDir_;
    std::unique_ptr<port::TermiosPort> port_;

    termios attributes() const { return pty_->slaveAttributes(); }
    QString where() const { return u"COM7 (%1)"_s.arg(pty_->slavePath()); }

private slots:
    void initTestCase() { clearPortVariables(); }
    void init() {
        startPtyAsPort(7, lockDir_, pty_);
        struct stat status {};
        QCOMPARE(::fstat(pty_->slaveFd(), &status), 0);
        driven = status.st_rdev;
        port_ = std::make_unique<port::TermiosPort>();
        port_->setCommPort(7);
    }
    void cleanup() {
        driver = nullptr;
        port_.reset();
        pty_.reset();
        qunsetenv("LINNET_LOCK_DIR");
        lockDir_.reset();
    }

    void refusesWhatTheDeviceDidNotTake_data() {
        addColumns<std::function<void(termios&)>, QString, int, QString>("drive", "settings",
                                                                         "handshaking", "text");
        QTest::newRow("rate") << std::function<void(termios&)>(withoutFourMegabaud)
                              << u"4000000,N,8,1"_s << 0
                              << u"%1 does not accept 4000000 baud; choose another baud rate."_s;
        QTest::newRow("stop bits")
            << std::function<void(termios&)>([](termios& t) { t.c_cflag &= ~tcflag_t(CSTOPB); })
            << u"19200,N,8,2"_s << 0
            << u"%1 does not accept 2 stop bits; the port keeps its previous settings. Choose "
               "other settings."_s;
        QTest::newRow("hardware flow control")
            << std::function<void(termios&)>([](termios& t) { t.c_cflag &= ~tcflag_t(CRTSCTS); })
            << u"19200,N,8,1"_s << 2
            << u"%1 does not accept RTS/CTS flow control; the port keeps its previous settings. "
               "Choose other settings."_s;
    }
    void refusesWhatTheDeviceDidNotTake() {
        QFETCH(std::function<void(termios&)>, drive);
        QFETCH(QString, settings);
        QFETCH(int, handshaking);
        QFETCH(QString, text);
        // Opened with what the device takes, then changed to what it does not.
        port_->setSettings(u"19200,N,8,1"_s);
        port_->setPortOpen(true);
        const termios before = attributes();
        driver = drive;
        const std::optional<port::PortFailure> refused = failureOf([&] {
            if (handshaking == 0)
                port_->setSettings(settings);
            else
                port_->setHandshaking(handshaking);
        });
        QVERIFY(refused);
        const PortError& error = refused->error();
        QCOMPARE(error.kind, FailureKind::RefusedValue);
        QCOMPARE(error.cause, FailureCause::ValueNotTaken);
        QCOMPARE(error.operation,
                 handshaking == 0 ? PortOperation::SetSettings : PortOperation::SetHandshaking);
        QCOMPARE(error.systemError, 0);
        QCOMPARE(refused->description(), text.arg(where()));
        // The port and the device keep what they had.
        QCOMPARE(port_->Settings(), u"19200,N,8,1"_s);
        QCOMPARE(port_->Handshaking(), 0);
        const termios after = attributes();
        QCOMPARE(cfgetospeed(&after), cfgetospeed(&before));
        QCOMPARE(after.c_cflag, before.c_cflag);
        QCOMPARE(after.c_iflag, before.c_iflag);
    }

    void anOpenWithRefusedSettingsLeavesTheDeviceAsItWas() {
        const termios original = attributes();
        port_->setSettings(u"4000000,N,8,1"_s);
        driver = withoutFourMegabaud;
        const std::optional<port::PortFailure> refused =
            failureOf([&] { port_->setPortOpen(true); });
        QVERIFY(refused);
        QCOMPARE(refused->error().operation, PortOperation::Open);
        QVERIFY(refused->error().refused.speed);
        QVERIFY(!port_->PortOpen());
        driver = nullptr;
        const termios after = attributes();
        QCOMPARE(after.c_cflag, original.c_cflag);
        QCOMPARE(after.c_lflag, original.c_lflag);
        // Once the device takes it, the same settings open.
        port_->setPortOpen(true);
        const termios opened = attributes();
        QCOMPARE(cfgetospeed(&opened), speed_t(B4000000));
    }

    void takesWhatAPseudoTerminalForces() {
        // No double: the kernel's own pseudo-terminal makes 8 bits without parity of 7 with even
        // parity, which is how it is, not a refusal.
        port_->setSettings(u"9600,E,7,1"_s);
        port_->setPortOpen(true);
        QCOMPARE(port_->Settings(), u"9600,E,7,1"_s);
        port_->setSettings(u"9600,O,7,2"_s);
        QCOMPARE(attributes().c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8 | CSTOPB));
    }
};

QTEST_MAIN(TestTermiosRefusal)
#include "tst_termios_refusal.moc"
