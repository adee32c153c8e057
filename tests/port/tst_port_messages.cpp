#include "data_columns.h"
#include "port/port_messages.h"

#include <QTest>

#include <cerrno>
#include <cstring>

using namespace port;

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(port::FailureKind)
Q_DECLARE_METATYPE(port::PortError)

namespace {

// A failure of COM3 on /dev/ttyUSB9.
PortError failureOf(PortOperation operation, FailureKind kind, FailureCause cause) {
    PortError error;
    error.operation = operation;
    error.kind = kind;
    error.cause = cause;
    error.port = 3;
    error.device = u"/dev/ttyUSB9"_s;
    return error;
}

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

class TestPortMessages : public QObject {
    Q_OBJECT

private slots:
    void openFailureSaysWhatToDo_data() {
        addColumns<int, bool, QString>("error", "showsSystemReason", "advice");

        // The advice on groups is the windows' (which know the user's groups); the port says
        // only what was refused.
        const QString dialout = u"Your user may not open this device."_s;
        const QString missing = u"There is no such device: plug in the scanner, or set "
                                "LINNET_COM3 to the device it uses (for example "
                                "LINNET_COM3=/dev/ttyACM0)."_s;
        const QString inUse = u"The port is in use by another program: close that program, then "
                              "open the port again."_s;
        QTest::newRow("EACCES") << EACCES << true << dialout;
        QTest::newRow("EPERM") << EPERM << true << dialout;
        QTest::newRow("ENOENT") << ENOENT << true << missing;
        QTest::newRow("ENODEV") << ENODEV << true << missing;
        QTest::newRow("ENXIO") << ENXIO << true << missing;
        QTest::newRow("EBUSY") << EBUSY << true << inUse;
        QTest::newRow("lock held (EWOULDBLOCK)") << EWOULDBLOCK << false << inUse;
        QTest::newRow("ENOTTY") << ENOTTY << true
                                << u"This is not a serial device: set LINNET_COM3 to the device"_s;
        QTest::newRow("EIO") << EIO << true
                             << u"Check that the scanner is connected and that LINNET_COM3 names "
                                "its device."_s;
    }
    void openFailureSaysWhatToDo() {
        QFETCH(int, error);
        QFETCH(bool, showsSystemReason);
        QFETCH(QString, advice);
        PortError failed = failureOf(PortOperation::Open, failureKind(error, DeviceState::Opening),
                                     FailureCause::OpenRefused);
        failed.systemError = error;
        const QString text = failureText(failed);
        QVERIFY2(text.startsWith(u"Cannot open COM3 (/dev/ttyUSB9): "_s), qPrintable(text));
        QCOMPARE(text.contains(reason(error)), showsSystemReason);
        QVERIFY2(text.contains(advice), qPrintable(text));
    }

    // The sentences whose wording is decided from the values: which of several, and what they
    // name.
    void writesTheSentenceFromTheValues_data() {
        addColumns<PortError, QString>("error", "text");
        const auto row = [](const char* name, const PortError& error, const QString& text) {
            QTest::newRow(name) << error << text;
        };
        const QString wait = u" Wait until the device has taken what is queued (with flow "
                             "control on, the device may be holding it back)."_s;
        PortError e =
            failureOf(PortOperation::Output, FailureKind::Busy, FailureCause::NoRoomForOutput);
        e.capacity = 65536;
        e.size = 1;
        row("transmit buffer full", e,
            u"COM3 (/dev/ttyUSB9) cannot take more output: its transmit buffer is full."_s + wait);
        e.room = 2;
        e.size = 3;
        row("no room", e,
            u"COM3 (/dev/ttyUSB9) cannot take 3 more characters: its transmit buffer has room "
            "for 2."_s +
                wait);
        e.size = 65537;
        row("more than the buffer holds", e,
            u"COM3 (/dev/ttyUSB9) cannot send 65537 characters at once: its transmit buffer "
            "holds 65536. Send the text in parts."_s);

        e = failureOf(PortOperation::Open, FailureKind::Busy, FailureCause::InUse);
        e.holders = {{4242, u"cat"_s}};
        row("in use by one", e,
            u"COM3 (/dev/ttyUSB9) is in use by cat (process 4242): close that program, then "
            "open the port again."_s);
        e.holders = {{1, u"minicom"_s}, {2, QString()}, {3, u"cat"_s}};
        row("in use by three", e,
            u"COM3 (/dev/ttyUSB9) is in use by minicom (process 1), another program (process 2) "
            "and cat (process 3): close those programs, then open the port again."_s);

        e = failureOf(PortOperation::SetSettings, FailureKind::RefusedValue,
                      FailureCause::ValueNotTaken);
        e.value = u"4000000,N,8,1"_s;
        e.refused.speed = true;
        row("rate not taken", e,
            u"COM3 (/dev/ttyUSB9) does not accept 4000000 baud; choose another baud rate."_s);
        e.value = u"9600,E,7,2"_s;
        e.refused = {};
        e.refused.dataBits = e.refused.parity = e.refused.stopBits = true;
        row("line not taken", e,
            u"COM3 (/dev/ttyUSB9) does not accept even parity, 7 data bits and 2 stop bits; the "
            "port keeps its previous settings. Choose other settings."_s);
        e.operation = PortOperation::SetHandshaking;
        e.handshaking = 2;
        e.refused = {};
        e.refused.flowControl = true;
        row("flow control not taken", e,
            u"COM3 (/dev/ttyUSB9) does not accept RTS/CTS flow control; the port keeps its "
            "previous settings. Choose other settings."_s);

        e = failureOf(PortOperation::SetDtr, FailureKind::HungUp, FailureCause::DtrNotSet);
        e.value = u"false"_s;
        e.systemError = EIO;
        row("DTR", e,
            u"COM3 (/dev/ttyUSB9) could not drop DTR: %1. Check that the device is still "
            "connected, or close the port and open it again."_s.arg(reason(EIO)));

        row("device lost",
            failureOf(PortOperation::Read, FailureKind::HungUp, FailureCause::DeviceLost),
            u"COM3 (/dev/ttyUSB9) was disconnected; the port is closed."_s);
    }
    void writesTheSentenceFromTheValues() {
        QFETCH(PortError, error);
        QFETCH(QString, text);
        QCOMPARE(failureText(error), text);
    }

    void appendsWhatTheCallerKnows() {
        PortError missing =
            failureOf(PortOperation::Open, FailureKind::Missing, FailureCause::OpenRefused);
        missing.systemError = ENOENT;
        const QString extra = u"Connected now: COM4 = Scanner (/dev/ttyACM0)."_s;
        QCOMPARE(failureText(missing, extra), failureText(missing) + u' ' + extra);
        QCOMPARE(failureText(missing, QString()), failureText(missing));
    }
};

QTEST_MAIN(TestPortMessages)
#include "tst_port_messages.moc"
