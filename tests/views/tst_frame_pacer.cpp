// When the view's screen catches up with changes, on a clock the test moves by hand.
#include "views/frame_pacer.h"

#include <QTest>

using namespace views;

namespace {

// A stream: a refresh, then a change 1 ms later, in every frame. The first ten busy frames last
// 16 ms, the later ones 33 ms.
QString stream(int frames) {
    QStringList steps;
    int t = 0;
    for (int i = 0; i < frames; ++i) {
        const bool stretched = i >= 10;
        steps << QStringLiteral("r%1 c%2=%3").arg(t).arg(t + 1).arg(stretched ? 32 : 15);
        t += stretched ? 33 : 16;
    }
    return steps.join(u' ');
}

} // namespace

class TestFramePacer : public QObject {
    Q_OBJECT

private slots:
    // Steps at times in ms: "r<t>" the screen caught up, "c<t>=<d>" a change arrives and the
    // pacer asks for a refresh d ms later. Times may carry a fraction of a millisecond.
    void decisions_data() {
        QTest::addColumn<QString>("steps");
        QTest::newRow("the first change shows at once") << "c0=0";
        QTest::newRow("after a quiet spell of two frames, at once") << "r0 c32=0";
        QTest::newRow("soon after a refresh, at the frame's end") << "r0 c5=11";
        QTest::newRow("right after a refresh, a whole frame") << "r0 c0=16";
        QTest::newRow("whole milliseconds elapsed count") << "r0 c4.9=12";
        QTest::newRow("late in the frame, at once") << "r0 c20=0";
        QTest::newRow("a frame that ends within 4 ms is not waited for") << "r0 c12=0 r12 c17=11";
        QTest::newRow("a stream read every 30 ms shows at once")
            << stream(11) + " r400 c430=0 r430 c460=0";
        QTest::newRow("ten busy frames of 16 ms") << stream(10);
        QTest::newRow("then frames stretch to 33 ms") << stream(13);
        QTest::newRow("a quiet spell ends the stretch")
            << stream(12) + " r1000 c1032=0 r1032 c1033=15";
    }
    void decisions() {
        QFETCH(QString, steps);
        std::chrono::nanoseconds now{};
        views::FramePacer pacer([&] { return now; });
        for (const QString& step : steps.split(u' ')) {
            const QStringList parts = step.mid(1).split(u'=');
            now = std::chrono::nanoseconds(qRound64(parts[0].toDouble() * 1e6));
            if (step.startsWith(u'r')) {
                pacer.refreshed();
            } else {
                const int delay = pacer.delayForChange();
                QVERIFY2(delay == parts[1].toInt(),
                         qPrintable(QStringLiteral("%1 gave %2").arg(step).arg(delay)));
            }
        }
    }
};

QTEST_MAIN(TestFramePacer)
#include "tst_frame_pacer.moc"
