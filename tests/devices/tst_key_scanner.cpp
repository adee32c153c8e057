#include "devices/key_scanner_reader.h"
#include "devices/key_translator.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

using namespace devices;
using namespace Qt::Literals::StringLiterals;

namespace {

// The evdev code of the key that types `c` unshifted on a US keyboard (digits, Enter, Tab).
unsigned usKey(char c) {
    switch (c) {
    case '\r':
        return KEY_ENTER;
    case '\t':
        return KEY_TAB;
    case '0':
        return KEY_0;
    default:
        return unsigned(KEY_1 + (c - '1'));
    }
}

input_event keyEvent(qint64 ms, unsigned type, unsigned code, int value) {
    input_event e{};
    e.input_event_sec = ms / 1000;
    e.input_event_usec = (ms % 1000) * 1000;
    e.type = std::uint16_t(type);
    e.code = std::uint16_t(code);
    e.value = value;
    return e;
}

// A scanner typing `text` from `startMs`, a key every `gapMs`: press, report, release, report.
std::vector<input_event> typing(const std::string& text, qint64 startMs, qint64 gapMs) {
    std::vector<input_event> events;
    qint64 at = startMs;
    for (const char c : text) {
        events.push_back(keyEvent(at, EV_KEY, usKey(c), 1));
        events.push_back(keyEvent(at, EV_SYN, SYN_REPORT, 0));
        events.push_back(keyEvent(at + 1, EV_KEY, usKey(c), 0));
        events.push_back(keyEvent(at + 1, EV_SYN, SYN_REPORT, 0));
        at += gapMs;
    }
    return events;
}

void writeEvents(int fd, const std::vector<input_event>& events) {
    const auto size = ssize_t(events.size() * sizeof(input_event));
    QCOMPARE(::write(fd, events.data(), std::size_t(size)), size);
}

} // namespace

class TstKeyScanner : public QObject {
    Q_OBJECT

private slots:
    // The keys a scanner presses, read by a layout: shift followed, releases and modifiers
    // typing nothing, the same key giving another character on another layout.
    void keysTypeTheirLayoutsText() {
        struct Case {
            const char* layout;
            std::vector<std::pair<unsigned, bool>> keys;
            std::string typed;
        };
        const std::vector<Case> cases{
            {"us", {{KEY_4, true}, {KEY_4, false}, {KEY_0, true}, {KEY_ENTER, true}}, "40\r"},
            {"us",
             {{KEY_LEFTSHIFT, true},
              {KEY_A, true},
              {KEY_A, false},
              {KEY_LEFTSHIFT, false},
              {KEY_A, true}},
             "Aa"},
            {"us", {{KEY_Y, true}, {KEY_TAB, true}, {KEY_ESC, true}, {KEY_BACKSPACE, true}}, "y\t"},
            {"de", {{KEY_Y, true}, {KEY_Z, true}}, "zy"},
            {"no such layout", {{KEY_Y, true}}, "y"},
        };
        for (const Case& c : cases) {
            KeyTranslator translator(c.layout);
            QVERIFY(translator.valid());
            std::string typed;
            for (const auto& [code, down] : c.keys)
                typed += translator.key(code, down);
            QCOMPARE(typed, c.typed);
        }
        QCOMPARE(KeyTranslator("no such layout").layout(), std::string("us"));
    }

    // The reader on a pipe the test writes input events to, as the kernel hands them over.
    void keysComeWithTheKernelsTimes() {
        int pipe[2];
        QCOMPARE(::pipe2(pipe, O_CLOEXEC), 0);
        base::UniqueFd kernel(pipe[1]);
        qint64 now = 6'100;
        KeyScannerReader reader{base::UniqueFd(pipe[0]), "us", [&now] { return now; }};
        QSignalSpy keys(&reader, &KeyScannerReader::keyTyped);
        QSignalSpy lost(&reader, &KeyScannerReader::keysLost);
        writeEvents(kernel.get(), typing("40\r", 5000, 8));
        QTRY_COMPARE(keys.size(), 3);
        QCOMPARE(keys.at(0).at(0).toString(), u"4"_s);
        QCOMPARE(keys.at(0).at(1).toLongLong(), 5000);
        QCOMPARE(keys.at(2).at(0).toString(), u"\r"_s);
        QCOMPARE(keys.at(2).at(1).toLongLong(), 5016);
        // Events the kernel dropped: the keys up to the next report are not taken.
        std::vector<input_event> dropped{keyEvent(6000, EV_SYN, SYN_DROPPED, 0),
                                         keyEvent(6000, EV_KEY, KEY_1, 1)};
        const auto after = typing("2", 6010, 8);
        dropped.push_back(keyEvent(6001, EV_SYN, SYN_REPORT, 0));
        dropped.insert(dropped.end(), after.begin(), after.end());
        writeEvents(kernel.get(), dropped);
        QTRY_COMPARE(keys.size(), 4);
        QCOMPARE(lost.size(), 1);
        QCOMPARE(keys.at(3).at(0).toString(), u"2"_s);
        // A time from another clock (far from ours) is taken as the time it was read.
        now = 100'000;
        writeEvents(kernel.get(), typing("5", 6'020, 8));
        QTRY_COMPARE(keys.size(), 5);
        QCOMPARE(keys.at(4).at(1).toLongLong(), 100'000);

        // Another layout from the next key on: the key left of U on a German keyboard is Z.
        reader.setLayout("de");
        QCOMPARE(reader.layout(), std::string("de"));
        writeEvents(kernel.get(), {keyEvent(99'990, EV_KEY, KEY_Y, 1)});
        QTRY_COMPARE(keys.size(), 6);
        QCOMPARE(keys.at(5).at(0).toString(), u"z"_s);

        QSignalSpy ended(&reader, &KeyScannerReader::ended);
        kernel = base::UniqueFd();
        QTRY_COMPARE(ended.size(), 1);
    }

    // Catching keys needs an event node; a pipe refuses it, and the reader says so.
    void catchingKeysIsRefusedByWhatIsNoEventNode() {
        int pipe[2];
        QCOMPARE(::pipe2(pipe, O_CLOEXEC), 0);
        base::UniqueFd kernel(pipe[1]);
        KeyScannerReader reader{base::UniqueFd(pipe[0])};
        QVERIFY(!reader.setCaught(true));
        QVERIFY(!reader.caught());
    }
};

QTEST_MAIN(TstKeyScanner)
#include "tst_key_scanner.moc"
