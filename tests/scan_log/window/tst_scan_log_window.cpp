#include "data_columns.h"
#include "fake_file_chooser.h"
#include "form_harness.h"
#include "scan_log/window/keyboard_scan_field.h"
#include "scan_log/window/scan_charts.h"
#include "scan_log/window/scan_collector.h"
#include "scan_log/window/scan_log_window.h"
#include "scan_log/window/scan_pictures.h"
#include "views/rich_text_box.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace views;
using namespace ui;
using namespace main_window;

using namespace Qt::Literals::StringLiterals;
using scan_log::ScanLogModel;

namespace {

// A main window on the fake port with the Scan Log shown and its file dialog answered by a double.
struct LogHarness : FormHarness {
    FakeFileChooser* files;
    scan_log::ScanLogWindow* window = nullptr;

    LogHarness() {
        auto chooser = std::make_unique<FakeFileChooser>();
        files = chooser.get();
        form->setFileChooser(std::move(chooser));
        port->forceOpen(true);
    }
    void showLog() {
        choose(child<QAction>(u"MScanLog"_s));
        window = form->scanLogWindow();
    }
    ScanLogModel& model() const { return form->scanLog().model(); }
    QString cell(int row, int column) const { return model().cellText(row, column); }
    QString figure(const char* name) const {
        return window->findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    void click(const char* button) const {
        window->findChild<QPushButton*>(QString::fromLatin1(button))->click();
    }
};

} // namespace

class TestScanLogWindow : public QObject {
    Q_OBJECT

private slots:
    // Rows show what each scan is; they reach the table together, once a frame.
    void rowsAppearDecodedOncePerFrame() {
        LogHarness h;
        QSignalSpy inserted(&h.model(), &QAbstractItemModel::rowsInserted);
        h.port->receive(u"]E04006381333931\r\n"_s);
        h.port->receive(u"]C1010400638133393117261231\x1d"
                        "10LOT-7\r\n"_s);
        h.port->receive(u"]E04006381333932\t\x01\xe9\r\n"_s);
        QCOMPARE(h.model().rowCount(), 0);
        QTRY_COMPARE(h.model().rowCount(), 4);
        QCOMPARE(inserted.count(), 1);

        QCOMPARE(h.cell(0, ScanLogModel::Number), u"1"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Data), u"]E04006381333931"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Terminator), u"CR LF"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Bytes), u"18"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Symbology), u"EAN-13 or UPC-A"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Check), u"ok"_s);
        QVERIFY(h.cell(0, ScanLogModel::Gap).isEmpty());
        QVERIFY(QRegularExpression(u"^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"_s)
                    .match(h.cell(0, ScanLogModel::Time))
                    .hasMatch());
        QCOMPARE(h.cell(1, ScanLogModel::Symbology), u"GS1-128"_s);
        QVERIFY2(h.cell(1, ScanLogModel::Gs1Fields).startsWith(u"(01) GTIN 04006381333931 ok; "),
                 qPrintable(h.cell(1, ScanLogModel::Gs1Fields)));
        QVERIFY(h.cell(1, ScanLogModel::Gs1Fields).contains(u"(10) batch LOT-7"));
        // A tab ends a scan; what follows it is the next one.
        QCOMPARE(h.cell(2, ScanLogModel::Data), u"]E04006381333932"_s);
        QCOMPARE(h.cell(2, ScanLogModel::Terminator), u"TAB"_s);
        QCOMPARE(h.cell(2, ScanLogModel::Check), u"check digit should be 1"_s);
        QCOMPARE(h.cell(3, ScanLogModel::Data), u"<SOH><e9>"_s);
    }

    // The log takes the bytes as they arrive, not as the window's handlers read them: with
    // InputLen 1 and RThreshold 0 nothing is read, and the log still splits every scan.
    void independentOfInputLenAndRThreshold() {
        LogHarness h;
        h.port->setInputLen(1);
        h.port->setRThreshold(0);
        h.port->receive(u"A1\rB2\rC3"_s);
        QTRY_COMPARE(h.model().rowCount(), 3);
        QCOMPARE(h.cell(0, ScanLogModel::Data) + h.cell(1, ScanLogModel::Data) +
                     h.cell(2, ScanLogModel::Data),
                 u"A1B2C3"_s);
        QCOMPARE(h.cell(2, ScanLogModel::Terminator), QString());
        QCOMPARE(h.port->inputReads, 0);
        QCOMPARE(h.port->InBufferCount(), 8);
        QCOMPARE(h.port->Input(), u"A"_s);
        QCOMPARE(h.form->Term().Text(), QString());
    }

    // A scanner in keyboard mode types into the field: each scan is a row from the keyboard, and
    // Tab ends a scan instead of moving the focus.
    void keyboardScans() {
        LogHarness h;
        h.showLog();
        h.window->activateWindow();
        auto* field = h.window->findChild<QLineEdit*>(u"KeyboardScan"_s);
        QVERIFY(field != nullptr);
        field->setFocus();
        QTest::keyClicks(field, u"4006381333931"_s);
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClicks(field, u"AB"_s);
        QTest::keyClick(field, Qt::Key_Tab);
        QTRY_COMPARE(h.model().rowCount(), 2);
        QVERIFY(field->text().isEmpty());
        QVERIFY2(h.cell(0, ScanLogModel::Source).startsWith(u"keyboard"_s),
                 qPrintable(h.cell(0, ScanLogModel::Source)));
        QCOMPARE(h.cell(0, ScanLogModel::Data), u"4006381333931"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Terminator), u"CR"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Symbology), u"EAN-13 (guess)"_s);
        QCOMPARE(h.cell(1, ScanLogModel::Terminator), u"TAB"_s);
        // A GS1 code typed without its GS: said why.
        QTest::keyClicks(field, u"]C1010952123454321310ABC1232112345"_s);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(h.model().rowCount(), 3);
        QVERIFY2(h.cell(2, ScanLogModel::Gs1Fields)
                     .startsWith(u"(01) GTIN 09521234543213 ok; (10) batch ABC1232112345 "
                                 "(typed without GS: a scanner in keyboard mode usually cannot "
                                 "send it"_s),
                 qPrintable(h.cell(2, ScanLogModel::Gs1Fields)));
        // Received on the port, the source is the port.
        h.port->receive(u"X\r"_s);
        QTRY_COMPARE(h.model().rowCount(), 4);
        QCOMPARE(h.cell(3, ScanLogModel::Source), u"COM1"_s);
        // Read from a point-of-sale scanner: its name, and the symbology its identifier gives.
        h.form->scanLog().receiveDeviceScan("]E04006381333931"_ba, 100, 112,
                                            u"Counter Scanner (HID, 1209:0003)"_s);
        QTRY_COMPARE(h.model().rowCount(), 5);
        QCOMPARE(h.cell(4, ScanLogModel::Source), u"Counter Scanner (HID, 1209:0003)"_s);
        QCOMPARE(h.cell(4, ScanLogModel::Data), u"]E04006381333931"_s);
        QCOMPARE(h.cell(4, ScanLogModel::Symbology), u"EAN-13 or UPC-A"_s);
        QCOMPARE(h.cell(4, ScanLogModel::Duration), u"12"_s);
    }

    // A scanner in keyboard mode read from its event node: its keys make scans of their own,
    // with no widget focused, named after the scanner with the time between its keys; two
    // scanners typing at once keep their scans apart.
    void keysOfScannersReadDirectly() {
        LogHarness h;
        qint64& now = h.clock->standAt(10'000);
        const QString handheld = u"Handheld Scanner (keys, 1209:0002)"_s;
        const QString other = u"Other Scanner (keys, 1209:0005)"_s;
        qint64 at = 9'888;
        for (const QChar c : u"4006381333931\r"_s) {
            h.form->scanLog().receiveDeviceKey(handheld, QString(c), at);
            h.form->scanLog().receiveDeviceKey(other, u"X"_s, at + 1);
            at += 8;
        }
        QTRY_COMPARE(h.model().rowCount(), 1);
        QCOMPARE(h.cell(0, ScanLogModel::Source), handheld + u", 8 ms a key"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Data), u"4006381333931"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Terminator), u"CR"_s);
        // The same keys reaching the keyboard field (it had the focus) are not a second scan.
        h.showLog();
        auto* field = h.window->findChild<QLineEdit*>(u"KeyboardScan"_s);
        field->setFocus();
        QTest::keyClicks(field, u"4006381333931"_s);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_VERIFY(field->text().isEmpty());
        QCOMPARE(h.model().rowCount(), 1);
        // The other scanner's keys end by its silence.
        now += 5'000;
        QTRY_COMPARE(h.model().rowCount(), 2);
        QCOMPARE(h.cell(1, ScanLogModel::Data), u"XXXXXXXXXXXXXX"_s);
        QVERIFY(h.cell(1, ScanLogModel::Source).startsWith(other));
    }

    // Key times are the window system's, not when the program got to the keys: keys that
    // waited together keep the 8 ms between them. A character composed with a dead key arrives
    // as committed text and is part of the scan. A flood of keys without Enter ends scans at the
    // length limit, and the field never holds more than a few hundred characters.
    void keysAsTheyWereTyped() {
        LogHarness h;
        h.showLog();
        auto* field = h.window->findChild<scan_log::KeyboardScanField*>(u"KeyboardScan"_s);
        const auto key = [field](int code, const QString& text, quint64 at) {
            QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
            press.setTimestamp(at);
            QCoreApplication::sendEvent(field, &press);
        };
        // The window system's clock here is the program's own: a key handled at once first,
        // then thirteen typed 8 ms apart that all waited for a busy window.
        key(Qt::Key_1, u"1"_s, quint64(base::monotonicMs()));
        key(Qt::Key_Return, u"\r"_s, quint64(base::monotonicMs()));
        quint64 at = quint64(base::monotonicMs()) - 200;
        for (const QChar c : u"4006381333931"_s)
            key(Qt::Key_0 + c.digitValue(), c, at += 8);
        key(Qt::Key_Return, u"\r"_s, at += 8);
        QTRY_COMPARE(h.model().rowCount(), 2);
        QCOMPARE(h.cell(1, ScanLogModel::Source), u"keyboard, 8 ms a key"_s);
        QCOMPARE(h.cell(1, ScanLogModel::Duration), u"104"_s);

        key(Qt::Key_C, u"c"_s, quint64(base::monotonicMs()));
        key(Qt::Key_A, u"a"_s, quint64(base::monotonicMs()));
        key(Qt::Key_F, u"f"_s, quint64(base::monotonicMs()));
        QInputMethodEvent composed;
        composed.setCommitString(u"\u00e9"_s);
        QCoreApplication::sendEvent(field, &composed);
        key(Qt::Key_Return, u"\r"_s, quint64(base::monotonicMs()));
        QTRY_COMPARE(h.model().rowCount(), 3);
        QCOMPARE(h.cell(2, ScanLogModel::Data), u"caf<c3><a9>"_s);

        const int keys = 2 * int(scan_log::KeyboardScans::MaxScanBytes) + 100;
        for (int i = 0; i < keys; ++i) {
            key(Qt::Key_X, u"x"_s, 0);
            QVERIFY(field->text().size() <= scan_log::KeyboardScanField::MaxShown);
        }
        // Two scans cut at the limit, and the rest after the silence.
        QTRY_COMPARE(h.model().rowCount(), 6);
        QCOMPARE(h.model().bytes(3).size(), scan_log::KeyboardScans::MaxScanBytes);
        QCOMPARE(h.cell(3, ScanLogModel::Terminator), u"cut"_s);
        QCOMPARE(h.model().bytes(5).size(), std::size_t(100));
        QTRY_VERIFY(field->text().isEmpty());
    }

    // One word a scan, with its colour; none for a scan with nothing to check.
    void verdictColumn() {
        LogHarness h;
        h.showLog();
        h.port->receive(u"]E04006381333931\r]C10109521234543212\rTEXT\r"_s);
        QTRY_COMPARE(h.model().rowCount(), 3);
        const QStringList words{h.cell(0, ScanLogModel::Verdict), h.cell(1, ScanLogModel::Verdict),
                                h.cell(2, ScanLogModel::Verdict)};
        QCOMPARE(words, (QStringList{u"good"_s, u"problem"_s, u"unknown"_s}));
        const auto colour = [&h](int row) {
            return h.model().index(row, ScanLogModel::Verdict).data(Qt::BackgroundRole);
        };
        QVERIFY(colour(0).isValid() && colour(1).isValid() && colour(0) != colour(1));
        QVERIFY(!colour(2).isValid());
        QTRY_COMPARE(h.figure("problemCount"), u"Problems: 1"_s);
        // The three came together: one mark, a problem's, and a click on it selects that row.
        scan_log::ScanTimeline& timeline = h.window->pictures().timeline();
        QTRY_COMPARE(timeline.accessibleDescription().left(7), u"3 scans"_s);
        // Scans that follow each other never go back in time.
        QVERIFY(h.model().wallMs(0) <= h.model().wallMs(1) &&
                h.model().wallMs(1) <= h.model().wallMs(2));
        QTest::mouseClick(&timeline, Qt::LeftButton, {}, QPoint(1, 5));
        const QModelIndexList selected = h.window->table().selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.front().row(), 1);
    }

    // Garbage from a line at the wrong settings counts among the problems, and so does a scan
    // the port marked a line error in; the scan after it, clean, is good.
    void garbageAndLineErrorsAreProblems() {
        LogHarness h;
        h.showLog();
        QString garbage;
        for (int i = 0; i < 100; ++i)
            garbage += QString::fromLatin1("\0\xE0\0\xE0\xE0\x80\r\n", 8);
        h.port->receive(garbage);
        QTRY_COMPARE(h.model().rowCount(), 100);
        QCOMPARE(h.cell(0, ScanLogModel::Verdict), u"problem"_s);
        QVERIFY(h.cell(0, ScanLogModel::Check).contains(u"Tools > Find Settings"_s));
        QTRY_COMPARE(h.figure("problemCount"), u"Problems: 100"_s);
        h.port->receive(u"40063813"_s);
        h.port->raise(port::CommEventCode::Framing);
        h.port->receive(u"33931\r\n4006381333931\r\n"_s);
        QTRY_COMPARE(h.model().rowCount(), 102);
        QCOMPARE(h.cell(100, ScanLogModel::Verdict), u"problem"_s);
        QVERIFY2(h.cell(100, ScanLogModel::Check).startsWith(u"1 line error: "_s),
                 qPrintable(h.cell(100, ScanLogModel::Check)));
        QCOMPARE(h.cell(101, ScanLogModel::Verdict), u"good"_s);
        QTRY_COMPARE(h.figure("problemCount"), u"Problems: 101"_s);
    }

    void silenceEndsAScan() {
        LogHarness h;
        h.showLog();
        auto* silence = h.window->findChild<QSpinBox*>(u"silence"_s);
        QCOMPARE(silence->value(), 50);
        QCOMPARE(silence->minimum(), 5);
        QCOMPARE(silence->maximum(), 2000);
        silence->setValue(2000);
        h.port->receive(u"NO-END"_s);
        QTest::qWait(100); // bounded: shows that the scan does not end within the long silence
        QCOMPARE(h.model().rowCount(), 0);
        // A shorter silence lets the waiting scan go at its new deadline.
        silence->setValue(5);
        QTRY_COMPARE(h.model().rowCount(), 1);
        QCOMPARE(h.cell(0, ScanLogModel::Data), u"NO-END"_s);
    }

    void figuresClearCopyAndCsv() {
        LogHarness h;
        h.showLog();
        const qint64 start = 5'000'000;
        const std::pair<qint64, const char*> arrivals[] = {
            {0, "A"}, {0, "1\t"}, {100, "B,\"2\"\t"}, {130, "C\t"}};
        for (const auto& [at, text] : arrivals) {
            h.port->tapMs = start + at;
            h.port->receive(QString::fromLatin1(text));
        }
        QTRY_COMPARE(h.model().rowCount(), 3);
        QCOMPARE(h.figure("scanCount"), u"Scans: 3"_s);
        QCOMPARE(h.figure("shortestGap"), u"Shortest gap: 30 ms"_s);
        QCOMPARE(h.figure("longestGap"), u"Longest gap: 100 ms"_s);
        QCOMPARE(h.figure("scanRate"), u"Per minute: 923.1"_s);
        QCOMPARE(h.cell(1, ScanLogModel::Gap), u"100"_s);

        QTableView& table = h.window->table();
        table.selectRow(2);
        table.selectionModel()->select(h.model().index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        h.click("copyButton");
        const QStringList lines = QApplication::clipboard()->text().split(u'\n');
        QCOMPARE(lines.size(), 3); // two rows and the end of the last
        QCOMPARE(lines[0].split(u'\t').mid(0, 1) + lines[0].split(u'\t').mid(2, 7),
                 QStringList({u"1"_s, u"COM1"_s, QString(), u"0"_s, u"3"_s, u"A1"_s, u"TAB"_s,
                              u"text (guess)"_s}));
        QCOMPARE(lines[1].split(u'\t').size(), int(ScanLogModel::ColumnCount));
        QVERIFY(lines[1].startsWith(u"3\t"));

        QTemporaryDir dir;
        h.files->answer = dir.filePath(u"log.csv"_s);
        h.click("saveCsvButton");
        QFile csv(h.files->answer);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = csv.readAll().split('\n');
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rows[0],
                 "No.,Time,Source,Gap (ms),Duration (ms),Bytes,Data,Terminator,Symbology,Verdict,"
                 "Check,GS1 fields,Bytes in hex\r");
        QVERIFY2(rows[2].startsWith("2,") &&
                     rows[2].contains(",COM1,100,0,6,\"B,\"\"2\"\"\",TAB,") &&
                     rows[2].endsWith(",42 2c 22 32 22 09\r"),
                 rows[2].constData());
        QVERIFY(h.prompts->messages().isEmpty());

        // A file that cannot be written is said so, and nothing else changes.
        h.files->answer = dir.filePath(u"missing/log.csv"_s);
        h.click("saveCsvButton");
        QCOMPARE(h.prompts->messages().size(), 1);
        QVERIFY(h.prompts->messages()[0].text.startsWith(u"Could not save the Scan Log to "));

        h.click("clearButton");
        QCOMPARE(h.model().rowCount(), 0);
        QCOMPARE(h.figure("scanCount"), u"Scans: 0"_s);
        QCOMPARE(h.figure("longestGap"), u"Longest gap: -"_s);
        h.port->tapMs = start + 200;
        h.port->receive(u"D\t"_s);
        QTRY_COMPARE(h.model().rowCount(), 1);
        QCOMPARE(h.cell(0, ScanLogModel::Number), u"1"_s);
        QCOMPARE(h.cell(0, ScanLogModel::Gap), QString());
    }

    // A scan ends on a silence of the line, not on a pause of the program: bytes that waited in
    // the device while the program was busy (the silence timer found them, or they were read
    // after the deadline before the timer could run) continue the scan.
    void silenceOfTheLineOnly_data() {
        addColumns<QString, QStringList>("line", "rows");
        QTest::newRow("quiet line") << u"quiet"_s << QStringList{u"ABC"_s, u"DEF"_s};
        QTest::newRow("bytes waiting when the timer looks")
            << u"waiting"_s << QStringList{u"ABCDEF"_s};
        QTest::newRow("read late, before the timer ran") << u"late"_s << QStringList{u"ABCDEF"_s};
    }
    void silenceOfTheLineOnly() {
        QFETCH(QString, line);
        QFETCH(QStringList, rows);
        qint64 now = 1000;
        bool waiting = false;
        scan_log::ScanCollector log([&now] { return now; });
        log.setBytesWaiting([&waiting] { return waiting; });
        log.receive("ABC", now);
        if (line == u"late") {
            now += 80; // the event loop did not run meanwhile
            log.receive("DEF", now);
        } else {
            waiting = line == u"waiting";
            now += 60;
            // The timer's own wait is real time; the clock says the silence has passed.
            QTest::qWait(80);
            waiting = false;
            now += 10;
            log.receive("DEF", now);
        }
        now += 500;
        QTRY_COMPARE(log.model().rowCount(), rows.size());
        for (int row = 0; row < rows.size(); ++row)
            QCOMPARE(log.model().cellText(row, ScanLogModel::Data), rows[row]);
    }

    // While a stream goes on (a read every 30 ms, each ending inside a scan), the silence timer
    // never fires: it would only wake the program to find the line busy.
    void noSilenceWakeUpsInAStream() {
        QElapsedTimer clock;
        clock.start();
        qint64 lastRead = 0;
        int earlyLooks = 0;
        scan_log::ScanCollector log([&clock] { return clock.elapsed(); });
        log.setBytesWaiting([&] {
            // A look well within the silence after the last read: the timer was not moved.
            if (clock.elapsed() - lastRead < scan_log::ScanSplitter::DefaultSilence.count() - 5)
                ++earlyLooks;
            return false;
        });
        for (int i = 0; i < 10; ++i) {
            lastRead = clock.elapsed();
            log.receive("0123456", lastRead);
            QTest::qWait(30);
        }
        QCOMPARE(earlyLooks, 0);
    }

    // A spreadsheet opening the file runs no scan as a formula; numbers stay numbers, and the
    // hex column keeps the exact bytes.
    void csvRunsNoFormula_data() {
        addColumns<QByteArray, QByteArray>("scan", "field");
        QTest::newRow("=") << QByteArray("=1+2") << QByteArray("'=1+2");
        QTest::newRow("+") << QByteArray("+SUM(1;2)") << QByteArray("'+SUM(1;2)");
        QTest::newRow("-") << QByteArray("-3+4") << QByteArray("'-3+4");
        QTest::newRow("@") << QByteArray("@SUM(A1)") << QByteArray("'@SUM(A1)");
        QTest::newRow("hyperlink") << QByteArray("=HYPERLINK(\"http://x\",\"y\")")
                                   << QByteArray("\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
        QTest::newRow("command") << QByteArray("=cmd|'/c calc'!A0")
                                 << QByteArray("'=cmd|'/c calc'!A0");
        QTest::newRow("negative number") << QByteArray("-3") << QByteArray("-3");
        QTest::newRow("number with exponent") << QByteArray("+1.5e3") << QByteArray("+1.5e3");
        QTest::newRow("plain text") << QByteArray("ABC-1") << QByteArray("ABC-1");
    }
    void csvRunsNoFormula() {
        QFETCH(QByteArray, scan);
        QFETCH(QByteArray, field);
        ScanLogModel model;
        model.stage((scan + '\r').toStdString(), false, {});
        model.publish();
        QByteArray csv;
        QVERIFY(model.writeCsv([&](const QByteArray& line) {
            csv += line;
            return true;
        }));
        const QByteArray row = csv.split('\n')[1];
        QVERIFY2(row.contains(',' + field + ",CR,"), row.constData());
        QVERIFY2(row.endsWith(',' + (scan + '\r').toHex(' ') + '\r'), row.constData());
    }
};

QTEST_MAIN(TestScanLogWindow)
#include "tst_scan_log_window.moc"
