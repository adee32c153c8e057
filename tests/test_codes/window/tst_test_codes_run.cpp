// The scanner simulator sending the test codes as a scanner set up in a certain way would, through
// a pseudo-terminal and the real serial layer, into the Test Codes window.

#include "base/clock.h"
#include "fake_file_chooser.h"
#include "fake_prompts.h"
#include "main_window/form1.h"
#include "port/termios_port.h"
#include "port_environment.h"
#include "test_codes/model/test_code.h"
#include "test_codes/window/test_codes_window.h"
#include "ui/echo.h"

#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace main_window;
using namespace port;
using namespace ui;

using namespace Qt::Literals::StringLiterals;

class TestTestCodesRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { clearPortVariables(); }

    // What a scanner with identifiers on and check digits off gives: every code passes with
    // its differences named, and the summary says how the scanner is set.
    void simulatedScannerFillsTheWindow() {
        QProcess sim;
        sim.start(QStringLiteral(SCANNER_SIM),
                  {u"--test-codes"_s, u"--aim"_s, u"--no-check-digit"_s, u"--interval"_s, u"0.05"_s,
                   u"--quiet"_s});
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
        qputenv("LINNET_COM1", sim.readLine().trimmed());

        qint16 echo = VbFalse;
        Form1 form(std::make_unique<port::TermiosPort>(), std::make_unique<FakePrompts>(),
                   base::monotonicMs, echo);
        form.setFileChooser(std::make_unique<FakeFileChooser>());
        form.show();
        form.findChild<QAction*>(u"MTestCodes"_s)->trigger();
        QTRY_VERIFY(form.testCodesWindow() != nullptr);
        test_codes::TestCodesWindow* window = form.testCodesWindow();
        form.findChild<QPushButton*>(u"cmdOPEN"_s)->click();
        QVERIFY(form.MSComm1().PortOpen());

        auto* table = window->findChild<QTableWidget*>(u"codeTable"_s);
        const auto allJudged = [table] {
            for (int row = 0; row < table->rowCount(); ++row) {
                if (table->item(row, 2)->text().isEmpty())
                    return false;
            }
            return true;
        };
        QTRY_VERIFY_WITH_TIMEOUT(allJudged(), 20000);
        sim.kill();
        sim.waitForFinished();

        const QString identifier = u"Pass with differences: symbology identifier %1 added"_s;
        for (int row = 0; row < table->rowCount(); ++row) {
            const test_codes::TestCode& code = test_codes::testCodes()[std::size_t(row)];
            QString expected = identifier.arg(QString::fromLatin1(code.aimIdentifier));
            if (code.symbology == test_codes::Symbology::UpcA)
                expected += u"; UPC-A sent as 13 digits (a 0 added in front)"_s;
            if (code.checkDigitLast)
                expected += u"; check digit left out"_s;
            QCOMPARE(table->item(row, 2)->text(), expected);
        }
        const QString summary = window->findChild<QLabel*>(u"setupSummary"_s)->text();
        QVERIFY2(summary.startsWith(u"Terminator: CR LF. Prefix: none. Suffix: none. Symbology "
                                    "identifiers: on. GS in GS1 codes: sent. Check digits: left "
                                    "out. UPC-A: 12 digits (a 0 in front, check digit left "
                                    "out)."_s),
                 qPrintable(summary));
        // What to change, once a setting; and the tally.
        QVERIFY2(summary.contains(u"What to change on the scanner:\n- Turn off the code "
                                  "identifier (AIM symbology identifier), unless the application "
                                  "reads it.\n- Turn on 'transmit check digit' for EAN/UPC.\n- "
                                  "Turn off 'UPC-A as EAN-13'"_s),
                 qPrintable(summary));
        QCOMPARE(summary.count(u"transmit check digit"_s), 2); // EAN/UPC and ITF
        QCOMPARE(window->findChild<QWidget*>(u"TestCodesTally"_s)->accessibleName(),
                 u"0 passed, 18 with differences, 0 failed, 0 not scanned"_s);
    }

    // A scanner set up one way at a time, its eighteen codes sent once: the tally and the advice
    // the window gives (printed for the record).
    void tallyAndAdviceForEachSetUp_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("tally");
        QTest::addColumn<QStringList>("advice");
        QTest::newRow("--aim") << QStringList{u"--aim"_s}
                               << u"0 passed, 18 with differences, 0 failed, 0 not scanned"_s
                               << QStringList{u"Turn off the code identifier"_s,
                                              u"Turn off 'UPC-A as EAN-13'"_s};
        QTest::newRow("--no-check-digit")
            << QStringList{u"--no-check-digit"_s}
            << u"13 passed, 5 with differences, 0 failed, 0 not scanned"_s
            << QStringList{u"Turn on 'transmit check digit' for EAN/UPC."_s,
                           u"Turn on 'transmit check digit' for Interleaved 2 of 5."_s};
        QTest::newRow("--no-gs") << QStringList{u"--no-gs"_s}
                                 << u"15 passed, 0 with differences, 3 failed, 0 not scanned"_s
                                 << QStringList{u"Set FNC1 to be sent as GS (1Dh)"_s};
        QTest::newRow("--prefix <STX> --suffix <ETX>")
            << QStringList{u"--prefix"_s, u"<STX>"_s, u"--suffix"_s, u"<ETX>"_s}
            << u"0 passed, 18 with differences, 0 failed, 0 not scanned"_s
            << QStringList{u"The scanner adds the prefix STX (02h)"_s,
                           u"The scanner adds the suffix ETX (03h)"_s};
    }
    void tallyAndAdviceForEachSetUp() {
        QFETCH(QStringList, options);
        QFETCH(QString, tally);
        QFETCH(QStringList, advice);
        QProcess sim;
        sim.start(QStringLiteral(SCANNER_SIM),
                  QStringList{u"--test-codes"_s, u"--interval"_s, u"0.05"_s, u"--quiet"_s}
                      << options);
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
        qputenv("LINNET_COM1", sim.readLine().trimmed());
        qint16 echo = VbFalse;
        Form1 form(std::make_unique<port::TermiosPort>(), std::make_unique<FakePrompts>(),
                   base::monotonicMs, echo);
        form.setFileChooser(std::make_unique<FakeFileChooser>());
        form.show();
        form.findChild<QAction*>(u"MTestCodes"_s)->trigger();
        QTRY_VERIFY(form.testCodesWindow() != nullptr);
        form.findChild<QPushButton*>(u"cmdOPEN"_s)->click();
        auto* shown = form.testCodesWindow()->findChild<QWidget*>(u"TestCodesTally"_s);
        QTRY_VERIFY_WITH_TIMEOUT(shown->accessibleName().endsWith(u" 0 not scanned"_s), 20000);
        sim.kill();
        sim.waitForFinished();
        const QString summary =
            form.testCodesWindow()->findChild<QLabel*>(u"setupSummary"_s)->text();
        const qsizetype heading = summary.indexOf(u"What to change on the scanner:"_s);
        qInfo("%s: %s", qPrintable(options.join(u' ')), qPrintable(shown->accessibleName()));
        qInfo("%s", qPrintable(heading < 0 ? u"no advice"_s : summary.mid(heading)));
        QCOMPARE(shown->accessibleName(), tally);
        for (const QString& line : advice)
            QVERIFY2(summary.contains(line), qPrintable(summary));
    }
};

QTEST_MAIN(TestTestCodesRun)
#include "tst_test_codes_run.moc"
