// A guard against the cost of the data views growing by an order of magnitude: received 64-byte
// blocks appended to a view kept at its bound, alone and with the view brought up to date and
// painted after every block. The limits are generous: ten times or more what a RelWithDebInfo build
// takes, and ten times more under the sanitizers. The time counted is this thread's processor time,
// so that other work on the machine does not make the view look slow.
#include "checked_build.h"
#include "data_columns.h"
#include "views/rich_text_box.h"
#include "views/view_rules.h"

#include <QImage>
#include <QRandomGenerator>
#include <QTest>

#include <ctime>

using namespace views;

namespace {

double threadMs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

} // namespace

class TestViewSpeed : public QObject {
    Q_OBJECT

private slots:
    void appendBlocks_data() {
        addColumns<bool, double>("paint", "limitMs");
        QTest::newRow("hex, model only") << false << 0.5;
        QTest::newRow("hex, refresh+paint every block") << true << 2.0;
    }
    void appendBlocks() {
        QFETCH(bool, paint);
        QFETCH(double, limitMs);
        limitMs *= scaledForChecks(1, 10);
        // As the main window lays the views out: 568 x 233 pixels, wrapping at ten window widths.
        views::RichTextBox view;
        view.resize(568, 233);
        view.setRightMargin(10 * 568);
        view.show();
        QRandomGenerator random(7);
        QList<QString> blocks;
        for (int i = 0; i < 900; ++i) {
            QString bytes(64, Qt::Uninitialized);
            for (QChar& c : bytes)
                c = QChar(char16_t(random.bounded(256)));
            blocks << views::hexRendering(bytes);
        }
        for (int i = 0; i < 300; ++i) // up to the bound and past the first cut
            views::AppendToView(view, blocks[i]);
        view.flushDisplay();

        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        const double start = threadMs();
        for (int i = 300; i < blocks.size(); ++i) {
            views::AppendToView(view, blocks[i]);
            if (paint) {
                view.flushDisplay();
                view.render(&image);
            }
        }
        const double perBlock = (threadMs() - start) / 600;
        qInfo("%s: %.4f ms per block", QTest::currentDataTag(), perBlock);
        QVERIFY2(perBlock < limitMs, qPrintable(QString::number(perBlock)));
    }
};

QTEST_MAIN(TestViewSpeed)
#include "tst_view_speed.moc"
