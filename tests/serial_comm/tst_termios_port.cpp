#include "pty_pair.h"
#include "serial_comm/termios_port.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <functional>

#include <termios.h>

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

// The description a refused operation gives, or an empty text when it was not refused.
QString refusal(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const PortFailure& failure) {
        return failure.description();
    }
    return {};
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

using Operation = std::function<void(TermiosPort&)>;

} // namespace

Q_DECLARE_METATYPE(Operation)

// Each test has a port set to COM7, mapped to a fresh pseudo-terminal whose master side plays the
// device, and a recorder of the port's notifications.
class TestTermiosPort : public QObject {
    Q_OBJECT

    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<TermiosPort> port_;
    // Every notification the port raised, in order: "2:<what Input returned>" for Receive, the
    // code alone for the others.
    QStringList trace_;
    QString received_;

    termios attributes() const {
        termios t{};
        if (::tcgetattr(pty_->slaveFd(), &t) != 0)
            qFatal("tcgetattr on the slave failed");
        return t;
    }
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
    void init() {
        pty_ = std::make_unique<PtyPair>();
        qputenv("LINNET_COM7", pty_->slavePath().toLocal8Bit());
        port_ = std::make_unique<TermiosPort>();
        port_->setCommPort(7);
        trace_.clear();
        received_.clear();
        connect(port_.get(), &PortControl::OnComm, this, [this] {
            if (port_->CommEvent() != CommEventCode::Receive)
                return trace_.append(QString::number(port_->CommEvent()));
            const QString input = port_->Input();
            received_ += input;
            trace_.append(u"2:"_s + input);
        });
    }
    void cleanup() {
        port_.reset();
        pty_.reset();
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
        TermiosPort second;
        second.setCommPort(7);
        const QString text = refusal([&] { second.setPortOpen(true); });
        QVERIFY2(text.startsWith(u"Cannot open %1: "_s.arg(where())) &&
                     text.contains(u"in use by another program"),
                 qPrintable(text));
        QVERIFY(!second.PortOpen() && port_->PortOpen());
        port_->setPortOpen(false);
        second.setPortOpen(true);
        QVERIFY(second.PortOpen());
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
        QTest::addColumn<int>("inputLen");
        QTest::addColumn<int>("rThreshold");
        QTest::addColumn<QStringList>("writes"); // by the far end, one after the other
        QTest::addColumn<QStringList>("trace");
        QTest::addColumn<int>("left");
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
            QTest::qWait(20);
        }
        QCOMPARE(trace_, trace);
        QCOMPARE(port_->InBufferCount(), left);
    }

    void refusesWithoutChangingAnything_data() {
        QTest::addColumn<bool>("open");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("text"); // its start; %1 stands for "COM7 (<device>)"
        const auto row = [](const char* name, bool open, const char* text, Operation operation) {
            QTest::newRow(name) << open << operation << QString::fromUtf8(text);
        };
        const auto openAt = [](const char* path) {
            return [path](TermiosPort& p) {
                qputenv("LINNET_COM7", path);
                p.setPortOpen(true);
            };
        };
        row("CommPort 0", false, "Port number 0 is not valid; use a number from 1 to 18.",
            [](TermiosPort& p) { p.setCommPort(0); });
        row("Settings", false, "The settings \"9600,N,9,1\" are not valid: the data bits",
            [](TermiosPort& p) { p.setSettings(u"9600,N,9,1"_s); });
        row("Handshaking", false,
            "Handshaking 4 is not valid; use 0 (none), 1 (Xon/Xoff), 2 (RTS/CTS) or 3 (Xon/Xoff "
            "and RTS/CTS).",
            [](TermiosPort& p) { p.setHandshaking(4); });
        row("InputLen", false,
            "InputLen -1 is not valid; use 0 to take every waiting character, or a positive count.",
            [](TermiosPort& p) { p.setInputLen(-1); });
        row("RThreshold", false,
            "RThreshold -1 is not valid; use 0 to switch receive notifications off, or a positive "
            "count.",
            [](TermiosPort& p) { p.setRThreshold(-1); });
        row("SThreshold", false,
            "SThreshold -1 is not valid; use 0 to switch send notifications off, or a positive "
            "count.",
            [](TermiosPort& p) { p.setSThreshold(-1); });
        row("ParityReplace too long", false,
            "The parity replacement \"ab\" is too long; use one character, or nothing to keep the "
            "received byte.",
            [](TermiosPort& p) { p.setParityReplace(u"ab"_s); });
        row("ParityReplace not one byte", false,
            "The parity replacement \"\u20ac\" is not a one-byte character; use a character from "
            "U+0000 to U+00FF, or nothing to keep the received byte.",
            [](TermiosPort& p) { p.setParityReplace(u"\u20ac"_s); });
        // Characters beyond the Basic Multilingual Plane are quoted whole, never half of one.
        row("ParityReplace beyond the BMP", false,
            "The parity replacement \"\U0001F600\" is not a one-byte character;",
            [](TermiosPort& p) { p.setParityReplace(u"\U0001F600"_s); });
        row("ParityReplace too long, beyond the BMP", false,
            "The parity replacement \"\U0001F600x\" is too long;",
            [](TermiosPort& p) { p.setParityReplace(u"\U0001F600x"_s); });
        row("ParityReplace half a character", false,
            "The parity replacement \"U+D83D\" is not a one-byte character;",
            [](TermiosPort& p) { p.setParityReplace(QString(QChar(0xD83D))); });
        row("Output", false, "%1 is not open; open it before sending.",
            [](TermiosPort& p) { p.setOutput(u"x"_s); });
        row("Input", false, "%1 is not open; open it first.", [](TermiosPort& p) { p.Input(); });
        row("close", false, "%1 is already closed; there is nothing to close.",
            [](TermiosPort& p) { p.setPortOpen(false); });
        // The texts per cause are the device map's business; here the cause must be the right one.
        row("open a missing device", false,
            "Cannot open COM7 (/dev/linnet-none): No such file or directory. There is no such "
            "device",
            openAt("/dev/linnet-none"));
        row("open what is no terminal", false,
            "Cannot open COM7 (/dev/null): Inappropriate ioctl for device. This is not a serial",
            openAt("/dev/null"));
        row("open", true, "%1 is already open; close it before opening it again.",
            [](TermiosPort& p) { p.setPortOpen(true); });
        row("CommPort while open", true,
            "The port number cannot change while %1 is open; close the port first.",
            [](TermiosPort& p) { p.setCommPort(3); });
        row("Output beyond one byte", true,
            "%1 cannot send the text: character 11 is U+20AC, which is not one byte; only "
            "characters U+0000 to U+00FF can be sent.",
            [](TermiosPort& p) { p.setOutput(u"ok \u00ff then \u20ac"_s); });
    }
    void refusesWithoutChangingAnything() {
        QFETCH(bool, open);
        QFETCH(Operation, operation);
        QFETCH(QString, text);
        if (open)
            port_->setPortOpen(true);
        const auto snapshot = [&] {
            QString text;
            const TermiosPort& p = *port_;
            QDebug(&text) << p.CommPort() << p.Settings() << p.Handshaking() << p.InputLen()
                          << p.RThreshold() << p.SThreshold() << p.ParityReplace() << p.PortOpen();
            return text;
        };
        const QString before = snapshot();
        const QString refused = refusal([&] { operation(*port_); });
        QVERIFY2(refused.startsWith(text.replace(u"%1"_s, where())), qPrintable(refused));
        QCOMPARE(snapshot(), before);
        if (open) { // and nothing of a refused Output went out
            port_->setOutput(u"z"_s);
            QCOMPARE(pty_->readMaster(1), QByteArray("z"));
        }
    }

    void reportsAHangUpOnce() {
        port_->setPortOpen(true);
        QSignalSpy lost(port_.get(), &PortControl::deviceLost);
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
        QTest::qWait(50);
        QCOMPARE(lost.count(), 1);
    }

    void marksLineErrorsWhereTheyOccur_data() {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("trace");
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
        QTest::qWait(20);
        QCOMPARE(trace_, trace);
    }

    void overflowsTheInputBufferOncePerEpisode() {
        port_->setRThreshold(0); // Receive off, so nobody reads: the buffer fills
        port_->setPortOpen(true);
        const qsizetype limit = TermiosPort::InputBufferSize;
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
        QTest::qWait(20);
        QCOMPARE(trace_, QStringList{u"1007"_s});
        // Taking characters out ends the episode; the next bytes that find no room start another.
        port_->setInputLen(10);
        QCOMPARE(port_->Input(), QString(10, u'x'));
        QVERIFY(pump(QByteArray(20, 'y'), limit, 1510));
        QTest::qWait(20);
        QCOMPARE(trace_, (QStringList{u"1007"_s, u"1007"_s}));
        port_->setInputLen(0);
        QCOMPARE(port_->Input(), QString(limit - 10, u'x') + QString(10, u'y'));
    }

    void cutsAnOutputThatDoesNotFit() {
        port_->setHandshaking(1);
        port_->setPortOpen(true);
        QVERIFY(holdOutput());
        const qsizetype limit = TermiosPort::OutputBufferSize;
        QByteArray text(limit + 4464, '\0');
        for (qsizetype i = 0; i < text.size(); ++i)
            text[i] = char(i % 251);
        port_->setOutput(QString::fromLatin1(text));
        port_->setOutput(u"z"_s); // a full buffer takes nothing more
        QCOMPARE(port_->OutBufferCount(), limit);
        QTRY_COMPARE(count("1009"), 2);
        pty_->writeMaster("\x11");
        QVERIFY(drainMaster(limit) == text.first(limit));
        QTRY_COMPARE(port_->OutBufferCount(), 0);
        port_->setOutput(u"z"_s); // room again once it has gone out
        QCOMPARE(pty_->readMaster(1), QByteArray("z"));
        QCOMPARE(count("1009"), 2);
    }

    void holdsOutputAndRaisesSend_data() {
        QTest::addColumn<int>("threshold");
        QTest::addColumn<QString>("release"); // how held output goes: "" not held, XON, or none
        QTest::addColumn<QStringList>("outputs");
        QTest::addColumn<int>("sends");
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
            QTest::qWait(20);
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
        QTest::qWait(20);
        QCOMPARE(count("1"), sends);
    }
};

QTEST_MAIN(TestTermiosPort)
#include "tst_termios_port.moc"
