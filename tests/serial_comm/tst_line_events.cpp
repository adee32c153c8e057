#include "serial_comm/line_events.h"
#include "serial_comm/port_control.h"

#include <QTest>

#include <sys/ioctl.h>

using namespace serial_comm;

Q_DECLARE_METATYPE(serial_comm::LineSnapshot)
Q_DECLARE_METATYPE(serial_comm::UnmatchedErrors)
Q_DECLARE_METATYPE(serial_comm::StreamPiece::Kind)

namespace {

using Events = QList<qint16>;

LineSnapshot states(int lines) {
    return {std::nullopt, lines};
}

LineSnapshot counted(LineCounters counters, std::optional<int> lines = std::nullopt) {
    return {counters, lines};
}

LineCounters with(quint32 LineCounters::*field, quint32 value, LineCounters base = {}) {
    base.*field = value;
    return base;
}

} // namespace

class TestLineEvents : public QObject {
    Q_OBJECT

private slots:
    void eventsFromTwoLooks_data();
    void eventsFromTwoLooks();
    void classifiesMarks_data();
    void classifiesMarks();
    void countsUnmatchedErrorsAcrossAWrapAround();
};

void TestLineEvents::eventsFromTwoLooks_data() {
    QTest::addColumn<LineSnapshot>("before");
    QTest::addColumn<LineSnapshot>("now");
    QTest::addColumn<Events>("events");
    using C = LineCounters;
    const int cts = TIOCM_CTS, dsr = TIOCM_DSR, cd = TIOCM_CD, ri = TIOCM_RI;

    // A pseudo-terminal, or a device that stopped answering: nothing to compare.
    QTest::newRow("nothing known") << LineSnapshot{} << LineSnapshot{} << Events{};
    QTest::newRow("lines known only now") << LineSnapshot{} << states(cts) << Events{};

    // Line states alone (TIOCMGET without counters).
    QTest::newRow("no change") << states(cts | dsr) << states(cts | dsr) << Events{};
    QTest::newRow("CTS rises") << states(0) << states(cts) << Events{CommEventCode::CtsChanged};
    QTest::newRow("DSR falls") << states(dsr) << states(0) << Events{CommEventCode::DsrChanged};
    QTest::newRow("CD rises") << states(0) << states(cd) << Events{CommEventCode::CdChanged};
    QTest::newRow("all three, in code order")
        << states(cd) << states(cts | dsr)
        << Events{CommEventCode::CtsChanged, CommEventCode::DsrChanged, CommEventCode::CdChanged};
    QTest::newRow("ring starts") << states(0) << states(ri) << Events{};
    QTest::newRow("ring ends") << states(ri) << states(0) << Events{CommEventCode::Ring};
    QTest::newRow("other bits ignored") << states(TIOCM_DTR | TIOCM_RTS) << states(0) << Events{};

    // Counters: a pulse between two looks leaves the state as it was but moves the counter.
    QTest::newRow("CTS pulse between looks")
        << counted({}, cts) << counted(with(&C::cts, 2), cts) << Events{CommEventCode::CtsChanged};
    QTest::newRow("DSR and CD counted")
        << counted({}) << counted(with(&C::dcd, 1, with(&C::dsr, 3)))
        << Events{CommEventCode::DsrChanged, CommEventCode::CdChanged};
    QTest::newRow("counter and state agree: one event")
        << counted({}, 0) << counted(with(&C::cts, 1), cts) << Events{CommEventCode::CtsChanged};
    // Some drivers answer TIOCGICOUNT with counters that never move: the state still tells.
    QTest::newRow("still counters, changed state")
        << counted({}, 0) << counted({}, dsr) << Events{CommEventCode::DsrChanged};
    QTest::newRow("counter wraps around")
        << counted(with(&C::cts, 0xFFFFFFFFu)) << counted(with(&C::cts, 0))
        << Events{CommEventCode::CtsChanged};

    // Ring: drivers count the trailing edge only (8250) or both edges (USB adapters).
    QTest::newRow("ring counted, RI off now")
        << counted({}, 0) << counted(with(&C::rng, 1), 0) << Events{CommEventCode::Ring};
    QTest::newRow("ring counted, RI on now: a leading edge")
        << counted({}, 0) << counted(with(&C::rng, 1), ri) << Events{};
    QTest::newRow("whole ring between looks, ringing again")
        << counted({}, 0) << counted(with(&C::rng, 3), ri) << Events{CommEventCode::Ring};
    QTest::newRow("ring counted, lines unknown")
        << counted({}) << counted(with(&C::rng, 1)) << Events{CommEventCode::Ring};
    QTest::newRow("ring ends, counted as well: one event")
        << counted(with(&C::rng, 1), ri) << counted(with(&C::rng, 2), 0)
        << Events{CommEventCode::Ring};

    // Overrun from either counter; the stream's own errors are not raised from here.
    QTest::newRow("UART overrun") << counted({}) << counted(with(&C::overrun, 5))
                                  << Events{CommEventCode::Overrun};
    QTest::newRow("kernel buffer overrun")
        << counted({}) << counted(with(&C::bufOverrun, 1)) << Events{CommEventCode::Overrun};
    QTest::newRow("frame, parity and break counts")
        << counted({}) << counted(with(&C::frame, 1, with(&C::parity, 1, with(&C::brk, 1))))
        << Events{};
    QTest::newRow("everything at once")
        << counted(C{}, ri)
        << counted(with(&C::cts, 1, with(&C::dsr, 1, with(&C::dcd, 1, with(&C::overrun, 1)))),
                   cts | dsr | cd)
        << Events{CommEventCode::CtsChanged, CommEventCode::DsrChanged, CommEventCode::CdChanged,
                  CommEventCode::Ring, CommEventCode::Overrun};
}

