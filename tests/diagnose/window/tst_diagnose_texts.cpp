// What the Diagnose window says of each device, and the sentence a refused open gains when
// ModemManager holds the device (a real pseudo-terminal held by a process of that name).
#include "data_columns.h"
#include "diagnose/window/diagnose_texts.h"
#include "diagnose/window/diagnosis_rows.h"
#include "pty_pair.h"
#include "ui/device_advice.h"

#include <QTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ui;

using namespace diagnose;

Q_DECLARE_METATYPE(diagnose::SerialFinding)
using namespace Qt::Literals::StringLiterals;

namespace {

devices::SerialDevice cdcScanner() {
    devices::SerialDevice device;
    device.node = u"/dev/ttyACM0"_s;
    device.vendorId = u"1209"_s;
    device.productId = u"0001"_s;
    device.manufacturer = u"Scanner Maker"_s;
    device.product = u"Area-Imaging Scanner"_s;
    return device;
}

devices::HidInput hid(devices::HidKind kind) {
    devices::HidInput input;
    input.sysPath = u"/sys/x"_s;
    input.vendorId = u"1209"_s;
    input.productId = u"0002"_s;
    input.manufacturer = u"Scanner Maker"_s;
    input.product = u"Handheld Scanner"_s;
    input.kind = kind;
    return input;
}

} // namespace

class TestDiagnoseTexts : public QObject {
    Q_OBJECT

private slots:
    void serialFindings_data() {
        addColumns<bool, bool, QString, QStringList, QStringList>("mayOpen", "inGroup", "holder",
                                                                  "says", "saysNot");
        QTest::newRow("free to open") << true << true << QString()
                                      << QStringList{u"COM3: "_s, u"You may open it: choose COM3"_s}
                                      << QStringList{u"udev"_s};
        QTest::newRow("not in the group")
            << false << false << QString()
            << QStringList{u"which your user is not in"_s, u"sudo usermod -aG dialout"_s}
            << QStringList{u"You may open it"_s};
        QTest::newRow("held by ModemManager")
            << true << true << u"ModemManager"_s
            << QStringList{u"It is open in ModemManager (process 612)"_s,
                           u"/etc/udev/rules.d/99-linnet-scanner.rules"_s,
                           u"ATTRS{idVendor}==\"1209\", ATTRS{idProduct}==\"0001\", "
                           "ENV{ID_MM_DEVICE_IGNORE}=\"1\""_s}
            << QStringList{u"You may open it"_s};
        QTest::newRow("held by another program: no rule")
            << true << true << u"gpsd"_s << QStringList{u"It is open in gpsd (process 612)"_s}
            << QStringList{u"udev"_s};
        QTest::newRow("a holder whose name holds a placeholder")
            << true << true << u"evil%1\u202E"_s
            << QStringList{u"It is open in evil%1\\u202E (process 612)"_s}
            << QStringList{u"udev"_s};
    }
    void serialFindings() {
        QFETCH(bool, mayOpen);
        QFETCH(bool, inGroup);
        QFETCH(QString, holder);
        QFETCH(QStringList, says);
        QFETCH(QStringList, saysNot);
        SerialFinding finding;
        finding.number = 3;
        finding.device = cdcScanner();
        finding.mayOpen = mayOpen;
        finding.access = devices::GroupAccess{u"dialout"_s, inGroup, inGroup};
        if (!holder.isEmpty())
            finding.holders = {{612, holder}};
        const QString text = serialFindingText(finding);
        for (const QString& part : says)
            QVERIFY2(text.contains(part), qPrintable(text));
        for (const QString& part : saysNot)
            QVERIFY2(!text.contains(part), qPrintable(text));
    }

    // Every COM number as it opens: a variable's port by its path, a device whose number the
    // variable takes named as reached by none, the system console never offered.
    void portsAsTheyOpen_data() {
        addColumns<SerialFinding, QString>("finding", "text");
        SerialFinding simulator;
        simulator.number = 1;
        simulator.overridePath = "/dev/pts/1";
        simulator.mayOpen = true;
        QTest::newRow("a variable's port")
            << simulator
            << u"COM1 = /dev/pts/1 (set by LINNET_COM1). You may open it: choose COM1 in Port "
               "Setting and open it."_s;
        SerialFinding gone = simulator;
        gone.present = false;
        gone.mayOpen = false;
        QTest::newRow("a variable's port that is not there")
            << gone
            << u"COM1 = /dev/pts/1 (set by LINNET_COM1). Nothing is there now: plug the device "
               "in, or set LINNET_COM1 to a device that exists."_s;
        SerialFinding byId = simulator;
        byId.number = 3;
        byId.overridePath = "/dev/serial/by-id/usb-scanner";
        byId.device = cdcScanner();
        QTest::newRow("a variable leading to a known device")
            << byId
            << u"COM3 = /dev/serial/by-id/usb-scanner (set by LINNET_COM3): Area-Imaging Scanner "
               "by Scanner Maker (USB 1209:0001) on /dev/ttyACM0. You may open it: choose COM3 in "
               "Port Setting and open it."_s;
        devices::SerialDevice board;
        board.kind = devices::SerialKind::OnBoard;
        board.node = u"/dev/ttyS0"_s;
        SerialFinding shadowed;
        shadowed.shadowedBy = 1;
        shadowed.device = board;
        shadowed.mayOpen = true;
        QTest::newRow("a device whose number a variable takes")
            << shadowed
            << u"on-board serial port /dev/ttyS0: no COM number opens it while LINNET_COM1 is set "
               "(COM1 opens that variable's device instead); unset LINNET_COM1 to reach it as "
               "COM1."_s;
        SerialFinding console;
        console.number = 1;
        console.device = board;
        console.device.console = true;
        console.mayOpen = true;
        QTest::newRow("the system console")
            << console
            << u"COM1: on-board serial port /dev/ttyS0. It is the system console: the kernel "
               "writes its messages there, so it is no scanner's port; leave it alone."_s;
    }
    void portsAsTheyOpen() {
        QFETCH(SerialFinding, finding);
        QFETCH(QString, text);
        QCOMPARE(serialFindingText(finding), text);
    }

