#include "data_columns.h"
#include "port/line_events.h"
#include "port/port_control.h"

#include <QTest>

#include <sys/ioctl.h>

using namespace port;

using namespace port::CommEventCode;
using Events = QList<qint16>;
using Errors = QList<quint32>; // unmatched frame, parity and break counts

Q_DECLARE_METATYPE(port::LineSnapshot)
Q_DECLARE_METATYPE(port::StreamPiece::Kind)

class TestLineEvents : public QObject {
    Q_OBJECT

private slots:
    void eventsFromTwoLooks_data() {
        addColumns<LineSnapshot, LineSnapshot, Events>("before", "now", "events");
        using S = LineSnapshot;
        const auto row = [](const char* n, S b, S a, Events e) { QTest::newRow(n) << b << a << e; };
        const int cts = TIOCM_CTS, dsr = TIOCM_DSR, cd = TIOCM_CD, ri = TIOCM_RI;
        using C = LineCounters;

        // A pseudo-terminal, or a device that stopped answering: nothing to compare.
        row("lines known only now", {}, S{{}, cts}, {});
        // Line states alone (no counters); ring is due at its end.
        row("states change", S{{}, cd}, S{{}, cts | dsr}, {CtsChanged, DsrChanged, CdChanged});
        row("ring ends", S{{}, ri}, S{{}, 0}, {Ring});
        // Counters catch a pulse between two looks; still counters leave it to the states.
        row("CTS pulse", {C{}, cts}, {C{.cts = 2}, cts}, {CtsChanged});
        row("still counters", {C{}, 0}, {C{}, dsr}, {DsrChanged});
        row("counter wraps", {C{.cts = 0xFFFFFFFFu}, {}}, {C{}, {}}, {CtsChanged});
        // Drivers count the trailing edge of a ring only, or both edges.
        row("ring counted, RI off", {C{}, 0}, {C{.rng = 1}, 0}, {Ring});
        row("ring counted, RI on", {C{}, 0}, {C{.rng = 1}, ri}, {});
        row("whole ring, ringing again", {C{}, 0}, {C{.rng = 3}, ri}, {Ring});
        row("ring counted, no lines", {C{}, {}}, {C{.rng = 1}, {}}, {Ring});
        row("ring ends, counted too", {C{.rng = 1}, ri}, {C{.rng = 2}, 0}, {Ring});
        // The stream's own errors are not raised from here.
        row("line errors", {C{}, {}}, {C{.frame = 1, .parity = 1, .brk = 1}, {}}, {});
        row("kernel overrun", {C{}, {}}, {C{.bufOverrun = 1}, {}}, {Overrun});
        row("everything", {C{}, ri},
            {C{.cts = 1, .dsr = 1, .dcd = 1, .overrun = 1}, cts | dsr | cd},
            {CtsChanged, DsrChanged, CdChanged, Ring, Overrun});
    }
    void eventsFromTwoLooks() {
        QFETCH(LineSnapshot, before);
        QFETCH(LineSnapshot, now);
        QFETCH(Events, events);
        const std::vector<qint16> got = lineEvents(before, now);
        QCOMPARE(Events(got.begin(), got.end()), events);
    }

    void classifiesMarks_data() {
        addColumns<StreamPiece::Kind, Errors, bool, qint16, Errors>("kind", "unmatched", "parityOn",
                                                                    "code", "left");
        const auto row = [](const char* name, StreamPiece::Kind kind, Errors unmatched,
                            bool parityOn, qint16 code, Errors left) {
            QTest::newRow(name) << kind << unmatched << parityOn << code << left;
        };
        const auto byte = StreamPiece::Kind::ErrorByte, mark = StreamPiece::Kind::Break;
        // Without counts the parity setting decides; with counts they do, and one is used up.
        row("parity on", byte, {0, 0, 0}, true, RxParity, {0, 0, 0});
        row("parity off", byte, {0, 0, 0}, false, Framing, {0, 0, 0});
        row("break", mark, {0, 0, 0}, true, Break, {0, 0, 0});
        row("framing counted", byte, {1, 0, 0}, true, Framing, {0, 0, 0});
        row("parity counted", byte, {0, 2, 0}, false, RxParity, {0, 1, 0});
        row("both counted", byte, {1, 1, 1}, true, RxParity, {1, 0, 1});
        // 0xFF 0 0 is a break, or a NUL byte with an error.
        row("break counted", mark, {1, 0, 1}, false, Break, {1, 0, 0});
        row("NUL with parity error", mark, {0, 1, 0}, false, RxParity, {0, 0, 0});
    }
    void classifiesMarks() {
        QFETCH(StreamPiece::Kind, kind);
        QFETCH(Errors, unmatched);
        QFETCH(bool, parityOn);
        QFETCH(qint16, code);
        QFETCH(Errors, left);
        // The counts as the driver's counters grew, across their wrap-around.
        UnmatchedErrors errors;
        errors.add(
            {.frame = ~0u, .parity = ~0u, .brk = ~0u},
            {.frame = unmatched[0] - 1, .parity = unmatched[1] - 1, .brk = unmatched[2] - 1});
        QCOMPARE(classifyMark(kind, errors, parityOn), code);
        QCOMPARE((Errors{errors.frame, errors.parity, errors.brk}), left);
    }
};

QTEST_MAIN(TestLineEvents)
#include "tst_line_events.moc"
