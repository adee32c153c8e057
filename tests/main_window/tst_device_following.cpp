// The program's devices and windows together, as main assembles them: a device registry, the
// termios port opening where the registry leads, and the main window, on a umockdev testbed where
// a USB scanner is plugged in and out while the program runs. Runs under umockdev-wrapper.
#include "app/device_resolver.h"
#include "base/clock.h"
#include "data_columns.h"
#include "devices/device_registry.h"
#include "fake_prompts.h"
#include "form_harness.h"
#include "main_window/form1.h"
#include "port/termios_port.h"
#include "settings_dialog/window/config_scrn.h"
#include "usb_testbed.h"
#include "views/rich_text_box.h"

#include <QAction>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace app;
using namespace devices;
using namespace main_window;
using namespace port;
using namespace settings_dialog;
using namespace views;
using namespace ui;

using namespace testbed;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString ScannerTip = u"COM3: Area-Imaging Scanner by Scanner Maker (USB 1209:0001, serial "
                           "20150CE5C5) on /dev/ttyACM0, connected"_s;
const QString Opened = u"COM3 is  < Opened > and ready to scan barcode."_s;
const QString Lost = u"COM3 (/dev/ttyACM0) was disconnected; the port is closed. It opens again "
                     "when the device is back."_s;

// The program as main puts it together, with scripted prompts.
struct Program {
    std::unique_ptr<devices::DeviceRegistry> registry;
    port::TermiosPort* port = nullptr;
    FakePrompts* prompts = nullptr;
    qint16 echoEnabled = VbFalse;
    std::unique_ptr<Form1> form;

    explicit Program(const QString& configFolder) {
        devices::DeviceRegistry::Options options;
        options.configFolder = configFolder;
        registry = std::make_unique<devices::DeviceRegistry>(options);
        auto ownedPort = std::make_unique<port::TermiosPort>();
        ownedPort->setDeviceResolver(registryResolver(*registry));
        port = ownedPort.get();
        auto ownedPrompts = std::make_unique<FakePrompts>();
        prompts = ownedPrompts.get();
        form = std::make_unique<Form1>(std::move(ownedPort), std::move(ownedPrompts),
                                       base::monotonicMs, echoEnabled);
        form->setDeviceRegistry(registry.get());
    }
    ~Program() { form.reset(); }

    settings_dialog::ConfigScrn* showDialog() const {
        choose(form->findChild<QAction*>(u"MSettings"_s));
        return form->configScrn();
    }
    QAbstractButton* option(const QString& name) const {
        return form->configScrn()->findChild<QAbstractButton*>(name);
    }
    QString lastMessage() const {
        const auto messages = prompts->messages();
        return messages.isEmpty() ? QString() : messages.last().text;
    }
};

// Sends bytes as the scanner does, from the far end of its node.
bool scan(const Testbed& bed, const QByteArray& code) {
    const int fd = bed.deviceSide(u"/dev/ttyACM0"_s);
    return fd >= 0 && ::write(fd, code.constData(), code.size()) == code.size();
}

} // namespace

class TestDeviceFollowing : public QObject {
    Q_OBJECT

    TestbedRun run_;

    // Scans a code and waits until it shows in both views.
    void scanArrives(Program& program, const QByteArray& code) {
        QString hex;
        for (const char c : code)
            hex += QString::number(uchar(c), 16).toUpper() + u"h "_s;
        QVERIFY(scan(*run_.bed, code + '\r'));
        QTRY_VERIFY(program.form->Term().Text().contains(QString::fromLatin1(code)));
        QTRY_VERIFY2(program.form->TermHex().Text().contains(hex + u"Dh "_s),
                     qPrintable(program.form->TermHex().Text()));
    }

private slots:
    void init() { run_.start(); }
    void cleanup() { run_.stop(); }

