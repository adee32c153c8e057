#include "serial_comm/line_settings.h"
#include "serial_comm/port_control.h"

#include <QTest>

using namespace serial_comm;

Q_DECLARE_METATYPE(serial_comm::FlowControl)

class TestLineSettings : public QObject {
    Q_OBJECT

private slots:
    void parsesAcceptedTexts_data();
    void parsesAcceptedTexts();
    void refusesWithReason_data();
    void refusesWithReason();
    void everyTermiosRateRoundTrips();
    void flowControlNumbers();
    void buildsLineAspects_data();
    void buildsLineAspects();
    void buildRemovesCookedModesAndKeepsTheRest();
    void buildClearsFlowControlItDoesNotAskFor();
    void buildMarksLineErrorsInTheStream_data();
    void buildMarksLineErrorsInTheStream();
};

void TestLineSettings::parsesAcceptedTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalised");
    const auto row = [](const char* name, const char* text, const char* normalised) {
        QTest::newRow(name) << QString::fromLatin1(text) << QString::fromLatin1(normalised);
    };

    for (const char* baud : {"600", "2400", "4800", "9600", "19200", "38400", "57600", "115200"})
        QTest::addRow("listed rate %s", baud)
            << QStringLiteral("%1,N,8,1").arg(baud) << QStringLiteral("%1,N,8,1").arg(baud);
    row("other standard rate 1200", "1200,N,8,1", "1200,N,8,1");
    row("other standard rate 230400", "230400,E,7,2", "230400,E,7,2");
    row("lower-case parity even", "9600,e,7,1", "9600,E,7,1");
    row("lower-case parity odd", "4800,o,7,2", "4800,O,7,2");
    row("blanks around fields", " 19200 , e , 8 , 2 ", "19200,E,8,2");
    row("leading zero", "09600,N,8,1", "9600,N,8,1");
}

void TestLineSettings::parsesAcceptedTexts() {
    QFETCH(QString, text);
    QFETCH(QString, normalised);
    QCOMPARE(formatLineSettings(parseLineSettings(text)), normalised);
}

void TestLineSettings::refusesWithReason_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");
    const auto row = [](const char* name, const char* text, const QString& reason) {
        QTest::newRow(name) << QString::fromLatin1(text) << reason;
    };

    const QString commas = QStringLiteral("separated by commas, for example \"9600,N,8,1\"");
    row("empty", "", commas);
    row("three fields", "9600,N,8", commas);
    row("five fields", "9600,N,8,1,1", commas);
    row("baud not a number", "fast,N,8,1",
        "the baud rate \"fast\" is not a number; use 600, 2400, 4800, 9600, 19200, 38400, 57600 "
        "or 115200.");
    row("negative baud", "-9600,N,8,1", "the baud rate \"-9600\" is not a number");
    row("baud not a termios rate", "1234,N,8,1", "the baud rate 1234 is not supported; use 600");
    row("baud zero means hang-up", "0,N,8,1", "the baud rate 0 is not supported");
    row("unknown parity", "9600,X,8,1",
        "the parity \"X\" is not known; use N (none), E (even) or O (odd).");
    row("mark parity", "9600,m,8,1", "the parity \"m\" is not known");
    row("empty parity", "9600,,8,1", "the parity \"\" is not known");
    row("six data bits", "9600,N,6,1", "the data bits \"6\" are not supported; use 7 or 8.");
    row("three stop bits", "9600,N,8,3", "the stop bits \"3\" are not supported; use 1 or 2.");
    row("one and a half stop bits", "9600,N,8,1.5", "the stop bits \"1.5\" are not supported");
}

void TestLineSettings::refusesWithReason() {
    QFETCH(QString, text);
    QFETCH(QString, reason);
    try {
        parseLineSettings(text);
        QFAIL("accepted");
    } catch (const PortFailure& failure) {
        const QString description = failure.description();
        QVERIFY2(
            description.startsWith(QStringLiteral("The settings \"%1\" are not valid: ").arg(text)),
            qPrintable(description));
        QVERIFY2(description.contains(reason), qPrintable(description));
    }
}