void TestLineEvents::eventsFromTwoLooks() {
    QFETCH(LineSnapshot, before);
    QFETCH(LineSnapshot, now);
    QFETCH(Events, events);
    const std::vector<qint16> got = lineEvents(before, now);
    QCOMPARE(Events(got.begin(), got.end()), events);
}

void TestLineEvents::classifiesMarks_data() {
    QTest::addColumn<StreamPiece::Kind>("kind");
    QTest::addColumn<UnmatchedErrors>("unmatched");
    QTest::addColumn<bool>("parityOn");
    QTest::addColumn<qint16>("code");
    QTest::addColumn<UnmatchedErrors>("left");
    using K = StreamPiece::Kind;
    const auto errors = [](quint32 frame, quint32 parity, quint32 brk) {
        UnmatchedErrors e;
        e.frame = frame;
        e.parity = parity;
        e.brk = brk;
        return e;
    };
    const UnmatchedErrors none;

    // No counters (or counters that never move): the line's parity setting decides.
    QTest::newRow("error byte, parity on")
        << K::ErrorByte << none << true << CommEventCode::RxParity << none;
    QTest::newRow("error byte, parity off")
        << K::ErrorByte << none << false << CommEventCode::Framing << none;
    QTest::newRow("break without counts")
        << K::Break << none << true << CommEventCode::Break << none;

    // Counters say which, whatever the setting.
    QTest::newRow("framing counted, parity on")
        << K::ErrorByte << errors(1, 0, 0) << true << CommEventCode::Framing << none;
    QTest::newRow("parity counted, parity off")
        << K::ErrorByte << errors(0, 2, 0) << false << CommEventCode::RxParity << errors(0, 1, 0);
    QTest::newRow("both counted, parity on")
        << K::ErrorByte << errors(1, 1, 0) << true << CommEventCode::RxParity << errors(1, 0, 0);
    QTest::newRow("both counted, parity off")
        << K::ErrorByte << errors(1, 1, 0) << false << CommEventCode::Framing << errors(0, 1, 0);
    QTest::newRow("error byte leaves the break count")
        << K::ErrorByte << errors(0, 1, 1) << true << CommEventCode::RxParity << errors(0, 0, 1);

    // 0xFF 0 0 is a break, or a NUL byte with an error: the counters tell them apart.
    QTest::newRow("break counted")
        << K::Break << errors(1, 0, 1) << false << CommEventCode::Break << errors(1, 0, 0);
    QTest::newRow("NUL with framing error")
        << K::Break << errors(1, 0, 0) << true << CommEventCode::Framing << none;
    QTest::newRow("NUL with parity error")
        << K::Break << errors(0, 1, 0) << true << CommEventCode::RxParity << none;
}

void TestLineEvents::classifiesMarks() {
    QFETCH(StreamPiece::Kind, kind);
    QFETCH(UnmatchedErrors, unmatched);
    QFETCH(bool, parityOn);
    QFETCH(qint16, code);
    QFETCH(UnmatchedErrors, left);
    QCOMPARE(classifyMark(kind, unmatched, parityOn), code);
    QCOMPARE(unmatched.frame, left.frame);
    QCOMPARE(unmatched.parity, left.parity);
    QCOMPARE(unmatched.brk, left.brk);
}

void TestLineEvents::countsUnmatchedErrorsAcrossAWrapAround() {
    LineCounters before;
    before.frame = 0xFFFFFFFEu;
    before.parity = 7;
    LineCounters now = before;
    now.frame = 1; // three errors later
    now.parity = 8;
    now.brk = 2;
    UnmatchedErrors unmatched;
    unmatched.parity = 1;
    unmatched.add(before, now);
    QCOMPARE(unmatched.frame, 3u);
    QCOMPARE(unmatched.parity, 2u);
    QCOMPARE(unmatched.brk, 2u);
}

QTEST_MAIN(TestLineEvents)
#include "tst_line_events.moc"