    void scannerPluggedInOpensFromItsNumberAndReopens() {
        Program program(run_.config->path());
        settings_dialog::ConfigScrn* dialog = program.showDialog();
        QVERIFY(dialog != nullptr && dialog->isVisible());
        QCOMPARE(program.option(u"ComPort_3"_s)->accessibleDescription(),
                 u"COM3: no serial device has this number"_s);

        // Plugged in while the dialog is open: the tooltips follow.
        QVERIFY(run_.bed->plug(scanner()));
        QTRY_COMPARE(program.option(u"ComPort_3"_s)->accessibleDescription(), ScannerTip);
        QCOMPARE(program.option(u"ComPort_3"_s)->accessibleDescription(), ScannerTip);

        // The user picks the number whose tooltip names the scanner.
        QAbstractButton* chosen = nullptr;
        for (int n = 1; n <= 18; ++n)
            if (QAbstractButton* b = program.option(u"ComPort_%1"_s.arg(n));
                b->accessibleDescription().contains(u"Area-Imaging Scanner"_s))
                chosen = b;
        QVERIFY(chosen != nullptr);
        chosen->click();
        program.option(u"OKButton"_s)->click();
        QCOMPARE(program.form->cmdOPEN().text(), u"Open COM3"_s);
        QCOMPARE(program.form->cmdOPEN().accessibleDescription(), ScannerTip);

        program.form->cmdOPEN().click();
        QCOMPARE(program.lastMessage(), Opened);
        scanArrives(program, "4006381333931");

        // Pulled out: the port closes and says it waits for the device.
        const int before = program.prompts->messages().size();
        run_.bed->unplug(scanner());
        QTRY_COMPARE(program.prompts->messages().size(), before + 1);
        QCOMPARE(program.lastMessage(), Lost);
        QCOMPARE(program.prompts->messages().last().icon, ui::Prompts::Icon::Exclamation);
        QVERIFY(!program.port->PortOpen());
        QCOMPARE(program.form->cmdOPEN().text(), u"Open COM3"_s);
        QCOMPARE(program.form->cmdOPEN().accessibleDescription(),
                 ScannerTip.chopped(9) + u"not connected"_s);

        // Back: the same open command runs, with its usual message, and data arrives again.
        QVERIFY(run_.bed->plug(scanner()));
        QTRY_VERIFY(program.port->PortOpen());
        QCOMPARE(program.prompts->messages().size(), before + 2);
        QCOMPARE(program.lastMessage(), Opened);
        QCOMPARE(program.form->cmdOPEN().text(), u"Close COM3"_s);
        QVERIFY(program.form->MOpen().isChecked());
        scanArrives(program, "LINNET-TEST-0002");
    }

    // An open that finds no device lists what is connected now, or says what to check.
    void missingDeviceOpenListsConnectedDevices_data() {
        addColumns<bool, int, QString>("scannerThere", "port", "text");
        const QString noDevice =
            u"No serial device is connected now. Check the cable and that the scanner is "
            "switched on. A scanner in keyboard (HID) mode is no serial device: switch it to its "
            "serial (USB COM) mode first, usually by scanning a set-up code from its manual."_s;
        QTest::newRow("another port, the scanner present")
            << true << 5
            << u"Connected now: COM3 = Area-Imaging Scanner (/dev/ttyACM0). Choose Com3 in Port "
               "Setting."_s;
        QTest::newRow("the scanner's number, unplugged: nothing opened") << false << 3 << noDevice;
    }
    void missingDeviceOpenListsConnectedDevices() {
        QFETCH(bool, scannerThere);
        QFETCH(int, port);
        QFETCH(QString, text);
        qputenv("LINNET_COM5", "/nonexistent/linnet-scanner");
        const auto unset = qScopeGuard([] { qunsetenv("LINNET_COM5"); });
        Program program(run_.config->path());
        QSignalSpy added(program.registry.get(), &devices::DeviceRegistry::deviceAdded);
        QVERIFY(run_.bed->plug(scanner()));
        QTRY_COMPARE(added.count(), 1);
        if (!scannerThere) {
            QSignalSpy removed(program.registry.get(), &devices::DeviceRegistry::deviceRemoved);
            run_.bed->unplug(scanner());
            QTRY_COMPARE(removed.count(), 1);
        }
        program.port->setCommPort(qint16(port));
        program.form->cmdOPEN().click();
        QVERIFY(!program.port->PortOpen());
        const QString message = program.lastMessage();
        QVERIFY2(message.startsWith(u"Cannot open COM%1 ("_s.arg(port)), qPrintable(message));
        QVERIFY2(message.contains(u"There is no such device"_s), qPrintable(message));
        QVERIFY2(message.endsWith(u". "_s + text), qPrintable(message));
    }

    void noReopenAfterTheUserOpenedOrClosed() {
        Program program(run_.config->path());
        QSignalSpy added(program.registry.get(), &devices::DeviceRegistry::deviceAdded);
        QVERIFY(run_.bed->plug(scanner()));
        QTRY_COMPARE(added.count(), 1);
        program.port->setCommPort(3);
        program.form->cmdOPEN().click();
        QCOMPARE(program.lastMessage(), Opened);
        run_.bed->unplug(scanner());
        QTRY_COMPARE(program.lastMessage(), Lost);

        // The user tries in the meantime (and is told the device is missing), so the port no
        // longer waits for the scanner.
        program.form->cmdOPEN().click();
        QVERIFY(program.lastMessage().startsWith(u"Cannot open COM3 (/dev/ttyACM0)"_s));
        const int before = program.prompts->messages().size();
        QVERIFY(run_.bed->plug(scanner()));
        QTRY_COMPARE(added.count(), 2);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        QVERIFY(!program.port->PortOpen());
        QCOMPARE(program.prompts->messages().size(), before);
    }
};

QTEST_MAIN(TestDeviceFollowing)
#include "tst_device_following.moc"
