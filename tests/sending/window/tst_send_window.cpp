#include "fake_file_chooser.h"
#include "fake_prompts.h"
#include "form_harness.h"
#include "main_window/form1.h"
#include "port/termios_port.h"
#include "port_environment.h"
#include "pty_pair.h"
#include "scan_log/window/scan_collector.h"
#include "scan_log/window/scan_log_model.h"
#include "sending/window/send_window.h"
#include "views/rich_text_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace sending;
using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

namespace {

// A Send window on a pseudo-terminal opened as COM1, its commands file in a folder of its own.
struct Bench {
    Bench() {
        clearPortVariables();
        startPtyAsPort(1, locks, pty);
        port.setCommPort(1);
        port.setPortOpen(true);
        window = std::make_unique<SendWindow>(port, files, prompts, commandsPath());
    }
    QString commandsPath() const { return QDir(config.path()).filePath(u"commands.ini"_s); }
    void enter(const QString& entry, SendAs as) {
        window->findChild<QComboBox*>(u"SendAs"_s)->setCurrentIndex(as == SendAs::Hex ? 1 : 0);
        window->findChild<QComboBox*>(u"SendText"_s)->setEditText(entry);
    }
    QLabel* problem() const { return window->findChild<QLabel*>(u"SendProblem"_s); }
    std::unique_ptr<QTemporaryDir> locks;
    std::unique_ptr<PtyPair> pty;
    QTemporaryDir config;
    port::TermiosPort port;
    FakeFileChooser files;
    FakePrompts prompts;
    std::unique_ptr<SendWindow> window;
};

QByteArray readAllOf(PtyPair& pty, qsizetype size) {
    QByteArray bytes;
    QElapsedTimer waited;
    waited.start();
    while (bytes.size() < size && waited.elapsed() < 20'000) {
        QCoreApplication::processEvents();
        bytes += pty.readMaster(1, 5ms);
    }
    return bytes;
}

} // namespace