void TestLineSettings::everyTermiosRateRoundTrips() {
    for (const int baud : {50, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200,
                           230400, 460800, 921600, 4000000}) {
        const std::optional<speed_t> speed = speedForBaud(baud);
        QVERIFY2(speed.has_value(), qPrintable(QString::number(baud)));
        QCOMPARE(baudForSpeed(*speed), baud);
    }
    QCOMPARE(speedForBaud(9600), B9600);
    QVERIFY(!speedForBaud(0));
    QVERIFY(!speedForBaud(14400));
}

void TestLineSettings::flowControlNumbers() {
    QVERIFY(!flowControlFromNumber(-1));
    QCOMPARE(flowControlFromNumber(0), FlowControl::None);
    QCOMPARE(flowControlFromNumber(1), FlowControl::XonXoff);
    QCOMPARE(flowControlFromNumber(2), FlowControl::RtsCts);
    QCOMPARE(flowControlFromNumber(3), FlowControl::Both);
    QVERIFY(!flowControlFromNumber(4));
}

void TestLineSettings::buildsLineAspects_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<FlowControl>("flow");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<tcflag_t>("size");
    QTest::addColumn<tcflag_t>("parity"); // PARENB | PARODD part of c_cflag
    QTest::addColumn<bool>("twoStopBits");
    QTest::addColumn<bool>("xonXoff");
    QTest::addColumn<bool>("rtsCts");

    const tcflag_t none = 0;
    const tcflag_t even = PARENB;
    const tcflag_t odd = PARENB | PARODD;
    QTest::newRow("default 115200,N,8,1") << "115200,N,8,1" << FlowControl::None << speed_t(B115200)
                                          << tcflag_t(CS8) << none << false << false << false;
    QTest::newRow("9600,E,7,1 xon/xoff") << "9600,e,7,1" << FlowControl::XonXoff << speed_t(B9600)
                                         << tcflag_t(CS7) << even << false << true << false;
    QTest::newRow("600,O,7,2 rts/cts") << "600,O,7,2" << FlowControl::RtsCts << speed_t(B600)
                                       << tcflag_t(CS7) << odd << true << false << true;
    QTest::newRow("57600,O,8,2 both") << "57600,o,8,2" << FlowControl::Both << speed_t(B57600)
                                      << tcflag_t(CS8) << odd << true << true << true;
    QTest::newRow("230400,N,8,2 none") << "230400,N,8,2" << FlowControl::None << speed_t(B230400)
                                       << tcflag_t(CS8) << none << true << false << false;
}

void TestLineSettings::buildsLineAspects() {
    QFETCH(QString, settings);
    QFETCH(FlowControl, flow);
    QFETCH(speed_t, speed);
    QFETCH(tcflag_t, size);
    QFETCH(tcflag_t, parity);
    QFETCH(bool, twoStopBits);
    QFETCH(bool, xonXoff);
    QFETCH(bool, rtsCts);

    // Start from the opposite of everything asked for, so a helper that only sets bits fails.
    termios original{};
    original.c_cflag = CS5 | PARENB | PARODD | CSTOPB | CRTSCTS;
    original.c_iflag = IXON | IXOFF | IXANY;
    cfsetispeed(&original, B50);
    cfsetospeed(&original, B50);

    const termios built = buildTermios(original, parseLineSettings(settings), flow);
    QCOMPARE(cfgetospeed(&built), speed);
    QCOMPARE(cfgetispeed(&built), speed);
    QCOMPARE(built.c_cflag & CSIZE, size);
    QCOMPARE(built.c_cflag & (PARENB | PARODD), parity);
    QCOMPARE((built.c_cflag & CSTOPB) != 0, twoStopBits);
    QCOMPARE((built.c_iflag & IXON) != 0, xonXoff);
    QCOMPARE((built.c_iflag & IXOFF) != 0, xonXoff);
    QCOMPARE((built.c_iflag & IXANY) != 0, false);
    QCOMPARE((built.c_cflag & CRTSCTS) != 0, rtsCts);
    if (xonXoff) {
        QCOMPARE(built.c_cc[VSTART], cc_t(0x11));
        QCOMPARE(built.c_cc[VSTOP], cc_t(0x13));
    }
}

