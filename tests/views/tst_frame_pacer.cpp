// What the pacing of the view's refreshes costs and what it delays: changes arrive on a clock the
// test moves, a refresh happens when the pacer asks for it, and the test counts refreshes and
// measures how long each change waited to be shown.
#include "views/frame_pacer.h"

#include <QTest>

#include <algorithm>
#include <optional>

using namespace views;

namespace {

struct Run {
    int refreshes = 0;
    int refreshesInLastSecond = 0;
    qint64 longestWaitMs = 0; // from a change to the refresh that shows it
    qint64 longestWaitInFirst100Ms = 0;
};

// Changes every `everyMs` from 0 to `untilMs`, a refresh done when the pacer said.
Run stream(qint64 everyMs, qint64 untilMs) {
    qint64 now = 0;
    FramePacer pacer([&now] { return now; });
    Run run;
    std::optional<qint64> due;        // the refresh asked for
    std::optional<qint64> oldestWait; // the first change not yet shown
    // Each millisecond: the change that arrives in it, then the refresh due in it (one asked for
    // at once happens in the same pass of the event loop).
    for (now = 0; now <= untilMs + 200; ++now) {
        if (now <= untilMs && now % everyMs == 0) {
            if (!oldestWait)
                oldestWait = now;
            if (!due)
                due = now + pacer.delayForChange();
        }
        if (due && now >= *due) {
            pacer.refreshed();
            ++run.refreshes;
            if (now > untilMs - 1000 && now <= untilMs)
                ++run.refreshesInLastSecond;
            const qint64 wait = now - *oldestWait;
            run.longestWaitMs = std::max(run.longestWaitMs, wait);
            if (*oldestWait < 100)
                run.longestWaitInFirst100Ms = std::max(run.longestWaitInFirst100Ms, wait);
            due.reset();
            oldestWait.reset();
        }
    }
    return run;
}

} // namespace

class TestFramePacer : public QObject {
    Q_OBJECT

private slots:
    // A change after a quiet spell shows at once, however the spell ended.
    void aLoneChangeShowsAtOnce() {
        for (const qint64 quietMs : {0, 40, 1000, 100000}) {
            qint64 now = 0;
            FramePacer pacer([&now] { return now; });
            if (quietMs > 0) {
                pacer.refreshed();
                now = quietMs;
            }
            QCOMPARE(pacer.delayForChange(), 0);
        }
    }

    // A change right after a refresh waits for the frame to end: never a refresh per change,
    // never a wait past a frame.
    void aChangeRightAfterARefreshWaitsForTheFrame() {
        for (qint64 at = 0; at < 16; ++at) {
            qint64 now = 0;
            FramePacer pacer([&now] { return now; });
            pacer.refreshed();
            now = at;
            const int delay = pacer.delayForChange();
            QVERIFY2(at + delay <= 16,
                     qPrintable(QStringLiteral("at %1 ms: %2").arg(at).arg(delay)));
            QVERIFY2(delay == 0 || at + delay >= 12,
                     qPrintable(QStringLiteral("at %1 ms: %2").arg(at).arg(delay)));
        }
    }

    // Streams of changes: the screen starts out within a frame of the text; a stream that goes on
    // past a second is shown ten times a second, never more than 100 ms behind. Scans that come
    // and go are each shown at once.
    void streams_data() {
        QTest::addColumn<qint64>("everyMs");
        QTest::addColumn<int>("leastPerSecond");
        QTest::addColumn<int>("mostPerSecond");
        QTest::addColumn<qint64>("longestWait");
        QTest::newRow("a change every millisecond") << qint64(1) << 9 << 11 << qint64(100);
        QTest::newRow("every 5 ms") << qint64(5) << 9 << 11 << qint64(100);
        QTest::newRow("every 20 ms") << qint64(20) << 9 << 11 << qint64(100);
        QTest::newRow("every 40 ms") << qint64(40) << 9 << 11 << qint64(100);
        QTest::newRow("scans every 60 ms: each at once") << qint64(60) << 16 << 17 << qint64(0);
        QTest::newRow("scans every 200 ms: each at once") << qint64(200) << 5 << 5 << qint64(0);
    }
    void streams() {
        QFETCH(qint64, everyMs);
        QFETCH(int, leastPerSecond);
        QFETCH(int, mostPerSecond);
        QFETCH(qint64, longestWait);
        const Run run = stream(everyMs, 3000);
        QVERIFY2(run.refreshesInLastSecond <= mostPerSecond,
                 qPrintable(QString::number(run.refreshesInLastSecond)));
        QVERIFY2(run.refreshesInLastSecond >= leastPerSecond,
                 qPrintable(QString::number(run.refreshesInLastSecond)));
        QVERIFY2(run.longestWaitMs <= longestWait, qPrintable(QString::number(run.longestWaitMs)));
        QVERIFY2(run.longestWaitInFirst100Ms <= 16,
                 qPrintable(QString::number(run.longestWaitInFirst100Ms)));
    }

    // After a long stream and a pause, the first change shows at once again.
    void aChangeAfterAStreamShowsAtOnce() {
        qint64 now = 0;
        FramePacer pacer([&now] { return now; });
        for (; now < 3000; now += 10)
            if (pacer.delayForChange() == 0)
                pacer.refreshed();
        now += 500;
        QCOMPARE(pacer.delayForChange(), 0);
    }
};

QTEST_MAIN(TestFramePacer)
#include "tst_frame_pacer.moc"