    void hidFindingsAndTheWhole() {
        Diagnosis diagnosis;
        diagnosis.hid = {hid(devices::HidKind::KeyboardScanner),
                         hid(devices::HidKind::PointOfSaleScanner),
                         hid(devices::HidKind::Keyboard)};
        const QString text = diagnosisText(diagnosis);
        QVERIFY(text.startsWith(u"Handheld Scanner (USB 1209:0002) is connected as a keyboard: "
                                "it types its codes into whichever window has the focus, so no "
                                "serial port receives them."_s));
        QVERIFY(text.contains(u"is connected as a HID point-of-sale scanner"_s));
        QVERIFY(text.endsWith(u"1 keyboard whose names do not say scanner is not listed; a "
                              "scanner in keyboard mode may be among them: check it below."_s));
        QVERIFY(diagnosisText({}).startsWith(u"No serial device and no scanner is connected."_s));
    }

    // The list's rows: each device's state, where it is reached and its name, its paragraph cut
    // around a rule to copy; keyboards that are not scanners one row; the whole text is the
    // rows' paragraphs.
    void rowsOfTheList() {
        Diagnosis diagnosis;
        SerialFinding ready;
        ready.number = 3;
        ready.device = cdcScanner();
        ready.mayOpen = true;
        SerialFinding refused = ready;
        refused.number = 4;
        refused.device.node = u"/dev/ttyACM1"_s;
        refused.mayOpen = false;
        SerialFinding console = ready;
        console.number = 1;
        console.device.console = true;
        devices::HidInput keys = hid(devices::HidKind::KeyboardScanner);
        keys.eventNode = u"/dev/input/event5"_s;
        keys.eventReadable = true;
        devices::HidInput pos = hid(devices::HidKind::PointOfSaleScanner);
        pos.productId = u"0003"_s;
        pos.rawNode = u"/dev/hidraw2"_s;
        diagnosis.serial = {ready, refused, console};
        diagnosis.hid = {keys, pos, hid(devices::HidKind::Keyboard),
                         hid(devices::HidKind::Keyboard)};
        const QList<DiagnosisRow> rows = diagnosisRows(diagnosis);
        QCOMPARE(rows.size(), 6);
        const QList<RowStatus> states{RowStatus::Ready,       RowStatus::NeedsAction,
                                      RowStatus::NotAScanner, RowStatus::Ready,
                                      RowStatus::NeedsAction, RowStatus::NotAScanner};
        const QStringList where{
            u"COM3"_s,    u"COM4"_s, u"COM1"_s, u"keyboard mode"_s, u"HID point-of-sale"_s,
            u"keyboard"_s};
        QStringList paragraphs;
        for (qsizetype i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].status, states[i]);
            QCOMPARE(rows[i].where, where[i]);
            paragraphs << rows[i].paragraph;
        }
        QCOMPARE(rows[0].device,
                 u"Area-Imaging Scanner by Scanner Maker (USB 1209:0001) on /dev/ttyACM0"_s);
        QCOMPARE(rows[4].device, u"Handheld Scanner (USB 1209:0003)"_s);
        QVERIFY(rows[4].before.endsWith(u"(as root, with Copy Rule):"_s));
        QCOMPARE(rows[4].rule, udevRuleFor(pos));
        QVERIFY(rows[4].after.startsWith(u"then run 'sudo udevadm control --reload'"_s));
        QVERIFY(rows[3].rule.isEmpty() && rows[3].after.isEmpty());
        QCOMPARE(rows[5].device, u"2 keyboards"_s);
        QCOMPARE(diagnosisText(diagnosis), paragraphs.join(u"\n\n"_s));
        QVERIFY(rowAccessibleText(rows[4]).startsWith(
            u"needs action, HID point-of-sale, Handheld Scanner (USB 1209:0003): "_s));

        const QList<DiagnosisRow> none = diagnosisRows({});
        QCOMPARE(none.size(), 1);
        QCOMPARE(none[0].status, RowStatus::NeedsAction);
        QVERIFY(none[0].paragraph.startsWith(u"No serial device and no scanner"_s));
    }

    // A point-of-sale scanner: read when the person may, else the one rule that grants this
    // scanner to the person at the seat, where it goes and how to load it; never the input group.
    void pointOfSaleScannerRights() {
        devices::HidInput pos = hid(devices::HidKind::PointOfSaleScanner);
        pos.productId = u"0003"_s;
        pos.rawNode = u"/dev/hidraw2"_s;
        pos.rawReadable = true;
        QVERIFY(hidFindingText(pos).contains(u"Linnet-Test reads it directly"_s));
        pos.rawReadable = false;
        const QString rule = u"SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"1209\", "
                             "ATTRS{idProduct}==\"0003\", TAG+=\"uaccess\""_s;
        QCOMPARE(udevRuleFor(pos), rule);
        const QString text = hidFindingText(pos);
        for (const QString& part :
             {u"you may not read its node /dev/hidraw2"_s, rule,
              u"/etc/udev/rules.d/70-linnet-scanner.rules"_s,
              u"'sudo udevadm control --reload' and plug the scanner in again"_s})
            QVERIFY2(text.contains(part), qPrintable(part));
        QVERIFY(!text.contains(u"usermod"_s) && !text.contains(u"adduser"_s));
        // Ids that are not four hexadecimal digits never reach a rule.
        pos.vendorId = u"12\", RUN+=\"x"_s;
        QVERIFY(udevRuleFor(pos).startsWith(u"SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"0000\""_s));
        pos.rawNode.clear();
        QVERIFY(hidFindingText(pos).contains(u"gives it no node"_s));

        // In keyboard mode: read, or the rule for its input node.
        devices::HidInput keys = hid(devices::HidKind::KeyboardScanner);
        keys.eventNode = u"/dev/input/event5"_s;
        keys.eventReadable = true;
        QVERIFY(hidFindingText(keys).contains(u"Linnet-Test reads its keys directly"_s));
        QVERIFY(hidFindingText(keys).contains(u"'Catch its keys here'"_s));
        keys.eventReadable = false;
        QCOMPARE(udevRuleFor(keys), u"SUBSYSTEM==\"input\", ATTRS{idVendor}==\"1209\", "
                                    "ATTRS{idProduct}==\"0002\", TAG+=\"uaccess\""_s);
        QVERIFY(hidFindingText(keys).contains(u"you may not read its node /dev/input/event5"_s));
        QVERIFY(hidFindingText(keys).contains(udevRuleFor(keys)));
    }

    // An open port that stays quiet: why, when a keyboard-mode scanner is there, else what to
    // check; nothing before ten seconds.
    void quietPort() {
        QCOMPARE(quietPortText({3, 9999}, true), QString());
        QCOMPARE(quietPortText({3, 12500}, true),
                 u"COM3 is open and has received nothing for 12 s. A scanner in keyboard mode is "
                 "connected (below): its codes go to the window that has the focus, not to the "
                 "port."_s);
        QVERIFY(quietPortText({3, 10000}, false).contains(u"baud rate, parity and data bits"_s));
        Diagnosis diagnosis;
        diagnosis.quietPort = PortQuiet{1, 60000};
        diagnosis.hid = {hid(devices::HidKind::KeyboardScanner)};
        QVERIFY(diagnosisText(diagnosis).startsWith(u"COM1 is open and has received nothing for "
                                                    "60 s. A scanner in keyboard mode"_s));
    }

    // A process named ModemManager holds a real pseudo-terminal: the refused open learns it.
    void modemManagerHoldingTheDevice() {
        PtyPair pty;
        QVERIFY(!ui::heldByModemManager(pty.slavePath()));
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const QByteArray path = pty.slavePath().toLocal8Bit();
        const int master = pty.masterFd();
        const pid_t child = ::fork();
        if (child == 0) {
            // Not the far end of the terminal (whoever has the master side plays the device).
            ::close(master);
            ::prctl(PR_SET_NAME, "ModemManager");
            const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
            const char done = fd >= 0 ? '1' : '0';
            [[maybe_unused]] const auto wrote = ::write(ready[1], &done, 1);
            ::pause();
            ::_exit(0);
        }
        char done = 0;
        QCOMPARE(::read(ready[0], &done, 1), ssize_t(1));
        QCOMPARE(done, '1');
        const bool held = ui::heldByModemManager(pty.slavePath());
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(ready[0]);
        ::close(ready[1]);
        QVERIFY(held);
    }
};

QTEST_GUILESS_MAIN(TestDiagnoseTexts)
#include "tst_diagnose_texts.moc"