class TstSendWindow : public QObject {
    Q_OBJECT

private slots:
    void textAndHexSendTheSameBytes_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("hex");
        QTest::newRow("names") << u"<SYN>T<CR>"_s << false;
        QTest::newRow("escapes") << u"\\x16T\\r"_s << false;
        QTest::newRow("hex") << u"16 54 0d"_s << true;
    }
    void textAndHexSendTheSameBytes() {
        QFETCH(QString, entry);
        QFETCH(bool, hex);
        Bench bench;
        bench.enter(entry, hex ? SendAs::Hex : SendAs::Text);
        bench.window->findChild<QPushButton*>(u"SendNow"_s)->click();
        QCOMPARE(readAllOf(*bench.pty, 3), "\x16T\r"_ba);
        QVERIFY(!bench.problem()->isVisibleTo(bench.window.get()));
        // Newest first in the history.
        QCOMPARE(bench.window->findChild<QComboBox*>(u"SendText"_s)->itemText(0), entry);
    }

    void malformedEntriesSendNothing_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("said");
        QTest::newRow("bad escape")
            << u"\\xZ1"_s << false << u"At character 1: \\xZ1: \\x takes two"_s;
        QTest::newRow("unknown name")
            << u"ab<NAME>"_s << false << u"At character 3: <NAME> is no name"_s;
        QTest::newRow("lone digit") << u"16 5"_s << true << u"At character 4: 5 has no second"_s;
        QTest::newRow("beyond a byte") << u"€"_s << false << u"(U+20AC) cannot be sent"_s;
    }
    void malformedEntriesSendNothing() {
        QFETCH(QString, entry);
        QFETCH(bool, hex);
        QFETCH(QString, said);
        Bench bench;
        bench.enter(entry, hex ? SendAs::Hex : SendAs::Text);
        QVERIFY(!bench.window->sendEntry());
        QVERIFY2(bench.problem()->text().contains(said), qPrintable(bench.problem()->text()));
        QCOMPARE(bench.pty->readMaster(1, 100ms), QByteArray());
        QVERIFY(bench.prompts.messages().isEmpty());
    }

    void aClosedPortRefusesWithThePortsSentence() {
        Bench bench;
        bench.port.setPortOpen(false);
        bench.enter(u"A"_s, SendAs::Text);
        QVERIFY(!bench.window->sendEntry());
        QVERIFY2(bench.problem()->text().contains(u"COM1"_s), qPrintable(bench.problem()->text()));
    }

    void savedCommandsSurviveARestart() {
        Bench bench;
        bench.enter(u"<SYN>T<CR>"_s, SendAs::Text);
        bench.prompts.inputs.push_back(u"Trigger"_s);
        bench.window->findChild<QPushButton*>(u"SaveCommand"_s)->click();
        bench.enter(u"06"_s, SendAs::Hex);
        bench.prompts.inputs.push_back(u"Ack"_s);
        bench.window->findChild<QPushButton*>(u"SaveCommand"_s)->click();
        const QList<SavedCommand> saved{{u"Trigger"_s, SendAs::Text, u"<SYN>T<CR>"_s},
                                        {u"Ack"_s, SendAs::Hex, u"06"_s}};
        QCOMPARE(bench.window->commands(), saved);

        SendWindow again(bench.port, bench.files, bench.prompts, bench.commandsPath());
        QCOMPARE(again.commands(), saved);
    }

    // A link at the commands file's name is neither read nor written through.
    void aLinkAsTheCommandsFileIsNotFollowed() {
        Bench bench;
        const QString target = QDir(bench.config.path()).filePath(u"elsewhere"_s);
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Secret]\nentry=x\n");
        file.close();
        QFile::remove(bench.commandsPath());
        QVERIFY(QFile::link(target, bench.commandsPath()));
        SendWindow window(bench.port, bench.files, bench.prompts, bench.commandsPath());
        QVERIFY(window.commands().isEmpty());
        window.findChild<QComboBox*>(u"SendText"_s)->setEditText(u"A"_s);
        bench.prompts.inputs.push_back(u"New"_s);
        window.findChild<QPushButton*>(u"SaveCommand"_s)->click();
        const QString status = window.findChild<QLabel*>(u"SendStatus"_s)->text();
        QVERIFY2(status.contains(u"not a regular file"_s), qPrintable(status));
        QVERIFY(QFileInfo(bench.commandsPath()).isSymLink());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "[Secret]\nentry=x\n"_ba);
    }

    void aRepeatStopsWhenThePortCloses() {
        Bench bench;
        auto* every = bench.window->findChild<QSpinBox*>(u"RepeatEvery"_s);
        every->setValue(10);
        QCOMPARE(every->value(), 50); // the shortest interval
        bench.enter(u"R"_s, SendAs::Text);
        bench.window->findChild<QPushButton*>(u"SendNow"_s)->click();
        QCOMPARE(readAllOf(*bench.pty, 3).left(3), "RRR"_ba);
        bench.port.setPortOpen(false);
        QTRY_VERIFY(!bench.window->repeating());
        QVERIFY(bench.prompts.messages().isEmpty());
        QCOMPARE(bench.window->findChild<QLabel*>(u"SendStatus"_s)->text(),
                 u"Repeat stopped: the port is closed."_s);
    }

    void aFileArrivesWhole_data() {
        QTest::addColumn<int>("handshaking");
        QTest::newRow("no flow control") << 0;
        QTest::newRow("RTS/CTS") << 2;
    }
    void aFileArrivesWhole() {
        QFETCH(int, handshaking);
        Bench bench;
        bench.port.setPortOpen(false);
        bench.port.setHandshaking(handshaking);
        bench.port.setPortOpen(true);
        QByteArray bytes;
        for (int i = 0; i < 100'000; ++i)
            bytes.append(static_cast<char>(i % 256));
        const QString path = QDir(bench.config.path()).filePath(u"every byte.bin"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        bench.window->sendFile(path);
        QVERIFY(bench.window->sendingFile());
        QCOMPARE(readAllOf(*bench.pty, bytes.size()), bytes);
        QTRY_VERIFY(!bench.window->sendingFile());
        QCOMPARE(bench.window->findChild<QLabel*>(u"SendStatus"_s)->text(),
                 u"Sent 100,000 bytes from every byte.bin."_s);
    }

    // What is sent shows in the text view as typed keys do: only with local echo on.
    void echoShowsWhatIsSent_data() {
        QTest::addColumn<bool>("echo");
        QTest::newRow("echo on") << true;
        QTest::newRow("echo off") << false;
    }
    void echoShowsWhatIsSent() {
        QFETCH(bool, echo);
        FormHarness h;
        h.EchoEnabled = echo ? ui::VbTrue : ui::VbFalse;
        h.form->setFileChooser(std::make_unique<FakeFileChooser>());
        h.port->setPortOpen(true);
        choose(h.child<QAction>(u"MSend"_s));
        SendWindow* window = h.form->sendWindow();
        window->findChild<QComboBox*>(u"SendText"_s)->setEditText(u"AB\\r"_s);
        QVERIFY(window->sendEntry());
        QCOMPARE(h.port->sent, u"AB\r"_s);
        QCOMPARE(h.form->Term().Text().contains(u"AB"_s), echo);
    }

    // A scanner in packet mode (the simulator) gets ACK after its scan, at once, and the Scan
    // Log marks the scan answered; without the reply it sends the scan again.
    void aPacketModeScannerGetsItsReply_data() {
        QTest::addColumn<bool>("reply");
        QTest::newRow("reply on") << true;
        QTest::newRow("reply off") << false;
    }
    void aPacketModeScannerGetsItsReply() {
        QFETCH(bool, reply);
        clearPortVariables();
        QTemporaryDir locks;
        qputenv("LINNET_LOCK_DIR", QFile::encodeName(locks.path()));
        QProcess sim;
        sim.start(QStringLiteral(SCANNER_SIM),
                  {u"--ack"_s, u"--count"_s, u"1"_s, u"--interval"_s, u"0.3"_s});
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
        qputenv("LINNET_COM1", sim.readLine().trimmed());
        qint16 echo = 0;
        main_window::Form1 form(std::make_unique<port::TermiosPort>(),
                                std::make_unique<FakePrompts>(), base::monotonicMs, echo);
        form.setFileChooser(std::make_unique<FakeFileChooser>());
        choose(form.findChild<QAction*>(u"MSend"_s));
        SendWindow* window = form.sendWindow();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), u"Send"_s);
        window->findChild<QCheckBox*>(u"ReplyToScans"_s)->setChecked(reply);
        form.findChild<QPushButton*>(u"cmdOPEN"_s)->click();
        QVERIFY(form.MSComm1().PortOpen());
        QString said;
        const QString awaited = reply ? u"ack: ACK after"_s : u"sending again (1 of 3)"_s;
        QTRY_VERIFY_WITH_TIMEOUT((said += QString::fromLocal8Bit(sim.readAll())).contains(awaited),
                                 5000);
        // What the scanner said, for the record of the run.
        qInfo().noquote() << said.trimmed();
        if (reply) {
            const int ms = said.section(u"ack: ACK after "_s, 1).section(u' ', 0, 0).toInt();
            QVERIFY2(ms < 100, qPrintable(said));
            scan_log::ScanLogModel& model = form.scanLog().model();
            QTRY_VERIFY(model.rowCount() >= 1);
            QCOMPARE(model.cellText(0, scan_log::ScanLogModel::Source), u"COM1, replied"_s);
        }
        sim.kill();
        sim.waitForFinished(2000);
    }
};

QTEST_MAIN(TstSendWindow)
#include "tst_send_window.moc"
