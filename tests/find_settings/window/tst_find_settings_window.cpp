// The Find Settings window on the main window's port: through a port double that receives as a
// UART at the asked settings would, and through the simulator and a pseudo-terminal.

#include "fake_prompts.h"
#include "find_settings/window/find_settings_window.h"
#include "form_harness.h"
#include "port/line_settings.h"
#include "port/termios_port.h"
#include "port_environment.h"
#include "scan_log/window/scan_collector.h"
#include "scanner_on_line.h"
#include "settings_dialog/window/config_scrn.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

using namespace port;
using namespace settings_dialog;
using namespace ui;
using namespace main_window;

using namespace Qt::Literals::StringLiterals;
using find_settings::FindSettingsWindow;
using find_settings::LineFormat;
using find_settings::Parity;

namespace {

const LineFormat Scanner{19200, 7, Parity::Even, 1};

// Opens the port at `settings`, then the window from the Tools menu.
FindSettingsWindow* openWindow(FormHarness& h, const QString& settings) {
    h.port->setSettings(settings);
    h.port->setPortOpen(true);
    choose(h.child<QAction>(u"MFindSettings"_s));
    return h.child<FindSettingsWindow>(u"FindSettings"_s);
}

// Scans every 0.3 s and ticks every 10 ms until the search ends or `limitMs` have passed.
void scanUntilDone(FindSettingsWindow* window, ScannerOnLine& scanner, qint64& now, qint64 limitMs,
                   const std::string& code = "4006381333931\r\n") {
    for (const qint64 end = now + limitMs; now < end && window->searching(); now += 10) {
        if (now % 300 == 0)
            scanner.scan(code);
        window->tick();
    }
}

QString report(FindSettingsWindow* window) {
    return window->findChild<QLabel*>(u"FindReport"_s)->text();
}

// The table of settings tried, a row of its cells each.
QList<QStringList> triedRows(FindSettingsWindow* window) {
    const QAbstractItemModel* model = window->findChild<QTableView*>(u"TriedSettings"_s)->model();
    QList<QStringList> rows;
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        rows << cells;
    }
    return rows;
}

} // namespace

class TestFindSettingsWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { clearPortVariables(); }

    // Every setting the search tries is one the port takes, written and read back as the port
    // writes and reads it; a text the port refuses names no setting.
    void everySettingTriedIsOneThePortTakes() {
        const auto order = find_settings::searchOrder(std::nullopt);
        QVERIFY(order.size() > 8);
        for (const LineFormat& format : order) {
            const QString text = find_settings::settingsText(format);
            const auto read = parseLineSettings(text);
            QVERIFY2(bool(read), qPrintable(text));
            QCOMPARE(formatLineSettings(*read), text);
            QCOMPARE(find_settings::formatOfSettings(text), std::optional(format));
        }
        QCOMPARE(find_settings::formatOfSettings(u"19200,e,7,1"_s), std::optional(Scanner));
        for (const QString& refused : {u"19200,E,7"_s, u"19200,X,7,1"_s, u"19201,E,7,1"_s,
                                       u"19200,E,6,1"_s, u"19200,E,7,3"_s, u"-1,N,8,1"_s})
            QVERIFY2(!find_settings::formatOfSettings(refused), qPrintable(refused));
    }

    // The port starts at 9600 8N1, the scanner sends at 19200 7E1: found within 60 s of scans,
    // the port's settings back as they were until Apply, which goes through the settings dialog;
    // the port is never closed and DTR and RTS are never touched.
    void findsAndAppliesTheScannersSettings() {
        FormHarness h;
        h.port->setDTREnable(true);
        h.port->setRTSEnable(false);
        qint64& now = h.clock->standAt(0); // the window's clock, moved by the test
        FindSettingsWindow* window = openWindow(h, u"9600,N,8,1"_s);
        h.port->writes.clear();
        ScannerOnLine scanner(*h.port, Scanner);

        window->findChild<QPushButton*>(u"FindStart"_s)->click();
        QVERIFY(window->searching());
        scanUntilDone(window, scanner, now, 60000);
        QVERIFY2(!window->searching(), qPrintable(report(window)));
        QCOMPARE(window->found(), std::optional(Scanner));
        QVERIFY2(report(window).startsWith(
                     u"Found: 19200 baud, 7 data bits, even parity, 1 stop bit: 2 scans, no line "
                     "error, all printable, ends with CR LF."_s),
                 qPrintable(report(window)));
        qInfo("found after %lld ms of scans", now);
        QCOMPARE(h.port->Settings(), u"9600,N,8,1"_s);
        for (const QString& write : std::as_const(h.port->writes))
            QVERIFY2(write.startsWith(u"Settings="_s), qPrintable(write));
        QVERIFY(h.port->PortOpen());
        QVERIFY(h.port->DTREnable());
        QVERIFY(!h.port->RTSEnable());

        window->findChild<QPushButton*>(u"FindApply"_s)->click();
        QCOMPARE(h.port->Settings(), u"19200,E,7,1"_s);
        h.form->cmdConfig_Click();
        settings_dialog::ConfigScrn* dialog = h.form->configScrn();
        for (const QString& option : {u"Baud3"_s, u"EvenParity"_s, u"Data7"_s, u"Stop1"_s})
            QVERIFY2(dialog->findChild<QRadioButton*>(option)->isChecked(), qPrintable(option));
        QVERIFY(h.prompts->messages().isEmpty());
    }

    // One count everywhere: before Start the bar says how many settings there are; while a
    // setting is listened to (also while it is confirmed by a second clean scan), the bar and
    // the status name the same number. The table shows each setting tried in a word with an
    // icon, and the first characters it received as the Scan Log does; the winner stands out.
    void oneCountAndOneVisibleForm() {
        FormHarness h;
        qint64& now = h.clock->standAt(0); // the window's clock, moved by the test
        FindSettingsWindow* window = openWindow(h, u"9600,N,8,1"_s);
        auto* bar = window->findChild<QProgressBar*>(u"FindProgress"_s);
        auto* status = window->findChild<QLabel*>(u"FindStatus"_s);
        QCOMPARE(bar->text(), u"48 settings to try"_s);
        QVERIFY(!bar->accessibleName().isEmpty()); // a screen reader names the bar
        ScannerOnLine scanner(*h.port, Scanner);
        window->findChild<QPushButton*>(u"FindStart"_s)->click();
        for (const qint64 end = now + 60000; now < end && window->searching(); now += 10) {
            if (now % 300 == 0)
                scanner.scan("4006381333931\r\n");
            window->tick();
            if (!window->searching())
                break;
            const QString number = QString::number(bar->value());
            QVERIFY2(bar->text() == u"Setting %1 of 48"_s.arg(number), qPrintable(bar->text()));
            if (status->text().startsWith(u"Listening"_s))
                QVERIFY2(status->text().contains(u"(setting %1 of 48,"_s.arg(number)),
                         qPrintable(status->text() + u" / "_s + bar->text()));
        }
        QVERIFY(!window->searching());
        const QString text = report(window);
        QVERIFY2(!text.contains(u'\n') && text.size() < 250, qPrintable(text));
        const QList<QStringList> rows = triedRows(window);
        QVERIFY(rows.size() >= 2);
        QCOMPARE(rows.front().front(), u"9600 8N1"_s);
        QCOMPARE(rows.back().mid(0, 3), (QStringList{u"19200 7E1"_s, u"found"_s, u"2"_s}));
        QCOMPARE(rows.back()[4], u"4006381333931<CR><LF>4006381333931<CR><LF>"_s);
        const QStringList words{u"found"_s, u"clean"_s, u"line errors"_s, u"garbage"_s,
                                u"silent"_s};
        bool unprintableShown = false;
        for (const QStringList& row : rows) {
            QVERIFY2(words.contains(row[1]), qPrintable(row.join(u" | "_s)));
            QVERIFY2(!row[4].contains(u"\\x"_s) && row[4].size() < 200,
                     qPrintable(row.join(u" | "_s)));
            unprintableShown = unprintableShown || row[4].contains(u'<');
        }
        QVERIFY(unprintableShown);
        const QAbstractItemModel* model =
            window->findChild<QTableView*>(u"TriedSettings"_s)->model();
        const int last = model->rowCount() - 1;
        QVERIFY(
            model->index(last, 1).data(Qt::DecorationRole).value<QIcon>().availableSizes().size() >
            0);
        QVERIFY(model->index(last, 0).data(Qt::FontRole).value<QFont>().bold());
        QVERIFY(!model->index(0, 0).data(Qt::FontRole).isValid());
    }

    // Port Setting's OK during a search: the person's settings are kept and the search ends
    // saying so; Cancel afterwards puts nothing back.
    void aChangeByThePersonEndsTheSearch() {
        FormHarness h;
        qint64& now = h.clock->standAt(0); // the window's clock, moved by the test
        FindSettingsWindow* window = openWindow(h, u"9600,N,8,1"_s);
        ScannerOnLine scanner(*h.port, Scanner);
        window->findChild<QPushButton*>(u"FindStart"_s)->click();
        scanUntilDone(window, scanner, now, 1000);
        QVERIFY(window->searching());
        h.port->setSettings(u"4800,O,8,1"_s);
        now += 10;
        window->tick();
        QVERIFY(!window->searching());
        QCOMPARE(window->findChild<QLabel*>(u"FindStatus"_s)->text(),
                 u"Stopped: the port's settings were changed to 4800,O,8,1 during the search (Port "
                 "Setting); they are kept. Start again to search from them."_s);
        QCOMPARE(h.port->Settings(), u"4800,O,8,1"_s);
        window->findChild<QPushButton*>(u"FindCancel"_s)->click();
        QCOMPARE(h.port->Settings(), u"4800,O,8,1"_s);
    }

    // With a code from Test Codes chosen, one scan at the right setting finds it.
    void aKnownCodeNeedsOneScan() {
        FormHarness h;
        qint64& now = h.clock->standAt(0); // the window's clock, moved by the test
        FindSettingsWindow* window = openWindow(h, u"9600,N,8,1"_s);
        ScannerOnLine scanner(*h.port, Scanner);
        window->findChild<QComboBox*>(u"FindScanChoice"_s)->setCurrentIndex(1); // EAN-13
        window->findChild<QPushButton*>(u"FindStart"_s)->click();
        scanUntilDone(window, scanner, now, 60000, "4006381333931\r\n");
        QCOMPARE(window->found(), std::optional(Scanner));
        QVERIFY2(report(window).contains(u": 1 scan, no line error"_s) &&
                     report(window).contains(u"the test code read right"_s),
                 qPrintable(report(window)));
    }

    // Cancel, a port that closes, silence, and a device without a serial line: each ends or
    // refuses the search in words, with the port's settings as they were.
    void endsInWords() {
        FormHarness h;
        qint64& now = h.clock->standAt(0); // the window's clock, moved by the test
        FindSettingsWindow* window = openWindow(h, u"4800,O,8,1"_s);
        ScannerOnLine scanner(*h.port, Scanner);
        auto* start = window->findChild<QPushButton*>(u"FindStart"_s);
        auto* status = window->findChild<QLabel*>(u"FindStatus"_s);

        start->click();
        scanUntilDone(window, scanner, now, 1000);
        QVERIFY(window->searching());
        QVERIFY(h.port->Settings() != u"4800,O,8,1"_s);
        window->findChild<QPushButton*>(u"FindCancel"_s)->click();
        QCOMPARE(status->text(), u"Stopped. The port is back at 4800,O,8,1."_s);
        QCOMPARE(h.port->Settings(), u"4800,O,8,1"_s);

        start->click();
        now += 6000;
        window->tick();
        QVERIFY2(status->text().startsWith(u"Nothing has arrived for 6 s."_s),
                 qPrintable(status->text()));
        // The setting listened to is in the table before any scan, and silent once given up.
        QCOMPARE(triedRows(window),
                 (QList<QStringList>{{u"4800 8O1"_s, u"listening"_s, u"0"_s, u"0"_s, QString()}}));
        now += 25000;
        window->tick();
        QVERIFY(!window->searching());
        QVERIFY2(status->text().startsWith(u"Not found: nothing arrived for 30 s"_s),
                 qPrintable(status->text()));
        QVERIFY(!window->found());
        QCOMPARE(triedRows(window),
                 (QList<QStringList>{{u"4800 8O1"_s, u"silent"_s, u"0"_s, u"0"_s, QString()}}));

        start->click();
        h.port->setPortOpen(false);
        window->tick();
        QCOMPARE(status->text(),
                 u"Stopped: the port closed during the search. Open it and start again."_s);
        QCOMPARE(h.port->Settings(), u"4800,O,8,1"_s);

        window->setLineCheck([] { return u"COM3 is a USB device"_s; });
        h.port->writes.clear();
        start->click();
        QCOMPARE(status->text(), u"COM3 is a USB device"_s);
        QVERIFY(!window->searching());
        QVERIFY(h.port->writes.isEmpty());
    }

    // The simulator's codes sent at 19200 7E1 and read at 9600 8N1, through a pseudo-terminal:
    // every scan the Scan Log makes of them is a problem that points at Find Settings.
    void theWrongSettingIsAProblem() {
        QProcess sim;
        sim.start(QStringLiteral(SCANNER_SIM),
                  {u"--line"_s, u"19200,7E1"_s, u"--interval"_s, u"0.2"_s, u"--quiet"_s});
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
        qputenv("LINNET_COM1", sim.readLine().trimmed());
        port::TermiosPort port;
        port.setSettings(u"9600,N,8,1"_s);
        scan_log::ScanCollector log;
        connect(&port, &port::PortControl::bytesArrived, &log, &scan_log::ScanCollector::receive);
        connect(&port, &port::PortControl::lineErrorArrived, &log,
                [&log](qint16) { log.lineError(); });
        port.setPortOpen(true);
        QTRY_VERIFY_WITH_TIMEOUT(log.model().rowCount() >= 7, 10000);
        sim.kill();
        sim.waitForFinished();
        // The first row may be the end of a code already under way.
        for (int row = 1; row < log.model().rowCount(); ++row) {
            const QString data = log.model().cellText(row, scan_log::ScanLogModel::Data);
            const QString verdict = log.model().cellText(row, scan_log::ScanLogModel::Verdict);
            const QString check = log.model().cellText(row, scan_log::ScanLogModel::Check);
            qInfo("%s | %s | %s", qPrintable(data.left(60)), qPrintable(verdict),
                  qPrintable(check));
            QCOMPARE(verdict, u"problem"_s);
            QVERIFY(check.endsWith(u"Tools > Find Settings"_s));
        }
    }

    // Through a pseudo-terminal, which carries neither data bits nor parity, the simulator set
    // to 19200 7E1 is found at its rate, and its format from the parity in the eighth bits.
    void findsTheSimulatorsRate() {
        QProcess sim;
        sim.start(QStringLiteral(SCANNER_SIM),
                  {u"--line"_s, u"19200,7E1"_s, u"--interval"_s, u"0.3"_s, u"--quiet"_s});
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
        qputenv("LINNET_COM1", sim.readLine().trimmed());
        port::TermiosPort port;
        port.setSettings(u"9600,N,8,1"_s);
        port.setPortOpen(true);
        FindSettingsWindow window(port, base::monotonicMs);
        window.findChild<QPushButton*>(u"FindStart"_s)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!window.searching(), 40000);
        sim.kill();
        sim.waitForFinished();
        QVERIFY2(window.found() && window.found()->baud == 19200, qPrintable(report(&window)));
        QCOMPARE(window.found(), std::optional(Scanner));
        QCOMPARE(port.Settings(), u"9600,N,8,1"_s);
    }
};

QTEST_MAIN(TestFindSettingsWindow)
#include "tst_find_settings_window.moc"
