// Every sentence that carries text from outside (device and process names, paths, USB strings,
// system reasons, what a scanner sent) shows it once, visibly and as it stands: a "%1" in it is
// never taken for a placeholder, control characters and bidirectional overrides are written out,
// markup stays literal, and nothing is escaped twice.
#include "app/app_texts.h"
#include "devices/devices_problem.h"
#include "diagnose/window/diagnose_texts.h"
#include "find_settings/window/find_settings_texts.h"
#include "port/port_messages.h"
#include "scan_log/window/recorder.h"
#include "scan_log/window/scan_log_texts.h"
#include "test_codes/symbols/test_sheet.h"
#include "test_codes/window/test_codes_texts.h"
#include "ui/window_texts.h"

#include <QTest>

#include <functional>

using namespace app;
using namespace devices;
using namespace port;
using namespace ui;

using namespace Qt::Literals::StringLiterals;

namespace {

// Hostile pieces, each with how it must read in a sentence.
struct Piece {
    QString raw;
    QString shown;
};

const QList<Piece>& pieces() {
    static const QList<Piece> all{
        {u"evil%1"_s, u"evil%1"_s},
        {u"%2 and %1%3"_s, u"%2 and %1%3"_s},
        {u"<b>bold</b><img src=x>"_s, u"<b>bold</b><img src=x>"_s},
        {u"a\u202Eb"_s, u"a\\u202Eb"_s},
        {u"esc\x1B[31mred"_s, u"esc\\x1B[31mred"_s},
        {u"bell\x07line\nbreak"_s, u"bell\\x07line\\nbreak"_s},
        {u"back\\slash"_s, u"back\\\\slash"_s},
    };
    return all;
}

// A sentence function with one piece of outside text put in.
using Sentence = std::function<QString(const QString&)>;

devices::SerialDevice usbDevice(const QString& text) {
    devices::SerialDevice device;
    device.node = u"/dev/ttyACM0"_s;
    device.vendorId = u"1209"_s;
    device.productId = u"0001"_s;
    device.product = text;
    return device;
}

} // namespace

Q_DECLARE_METATYPE(Sentence)

class TestOutsideSentences : public QObject {
    Q_OBJECT

private slots:
    void eachSentence_data() {
        QTest::addColumn<Sentence>("sentence");
        const auto row = [](const char* name, Sentence sentence) {
            QTest::newRow(name) << std::move(sentence);
        };
        row("Diagnose: a device's product name", [](const QString& text) {
            diagnose::SerialFinding finding;
            finding.number = 3;
            finding.device = usbDevice(text);
            finding.mayOpen = true;
            return diagnose::serialFindingText(finding);
        });
        row("Diagnose: a holder's process name", [](const QString& text) {
            diagnose::SerialFinding finding;
            finding.number = 3;
            finding.device = usbDevice(u"Scanner"_s);
            finding.mayOpen = true;
            finding.holders = {{612, text}};
            return diagnose::serialFindingText(finding);
        });
        row("Diagnose: a variable's path", [](const QString& text) {
            diagnose::SerialFinding finding;
            finding.number = 1;
            finding.overridePath = text.toUtf8();
            return diagnose::serialFindingText(finding);
        });
        row("Diagnose: a HID device's name", [](const QString& text) {
            devices::HidInput input;
            input.vendorId = u"1209"_s;
            input.productId = u"0002"_s;
            input.product = text;
            input.kind = devices::HidKind::KeyboardScanner;
            return diagnose::hidFindingText(input);
        });
        row("Port tooltip", [](const QString& text) {
            return ui::portTooltipText({3, {}, usbDevice(text), {}, true});
        });
        row("Connected now", [](const QString& text) {
            return ui::connectedNowText({}, {{3, usbDevice(text)}});
        });
        row("Group advice: the node", [](const QString& text) {
            return ui::permissionHintText(text, devices::GroupAccess{u"dialout"_s, false, false});
        });
        row("Group advice: the group", [](const QString& text) {
            return ui::permissionHintText(u"/dev/ttyACM0"_s,
                                          devices::GroupAccess{text, false, false});
        });
        row("No hardware", [](const QString& text) { return ui::noHardwareText(text); });
        row("Port in use", [](const QString& text) {
            port::PortError error;
            error.operation = port::PortOperation::Open;
            error.kind = port::FailureKind::Busy;
            error.cause = port::FailureCause::InUse;
            error.port = 3;
            error.device = u"/dev/ttyACM0"_s;
            error.holders = {{612, text}};
            return port::failureText(error);
        });
        row("The table of COM numbers", [](const QString& text) {
            return devicesProblemText(
                {devices::DevicesProblem::Kind::TableUnwritable, text, 0, u"reason"_s});
        });
        row("CSV not saved",
            [](const QString& text) { return scan_log::csvNotSavedText(text, u"disk full"_s); });
        row("Recording not started", [](const QString& text) {
            return scan_log::recordNotStartedText(
                {scan_log::RecordFailure::Kind::System, text, u"reason"_s});
        });
        row("Test sheet not written", [](const QString& text) {
            return test_codes::sheetNotWrittenText(
                {test_codes::SheetFailure::Kind::CannotWrite, text, u"reason"_s});
        });
        row("Test Codes results not saved", [](const QString& text) {
            return test_codes::resultsNotSavedText(u"report"_s, text, u"reason"_s);
        });
        row("Find Settings on a USB device",
            [](const QString& text) { return find_settings::noSerialLineText(u"COM3"_s, text); });
    }

    void eachSentence() {
        QFETCH(Sentence, sentence);
        for (const Piece& piece : pieces()) {
            const QString text = sentence(piece.raw);
            QVERIFY2(text.contains(piece.shown), qPrintable(piece.shown + u" in: "_s + text));
            // Nothing written out twice over, and no raw control or override left.
            QVERIFY2(!text.contains(u"\\\\x"_s) && !text.contains(u"\\\\u"_s) &&
                         !text.contains(u"\\\\n"_s),
                     qPrintable(text));
            for (const QChar c : text)
                QVERIFY2(c == u'\n' ||
                             (c.unicode() >= 0x20 && c.unicode() != 0x7F && c.unicode() != 0x202E),
                         qPrintable(text));
        }
    }
};

QTEST_GUILESS_MAIN(TestOutsideSentences)
#include "tst_outside_sentences.moc"
