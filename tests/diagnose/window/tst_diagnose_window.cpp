// The Diagnose window over a umockdev testbed: a serial scanner and scanners in keyboard and
// point-of-sale mode, listed as they come.
#include "devices/device_registry.h"
#include "diagnose/window/diagnose_texts.h"
#include "diagnose/window/diagnose_window.h"
#include "diagnose/window/diagnosis_view.h"
#include "hid_testbed.h"
#include "usb_testbed.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFontDatabase>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace devices;

using namespace testbed;
using namespace Qt::Literals::StringLiterals;

class TestDiagnoseWindow : public QObject {
    Q_OBJECT

private slots:
    // The list: a row a device with its icon and state, its paragraph under it (opened for the
    // rows that need action), the rule a fixed-width block; looking again with the same findings
    // keeps the reader's selection and what they closed; Ctrl+C copies the selected rows.
    void rowsWithStateAndWhatToDo() {
        diagnose::DiagnosisView view;
        view.resize(400, 400);
        view.show();
        diagnose::DiagnosisRow ready;
        ready.where = u"COM3"_s;
        ready.device = u"Area-Imaging Scanner"_s;
        ready.before = ready.paragraph = u"COM3: Area-Imaging Scanner. You may open it."_s;
        diagnose::DiagnosisRow action;
        action.status = diagnose::RowStatus::NeedsAction;
        action.where = u"HID point-of-sale"_s;
        action.device = u"Presentation Imager (USB 1209:0003)"_s;
        action.before = u"Presentation Imager is connected, but you may not read its node "
                        "/dev/hidraw2. Put this line in the rules (as root, with Copy Rule):"_s;
        action.rule = u"SUBSYSTEM==\"hidraw\", TAG+=\"uaccess\""_s;
        action.after = u"then run 'sudo udevadm control --reload'."_s;
        action.paragraph = action.before + u'\n' + action.rule + u'\n' + action.after;
        view.setRows({ready, action});
        const QAbstractItemModel* model = view.model();
        QCOMPARE(model->rowCount(), 2);
        QCOMPARE(model->index(0, 0).data().toString(), u"ready"_s);
        QCOMPARE(model->index(1, 0).data().toString(), u"needs action"_s);
        QCOMPARE(model->index(1, 1).data().toString(), u"HID point-of-sale"_s);
        QVERIFY(!model->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(
            model->index(1, 0)
                .data(Qt::AccessibleTextRole)
                .toString()
                .startsWith(
                    u"needs action, HID point-of-sale, Presentation Imager (USB 1209:0003): "_s));
        // A device's name that looks like markup is shown as it is, in the tooltip too.
        diagnose::DiagnosisRow marked = ready;
        marked.device = u"<b>Scanner</b>"_s;
        marked.before = marked.paragraph = u"COM3: <b>Scanner</b>."_s;
        diagnose::DiagnosisView other;
        other.setRows({marked});
        const QString tip = other.model()->index(0, 2).data(Qt::ToolTipRole).toString();
        QVERIFY2(!tip.contains(u"<b>"_s) && tip.contains(u"&lt;b&gt;"_s), qPrintable(tip));
        QCOMPARE(other.model()->index(0, 2).data().toString(), u"<b>Scanner</b>"_s);
        QVERIFY(!view.isExpanded(model->index(0, 0)));
        QVERIFY(view.isExpanded(model->index(1, 0)));
        const QModelIndex rule = model->index(1, 0, model->index(1, 0));
        QCOMPARE(rule.data().toString(), action.rule);
        QCOMPARE(rule.data(Qt::FontRole).value<QFont>().family(),
                 QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
        QCOMPARE(model->rowCount(model->index(1, 0)), 3);
        // A long line under a narrow list takes more than one line's height.
        const QModelIndex first = model->index(0, 0, model->index(1, 0));
        QTRY_VERIFY(view.visualRect(first).height() > 2 * view.fontMetrics().height());
        // Wider, the same line takes fewer lines' height.
        const int narrow = view.visualRect(first).height();
        view.resize(900, 400);
        QTRY_VERIFY(view.visualRect(first).height() < narrow);

        view.collapse(model->index(1, 0));
        view.selectionModel()->select(model->index(0, 0), QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
        view.setRows({ready, action});
        QVERIFY(!view.isExpanded(model->index(1, 0)));
        QCOMPARE(view.selectionModel()->selectedRows().size(), 1);
        QTest::keySequence(&view, QKeySequence::Copy);
        QCOMPARE(
            QApplication::clipboard()->text(),
            u"ready, COM3, Area-Imaging Scanner: COM3: Area-Imaging Scanner. You may open it."_s);
    }

    void listsWhatCouldBeAScanner() {
        Testbed bed;
        QTemporaryDir config;
        QVERIFY(bed.plug(scanner()));
        QVERIFY(bed.add(keyboardModeScanner().description()));
        QVERIFY(bed.add(ordinaryKeyboard().description()));
        devices::DeviceRegistry::Options options;
        options.configFolder = config.path();
        options.follow = devices::FollowMode::Udev;
        devices::DeviceRegistry registry(options);
        diagnose::DiagnoseWindow window(&registry);
        QCOMPARE(window.objectName(), u"Diagnose"_s);
        const auto text = [&window] { return window.findingsText(); };
        QTRY_VERIFY2(text().startsWith(u"COM3: Area-Imaging Scanner by Scanner Maker"_s),
                     qPrintable(text()));
        QVERIFY(text().contains(u"Handheld Scanner (USB 1209:0002) is connected as a keyboard"_s));
        QVERIFY(text().contains(u"1 keyboard whose names do not say scanner is not listed"_s));
        QVERIFY(!text().contains(u"point-of-sale"_s));

        // The person says which keyboard is the scanner.
        auto* keyboards = window.findChild<QListWidget*>(u"keyboards"_s);
        QCOMPARE(keyboards->count(), 1);
        QCOMPARE(keyboards->item(0)->text(), u"USB Keyboard (USB 046d:c31c)"_s);
        keyboards->item(0)->setCheckState(Qt::Checked);
        QTRY_VERIFY(text().contains(u"USB Keyboard (USB 046d:c31c) is connected as a keyboard. "
                                    "Linnet-Test reads its keys directly"_s));
        QVERIFY(!text().contains(u"keyboard whose names do not say scanner"_s));
        QCOMPARE(keyboards->count(), 1);
        QCOMPARE(keyboards->item(0)->checkState(), Qt::Checked);

        // The scanner in keyboard mode is read; its keys can be caught here, and are let go with
        // the window.
        QVERIFY(text().contains(u"Linnet-Test reads its keys directly"_s));
        QList<std::pair<QString, bool>> catches;
        window.setKeyCatcher([&catches](const QString& node, bool catchKeys) {
            catches.append({node, catchKeys});
            return true;
        });
        auto* catchKeys = window.findChild<QListWidget*>(u"CatchKeys"_s);
        // The scanner by its names and the keyboard the person marked.
        QTRY_COMPARE(catchKeys->count(), 2);
        QCOMPARE(catchKeys->item(0)->text(), u"Handheld Scanner (USB 1209:0002)"_s);
        catchKeys->item(0)->setCheckState(Qt::Checked);
        QCOMPARE(catches, (QList<std::pair<QString, bool>>{{u"/dev/input/event1"_s, true}}));
        window.show();
        window.hide();
        QCOMPARE(catches.last(), (std::pair<QString, bool>{u"/dev/input/event1"_s, false}));
        QCOMPARE(catchKeys->item(0)->checkState(), Qt::Unchecked);

        // Plugged in while the window is open: listed without asking.
        QVERIFY(bed.add(pointOfSaleScanner().description()));
        QTRY_VERIFY2(text().contains(u"Presentation Imager (USB 1209:0003) is connected as a HID "
                                     "point-of-sale scanner"_s),
                     qPrintable(text()));
    }

    // LINNET_COM1 leads COM1 to a terminal of its own: COM1 is listed as it opens, the on-board
    // port that has the number is reached by no COM number and never offered, and with no
    // keyboard the list says so.
    void comNumbersAsTheyOpen() {
        Testbed bed;
        QTemporaryDir config;
        QVERIFY(bed.add(onBoardUarts));
        const QString simulator = devNode(u"ttyS0"_s); // any terminal that exists will do
        qputenv("LINNET_COM1", QFile::encodeName(simulator));
        devices::DeviceRegistry::Options options;
        options.configFolder = config.path();
        options.follow = devices::FollowMode::Udev;
        devices::DeviceRegistry registry(options);
        diagnose::DiagnoseWindow window(&registry);
        QTRY_COMPARE(window.looks(), 1);
        qunsetenv("LINNET_COM1");
        const QString text = window.findingsText();
        QVERIFY2(text.startsWith(u"COM1 = %1 (set by LINNET_COM1)."_s.arg(simulator)),
                 qPrintable(text));
        QVERIFY2(text.contains(u"on-board serial port /dev/ttyS0: no COM number opens it while "
                               "LINNET_COM1 is set"_s),
                 qPrintable(text));
        QCOMPARE(text.count(u"You may open it"_s), text.contains(u"may not"_s) ? 0 : 1);
        auto* keyboards = window.findChild<QListWidget*>(u"keyboards"_s);
        QCOMPARE(keyboards->count(), 1);
        QCOMPARE(keyboards->item(0)->text(), u"none found"_s);
        QVERIFY(!keyboards->accessibleName().isEmpty()); // a screen reader names the list
        QVERIFY(!(keyboards->item(0)->flags() & Qt::ItemIsUserCheckable));
    }

    // Forty devices plugged in a burst and pulled again: the window looks a few times, not once
    // an event, and a look is never made on the window's thread (it waits for the event loop).
    void aBurstOfPluggingIsOneLook() {
        Testbed bed;
        QTemporaryDir config;
        devices::DeviceRegistry::Options options;
        options.configFolder = config.path();
        options.follow = devices::FollowMode::Udev;
        devices::DeviceRegistry registry(options);
        diagnose::DiagnoseWindow window(&registry);
        QTRY_COMPARE(window.looks(), 1);
        QList<Usb> devices;
        for (int i = 0; i < 40; ++i) {
            devices << scanner().at(u"1-%1"_s.arg(i + 1), u"ttyACM%1"_s.arg(i));
            devices.back().serial = u"SN%1"_s.arg(i);
            QVERIFY(bed.plug(devices.back()));
            QTest::qWait(5); // the testbed's events must be read between plugs
        }
        for (const Usb& device : devices) {
            bed.unplug(device);
            QTest::qWait(5);
        }
        QVERIFY(window.looking());
        QTRY_VERIFY(registry.devices().isEmpty());
        QTRY_VERIFY(!window.looking());
        QVERIFY2(window.looks() <= 6, qPrintable(QString::number(window.looks())));
        const QString text = window.findingsText();
        QVERIFY2(!text.contains(u"ttyACM"_s), qPrintable(text));
    }
};

QTEST_MAIN(TestDiagnoseWindow)
#include "tst_diagnose_window.moc"