void TestLineSettings::buildRemovesCookedModesAndKeepsTheRest() {
    // A terminal as a shell leaves it: canonical, echoing, translating CR and NL.
    termios cooked{};
    cooked.c_iflag = BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IGNBRK | IMAXBEL;
    cooked.c_oflag = OPOST | ONLCR;
    cooked.c_lflag = ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN;
    cooked.c_cflag = CS8 | HUPCL;
    cooked.c_cc[VMIN] = 1;
    cooked.c_cc[VTIME] = 5;
    cooked.c_cc[VINTR] = 3;

    const termios raw = buildTermios(cooked, parseLineSettings("9600,N,8,1"), FlowControl::None);
    QCOMPARE(raw.c_iflag & (BRKINT | ICRNL | INLCR | IGNCR | ISTRIP | IGNBRK), 0u);
    QCOMPARE(raw.c_oflag & OPOST, 0u);
    QCOMPARE(raw.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
    QCOMPARE(raw.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    QCOMPARE(raw.c_cc[VMIN], cc_t(0));
    QCOMPARE(raw.c_cc[VTIME], cc_t(0));
    // Not ours to change: the hang-up on close the device was set up with, and the rest.
    QCOMPARE(raw.c_cflag & HUPCL, tcflag_t(HUPCL));
    QCOMPARE(raw.c_iflag & IMAXBEL, tcflag_t(IMAXBEL));
    QCOMPARE(raw.c_cc[VINTR], cc_t(3));
}

void TestLineSettings::buildClearsFlowControlItDoesNotAskFor() {
    termios original{};
    original.c_iflag = IXON | IXOFF;
    original.c_cflag = CS8 | CRTSCTS;
    const LineSettings settings = parseLineSettings("9600,N,8,1");

    const termios software = buildTermios(original, settings, FlowControl::XonXoff);
    QCOMPARE(software.c_cflag & CRTSCTS, 0u);
    const termios hardware = buildTermios(original, settings, FlowControl::RtsCts);
    QCOMPARE(hardware.c_iflag & (IXON | IXOFF), 0u);
    const termios neither = buildTermios(original, settings, FlowControl::None);
    QCOMPARE(neither.c_iflag & (IXON | IXOFF), 0u);
    QCOMPARE(neither.c_cflag & CRTSCTS, 0u);
}

void TestLineSettings::buildMarksLineErrorsInTheStream_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<tcflag_t>("original");
    QTest::newRow("no parity, from a cleared device")
        << QStringLiteral("9600,N,8,1") << tcflag_t(0);
    QTest::newRow("even parity, from a device that ignores and strips")
        << QStringLiteral("9600,E,7,1") << tcflag_t(IGNPAR | IGNBRK | BRKINT | ISTRIP);
    QTest::newRow("odd parity, marking already on")
        << QStringLiteral("9600,O,8,2") << tcflag_t(PARMRK | INPCK);
}

void TestLineSettings::buildMarksLineErrorsInTheStream() {
    QFETCH(QString, settings);
    QFETCH(tcflag_t, original);
    termios device{};
    device.c_iflag = original;
    const termios built = buildTermios(device, parseLineSettings(settings), FlowControl::None);
    // Marked, checked (framing errors are reported only with INPCK, parity or not), and nothing
    // ignored, turned into a signal or stripped.
    QCOMPARE(built.c_iflag & (PARMRK | INPCK), tcflag_t(PARMRK | INPCK));
    QCOMPARE(built.c_iflag & (IGNPAR | IGNBRK | BRKINT | ISTRIP), 0u);
}

QTEST_MAIN(TestLineSettings)
#include "tst_line_settings.moc"
