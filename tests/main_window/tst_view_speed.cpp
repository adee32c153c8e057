// Timings of the data views under received data, printed as a table. Run a Release or
// RelWithDebInfo build for figures worth comparing; the checks only catch a cost that is an order
// of magnitude off.
#include "main_window/rich_text_box.h"
#include "serial_comm/receive_rules.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <vector>

#include <sys/resource.h>

namespace {

QString randomBlock(QRandomGenerator& random, int size) {
    QString block(size, Qt::Uninitialized);
    for (QChar& c : block)
        c = QChar(static_cast<char16_t>(random.bounded(256)));
    return block;
}

QString barcodeLines(QRandomGenerator& random, int size) {
    QString block;
    while (block.size() < size) {
        for (int i = 0; i < 13; ++i)
            block += QChar(u'0' + random.bounded(10));
        block += QStringLiteral("\r\n");
    }
    return block.left(size);
}

// The views as the main window lays them out: 568 x 233 pixels, wrapping at ten window widths.
void layOut(RichTextBox& view) {
    view.resize(568, 233);
    view.setRightMargin(10 * 568);
    view.show();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(fraction * values.size()))];
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Notes when each received block was appended and when a paint of the view first followed it.
class ShownProbe : public QObject {
public:
    ShownProbe(QWidget* viewport, QElapsedTimer& clock) : clock_(clock) {
        viewport->installEventFilter(this);
    }
    void appended() { waiting_.push_back(clock_.nsecsElapsed()); }
    std::vector<double> latenciesMs;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            const qint64 now = clock_.nsecsElapsed();
            for (qint64 at : waiting_)
                latenciesMs.push_back((now - at) / 1e6);
            waiting_.clear();
        }
        return false;
    }

private:
    QElapsedTimer& clock_;
    std::vector<qint64> waiting_;
};

} // namespace

