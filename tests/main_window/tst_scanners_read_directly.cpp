// Scanners that are no serial port, read directly by the main window over a umockdev testbed: a
// scanner in keyboard mode plays an evemu recording into its event node, an ordinary keyboard
// is never opened.
#include "devices/key_scanner_reader.h"
#include "diagnose/window/diagnose_window.h"
#include "form_harness.h"
#include "hid_testbed.h"
#include "scan_log/window/scan_collector.h"
#include "scan_log/window/scan_log_model.h"
#include "usb_testbed.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <termios.h>
#include <unistd.h>

using namespace testbed;
using namespace Qt::Literals::StringLiterals;
using scan_log::ScanLogModel;

namespace {

// An evemu recording of a scanner typing `text` (digits and Enter), a key every 8 ms.
QByteArray evemuTyping(const QString& text) {
    QByteArray recording = "# EVEMU 1.3\n";
    double at = 0.0;
    for (const QChar c : text) {
        const int code = c == u'\r' ? KEY_ENTER : c == u'0' ? KEY_0 : KEY_1 + (c.unicode() - '1');
        for (const int value : {1, 0}) {
            recording += QStringLiteral("E: %1 0001 %2 %3\nE: %1 0000 0000 0000\n")
                             .arg(at, 0, 'f', 6)
                             .arg(code, 4, 16, QLatin1Char('0'))
                             .arg(value, 4, 10, QLatin1Char('0'))
                             .toLatin1();
            at += 0.004;
        }
    }
    return recording;
}

} // namespace

class TstScannersReadDirectly : public QObject {
    Q_OBJECT

private slots:
    void aKeyboardModeScannerTypesARow() {
        Testbed bed;
        QVERIFY(bed.add(keyboardModeScanner().description()));
        QVERIFY(bed.add(ordinaryKeyboard().description()));
        FormHarness h;
        // The testbed plays the recording at its own pace, and its events carry no time of this
        // clock: a longer silence keeps its keys one scan.
        h.form->scanLog().setSilenceMs(300);
        h.form->readHidScanners();
        // The scanner's node is read; the ordinary keyboard's is not.
        QCOMPARE(h.form->keyScannerReaders().size(), std::size_t(1));
        QCOMPARE(h.form->keyScannerReaders().begin()->first, u"/dev/input/event1"_s);

        QTemporaryDir folder;
        const QString recording = QDir(folder.path()).filePath(u"scan.evemu"_s);
        QFile file(recording);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(evemuTyping(u"4006381333931\r"_s));
        file.close();
        GError* error = nullptr;
        QVERIFY(umockdev_testbed_load_evemu_events(bed.get(), "/dev/input/event1",
                                                   recording.toUtf8().constData(), &error));
        QVERIFY(error == nullptr);
        ScanLogModel& model = h.form->scanLog().model();
        QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 1, 5000);
        QVERIFY2(model.cellText(0, ScanLogModel::Source)
                     .startsWith(u"Handheld Scanner (keys, 1209:0002)"_s),
                 qPrintable(model.cellText(0, ScanLogModel::Source)));
        QCOMPARE(model.cellText(0, ScanLogModel::Data), u"4006381333931"_s);
        QCOMPARE(model.cellText(0, ScanLogModel::Terminator), u"CR"_s);
        QTest::qWait(400);
        QCOMPARE(model.rowCount(), 1);

        // An ordinary keyboard the person marks as their scanner in Diagnose is read as well,
        // and no more once unmarked.
        choose(h.child<QAction>(u"MDiagnose"_s));
        auto* keyboards = h.form->diagnoseWindow()->findChild<QListWidget*>(u"keyboards"_s);
        QTRY_VERIFY(keyboards->count() == 1 &&
                    keyboards->item(0)->text() == u"USB Keyboard (USB 046d:c31c)"_s);
        keyboards->item(0)->setCheckState(Qt::Checked);
        QCOMPARE(h.form->keyScannerReaders().size(), std::size_t(2));
        keyboards->item(0)->setCheckState(Qt::Unchecked);
        QCOMPARE(h.form->keyScannerReaders().size(), std::size_t(1));
        // The person says the scanner types for German: its keys are read so.
        auto* layout = h.form->diagnoseWindow()->findChild<QComboBox*>(u"ScannerLayout"_s);
        layout->setCurrentIndex(layout->findData(u"de"_s));
        QCOMPARE(h.form->keyScannerReaders().begin()->second->layout(), std::string("de"));

        // Unplugged: its reader goes with it; plugged in again, it is read again.
        const Hid scanner = keyboardModeScanner();
        const QString hid = u"/sys"_s + scanner.hidPath();
        for (const QString& path : {hid + u"/input/input1/event1"_s, hid + u"/input/input1"_s,
                                    hid + u"/hidraw/hidraw1"_s})
            umockdev_testbed_remove_device(bed.get(), path.toUtf8().constData());
        umockdev_testbed_uevent(bed.get(), hid.toUtf8().constData(), "remove");
        umockdev_testbed_remove_device(bed.get(), hid.toUtf8().constData());
        QTRY_VERIFY(h.form->keyScannerReaders().empty());
    }

    // A point-of-sale scanner's node plays a script of reads: a scan in two reports is one row.
    void aPointOfSaleScannerSendsAScanInTwoReports() {
        Testbed bed;
        QVERIFY(bed.add(counterScanner().description()));
        QTemporaryDir folder;
        const QString script = QDir(folder.path()).filePath(u"reports.script"_s);
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // Report 2: "]E0", eight data bytes, continued; then the rest, not continued (the
        // script writes control bytes as ^A for 01h, ^@ for 00h).
        file.write("r 50 ^B]E040063813^A\n"
                   "r 50 ^B]E033931^@^@^@^@\n");
        file.close();
        // The testbed plays the node through a pseudo-terminal: made raw, it passes the reports'
        // bytes as they are, as a hidraw node does.
        const int node = ::open("/dev/hidraw5", O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(node >= 0);
        termios raw{};
        QCOMPARE(::tcgetattr(node, &raw), 0);
        ::cfmakeraw(&raw);
        QCOMPARE(::tcsetattr(node, TCSANOW, &raw), 0);
        ::close(node);
        GError* error = nullptr;
        QVERIFY(umockdev_testbed_load_script(bed.get(), "/dev/hidraw5", script.toUtf8().constData(),
                                             &error));
        QVERIFY(error == nullptr);
        FormHarness h;
        h.form->readHidScanners();
        QCOMPARE(h.form->hidScannerReaders().size(), std::size_t(1));
        ScanLogModel& model = h.form->scanLog().model();
        QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 1, 5000);
        QCOMPARE(model.cellText(0, ScanLogModel::Source), u"Counter Scanner (HID, 1209:0004)"_s);
        QCOMPARE(model.cellText(0, ScanLogModel::Data), u"]E04006381333931"_s);
        QCOMPARE(model.cellText(0, ScanLogModel::Symbology), u"EAN-13 or UPC-A"_s);
    }
};

QTEST_MAIN(TstScannersReadDirectly)
#include "tst_scanners_read_directly.moc"
