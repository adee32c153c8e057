#include "data_columns.h"
#include "port/line_settings.h"
#include "port/port_messages.h"

#include <QTest>

using namespace port;

using namespace Qt::Literals::StringLiterals;

class TestLineSettings : public QObject {
    Q_OBJECT

private slots:
    void parsesSettingsText_data() {
        // expected: normalised text, or part of the refusal
        addColumns<QString, QString>("text", "expected");
        const auto row = [](const char* text, const char* expected) {
            QTest::newRow(*text ? text : "empty")
                << QString::fromLatin1(text) << QString::fromLatin1(expected);
        };
        row("115200,N,8,1", "115200,N,8,1");
        row("230400,e,7,2", "230400,E,7,2"); // other rates termios has are taken too
        row("4000000,O,8,1", "4000000,O,8,1");
        row(" 19200 , e , 8 , 2 ", "19200,E,8,2");
        row("09600,N,8,1", "9600,N,8,1");
        row("", "separated by commas, for example \"9600,N,8,1\"");
        row("fast,N,8,1", "the baud rate \"fast\" is not a number; use 600, 2400, 4800, 9600, "
                          "19200, 38400, 57600 or 115200.");
        row("1234,N,8,1", "the baud rate 1234 is not supported; use 600");
        row("0,N,8,1", "the baud rate 0 is not supported"); // 0 would hang the line up
        row("9600,m,8,1", "the parity \"m\" is not known; use N (none), E (even) or O (odd).");
        row("9600,N,6,1", "the data bits \"6\" are not supported; use 7 or 8.");
        row("9600,N,8,1.5", "the stop bits \"1.5\" are not supported; use 1 or 2.");
    }
    void parsesSettingsText() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const auto parsed = parseLineSettings(text);
        if (!parsed) {
            const QString got = failureText(parsed.error());
            const QString start = QStringLiteral("The settings \"%1\" are not valid: ").arg(text);
            QVERIFY2(got.startsWith(start) && got.contains(expected), qPrintable(got));
            return;
        }
        QCOMPARE(formatLineSettings(*parsed), expected);
    }

    void buildsLineAspects_data() {
        // flow: as the Handshaking property numbers it
        // cflag: CSIZE, PARENB, PARODD, CSTOPB and CRTSCTS bits
        // iflag: IXON, IXOFF and IXANY bits
        addColumns<QString, int, speed_t, tcflag_t, tcflag_t>("settings", "flow", "speed", "cflag",
                                                              "iflag");
        const auto row = [](const char* settings, int flow, speed_t speed, tcflag_t c, tcflag_t i) {
            QTest::addRow("%s flow %d", settings, flow) << settings << flow << speed << c << i;
        };
        row("115200,N,8,1", 0, B115200, CS8, 0);
        row("9600,e,7,1", 1, B9600, CS7 | PARENB, IXON | IXOFF);
        row("600,O,7,2", 2, B600, CS7 | PARENB | PARODD | CSTOPB | CRTSCTS, 0);
        row("57600,N,8,2", 3, B57600, CS8 | CSTOPB | CRTSCTS, IXON | IXOFF);
    }
    void buildsLineAspects() {
        QFETCH(QString, settings);
        QFETCH(int, flow);
        QFETCH(speed_t, speed);
        QFETCH(tcflag_t, cflag);
        QFETCH(tcflag_t, iflag);
        // A terminal as a shell leaves it, ignoring or stripping what marking needs, and with the
        // opposite of every line aspect asked for, so that a helper that only sets bits fails.
        termios original{};
        original.c_iflag = BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IGNBRK | IGNPAR | IMAXBEL |
                           IXON | IXOFF | IXANY;
        original.c_oflag = OPOST | ONLCR;
        original.c_lflag = ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN;
        original.c_cflag = CS5 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
        original.c_cc[VMIN] = 1;
        original.c_cc[VTIME] = 5;
        original.c_cc[VINTR] = 3;
        cfsetspeed(&original, B50);
        const termios built =
            buildTermios(original, *parseLineSettings(settings), *flowControlFromNumber(flow));
        QCOMPARE(cfgetospeed(&built), speed);
        QCOMPARE(cfgetispeed(&built), speed);
        QCOMPARE(built.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS), cflag);
        QCOMPARE(built.c_iflag & (IXON | IXOFF | IXANY), iflag);
        if (iflag != 0)
            QVERIFY(built.c_cc[VSTART] == 0x11 && built.c_cc[VSTOP] == 0x13);
        // Raw, reads that never wait, and errors marked in the stream (framing errors too need
        // INPCK, parity or not).
        QCOMPARE(built.c_iflag & (BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IGNBRK | IGNPAR), 0u);
        QCOMPARE(built.c_oflag & OPOST, 0u);
        QCOMPARE(built.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
        QCOMPARE(built.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        QVERIFY(built.c_cc[VMIN] == 0 && built.c_cc[VTIME] == 0);
        QCOMPARE(built.c_iflag & (PARMRK | INPCK), tcflag_t(PARMRK | INPCK));
        // Not ours to change.
        QCOMPARE(built.c_cflag & HUPCL, tcflag_t(HUPCL));
        QCOMPARE(built.c_iflag & IMAXBEL, tcflag_t(IMAXBEL));
        QCOMPARE(built.c_cc[VINTR], cc_t(3));
    }

    // What the device kept, read back after setting `wanted`, against what was asked.
    void findsWhatTheDeviceRefused_data() {
        // asked: settings text, then handshaking
        // kept: what the device has after the change
        // refused: speed, data, parity, stop, flow
        addColumns<QString, QString, bool, QString>("asked", "kept", "pseudoTerminal", "refused");
        const auto row = [](const char* name, const char* asked, const char* kept, bool pty,
                            const char* refused) {
            QTest::newRow(name) << QString::fromLatin1(asked) << QString::fromLatin1(kept) << pty
                                << QString::fromLatin1(refused);
        };
        row("all taken", "9600,E,7,2 3", "9600,E,7,2 3", false, "");
        row("rate kept at the old one", "4000000,N,8,1 0", "115200,N,8,1 0", false, "speed");
        row("7 data bits refused", "9600,N,7,1 0", "9600,N,8,1 0", false, "data");
        row("parity refused", "9600,E,8,1 0", "9600,N,8,1 0", false, "parity");
        row("odd became even", "9600,O,8,1 0", "9600,E,8,1 0", false, "parity");
        row("2 stop bits refused", "9600,N,8,2 0", "9600,N,8,1 0", false, "stop");
        row("no RTS/CTS on the adapter", "9600,N,8,1 2", "9600,N,8,1 0", false, "flow");
        row("Xon/Xoff switched off", "9600,N,8,1 1", "9600,N,8,1 0", false, "flow");
        row("several at once", "19200,O,7,2 0", "9600,N,8,1 0", false, "speed data parity stop");
        // A pseudo-terminal forces 8 bits without parity; rate, stop bits and flow are its own.
        row("pty forces 8N", "9600,E,7,1 0", "9600,N,8,1 0", true, "");
        row("pty keeps the rate", "9600,E,7,1 0", "38400,N,8,1 0", true, "speed");
        row("pty keeps stop bits", "9600,N,8,2 3", "9600,N,8,1 3", true, "stop");
        row("pty keeps flow control", "9600,N,8,1 3", "9600,N,8,1 1", true, "flow");
    }
    void findsWhatTheDeviceRefused() {
        QFETCH(QString, asked);
        QFETCH(QString, kept);
        QFETCH(bool, pseudoTerminal);
        QFETCH(QString, refused);
        termios original{};
        cfsetspeed(&original, B38400);
        const auto attributes = [&](const QString& text) {
            const QStringList parts = text.split(u' ');
            return buildTermios(original, *parseLineSettings(parts.at(0)),
                                *flowControlFromNumber(parts.at(1).toInt()));
        };
        const RefusedLine got = refusedLine(attributes(asked), attributes(kept), pseudoTerminal);
        QStringList named;
        if (got.speed)
            named << u"speed"_s;
        if (got.dataBits)
            named << u"data"_s;
        if (got.parity)
            named << u"parity"_s;
        if (got.stopBits)
            named << u"stop"_s;
        if (got.flowControl)
            named << u"flow"_s;
        QCOMPARE(named.join(u' '), refused);
        QCOMPARE(got.any(), !refused.isEmpty());
    }

    void oddParityMattersOnlyWithParity() {
        // A driver may clear PARODD while parity is off: nothing asked for was refused.
        termios wanted = buildTermios({}, *parseLineSettings(u"9600,N,8,1"_s), FlowControl::None);
        termios actual = wanted;
        wanted.c_cflag |= PARODD;
        QVERIFY(!refusedLine(wanted, actual, false).any());
    }
};

QTEST_MAIN(TestLineSettings)
#include "tst_line_settings.moc"