class TestViewSpeed : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qInfo("%-44s %12s", "case", "ms per block"); }

    // Received 64-byte blocks appended to a view kept at its bound, the screen brought up to date
    // after every `perFrame` blocks (0: never, which times the model alone), and with `paint` the
    // view painted then as well, as one frame would.
    void appendBlocks_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<int>("perFrame");
        QTest::addColumn<bool>("paint");
        QTest::addColumn<double>("limitMs");
        QTest::newRow("hex, model only") << true << 0 << false << 0.5;
        QTest::newRow("hex, refresh every block") << true << 1 << false << 1.0;
        QTest::newRow("hex, refresh+paint every block") << true << 1 << true << 2.0;
        QTest::newRow("hex, refresh+paint every 3 (115200 Bd)") << true << 3 << true << 1.0;
        QTest::newRow("hex, refresh+paint every 64 (flood)") << true << 64 << true << 1.0;
        QTest::newRow("text, refresh+paint every block") << false << 1 << true << 2.0;
        QTest::newRow("text, refresh+paint every 64 (flood)") << false << 64 << true << 1.0;
    }
    void appendBlocks() {
        QFETCH(bool, hex);
        QFETCH(int, perFrame);
        QFETCH(bool, paint);
        QFETCH(double, limitMs);
        RichTextBox view;
        layOut(view);
        QRandomGenerator random(7);
        auto nextBlock = [&] {
            return hex ? hexRendering(randomBlock(random, 64)) : barcodeLines(random, 64);
        };
        for (int i = 0; i < 300; ++i) { // fill up to the bound and past the first cut
            QString block = nextBlock();
            AppendToView(view, block);
        }
        view.flushDisplay();

        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        constexpr int Blocks = 600;
        std::vector<QString> blocks;
        for (int i = 0; i < Blocks; ++i)
            blocks.push_back(nextBlock());
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Blocks; ++i) {
            AppendToView(view, blocks[i]);
            if (perFrame > 0 && (i + 1) % perFrame == 0) {
                view.flushDisplay();
                if (paint)
                    view.render(&image);
            }
        }
        const double perBlock = timer.nsecsElapsed() / 1e6 / Blocks;
        view.flushDisplay();
        qInfo("%-44s %12.4f", QTest::currentDataTag(), perBlock);
        QVERIFY2(perBlock < limitMs, qPrintable(QString::number(perBlock)));
    }

    // Both views fed as the main window feeds them, from a timer: from each append to the paint
    // that shows it, and the process's processor time over the run.
    void latencyAndLoad_data() {
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<int>("blockBytes");
        QTest::addColumn<int>("blocks");
        QTest::addColumn<bool>("views");
        QTest::newRow("a 20-byte scan every 100 ms") << 100 << 20 << 15 << true;
        QTest::newRow("16-byte lines at 115200 Bd") << 1 << 16 << 1500 << true;
        QTest::newRow("115200 Bd, the feeding alone (no views)") << 1 << 16 << 1500 << false;
    }
    void latencyAndLoad() {
        QFETCH(int, intervalMs);
        QFETCH(int, blockBytes);
        QFETCH(int, blocks);
        QFETCH(bool, views);
        RichTextBox term;
        RichTextBox hex;
        layOut(term);
        layOut(hex);
        QVERIFY(QTest::qWaitForWindowExposed(&hex));
        QRandomGenerator random(5);
        for (int i = 0; i < 300; ++i) {
            QString text = barcodeLines(random, 64);
            QString codes = hexRendering(text);
            AppendToView(hex, codes);
            AppendToView(term, text);
        }
        QTest::qWait(50);

        QElapsedTimer clock;
        clock.start();
        ShownProbe termShown(term.viewport(), clock);
        ShownProbe hexShown(hex.viewport(), clock);
        QTimer feeder;
        feeder.setTimerType(Qt::PreciseTimer);
        int fed = 0;
        // At 115200 Bd a 16-byte line arrives every 1.39 ms: feed by the clock, not the tick.
        const double perBlockMs = intervalMs > 1 ? intervalMs : blockBytes * 10.0 / 115.2;
        QObject::connect(&feeder, &QTimer::timeout, &feeder, [&] {
            while (fed < blocks && fed * perBlockMs <= clock.nsecsElapsed() / 1e6) {
                QString text = barcodeLines(random, blockBytes);
                QString codes = hexRendering(text);
                if (views) {
                    AppendToView(hex, codes);
                    hexShown.appended();
                    AppendToView(term, text);
                    termShown.appended();
                }
                ++fed;
            }
        });
        // A plain event loop, as the program runs one (QTest's waiting sleeps between passes).
        QEventLoop loop;
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        QTimer done;
        QObject::connect(&done, &QTimer::timeout, &loop, [&] {
            const size_t shown = termShown.latenciesMs.size() + hexShown.latenciesMs.size();
            if (fed == blocks && shown == size_t(views ? 2 * blocks : 0))
                loop.quit();
        });
        const double cpuBefore = cpuSeconds();
        feeder.start(intervalMs);
        done.start(100);
        loop.exec();
        const double load = (cpuSeconds() - cpuBefore) / (clock.nsecsElapsed() / 1e9);
        if (!views) {
            qInfo("%-44s %.1f%% of a core", QTest::currentDataTag(), 100 * load);
            return;
        }
        QCOMPARE(termShown.latenciesMs.size() + hexShown.latenciesMs.size(), size_t(2 * blocks));
        std::vector<double> all = termShown.latenciesMs;
        all.insert(all.end(), hexShown.latenciesMs.begin(), hexShown.latenciesMs.end());
        qInfo("%-44s p50 %.1f ms, p99 %.1f ms, max %.1f ms, %.1f%% of a core",
              QTest::currentDataTag(), percentile(all, 0.5), percentile(all, 0.99),
              percentile(all, 1.0), 100 * load);
        QVERIFY(percentile(all, 0.99) < 200);
    }

    // Painting the whole visible area of a full view.
    void paintFullView_data() {
        QTest::addColumn<bool>("hex");
        QTest::newRow("paint visible area, hex") << true;
        QTest::newRow("paint visible area, text") << false;
    }
    void paintFullView() {
        QFETCH(bool, hex);
        RichTextBox view;
        layOut(view);
        QRandomGenerator random(11);
        for (int i = 0; i < 300; ++i) {
            QString block = hex ? hexRendering(randomBlock(random, 64)) : barcodeLines(random, 64);
            AppendToView(view, block);
        }
        view.flushDisplay();
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        std::vector<double> times;
        for (int i = 0; i < 21; ++i) {
            QElapsedTimer timer;
            timer.start();
            view.render(&image);
            times.push_back(timer.nsecsElapsed() / 1e6);
        }
        const double ms = median(times);
        qInfo("%-44s %12.4f", QTest::currentDataTag(), ms);
        QVERIFY2(ms < 20.0, qPrintable(QString::number(ms)));
    }
};

QTEST_MAIN(TestViewSpeed)
#include "tst_view_speed.moc"
