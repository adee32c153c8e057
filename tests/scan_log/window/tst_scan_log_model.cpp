// The Scan Log's bounds: the latest 100,000 scans and 64 MiB of their bytes, older scans leaving
// first, every kept scan's bytes whole.
#include "scan_log/model/scan_splitter.h"
#include "scan_log/window/scan_collector.h"
#include "scan_log/window/scan_log_model.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using scan_log::ScanLogModel;

class TestScanLogModel : public QObject {
    Q_OBJECT

private slots:
    // The log keeps the latest 100,000 scans; older ones leave first.
    void keepsTheLatestScans() {
        scan_log::ScanCollector log;
        const int extra = 5;
        QByteArray scans;
        for (int i = 0; i < int(ScanLogModel::MaxRows) + extra; ++i)
            scans += QByteArray::number(i) + '\t';
        log.receive(scans.left(scans.size() / 2), 1);
        log.receive(scans.mid(scans.size() / 2), 2);
        QTRY_COMPARE(log.model().number(int(ScanLogModel::MaxRows) - 1),
                     quint64(ScanLogModel::MaxRows + extra));
        QCOMPARE(log.model().rowCount(), int(ScanLogModel::MaxRows));
        QCOMPARE(log.stats().count, ScanLogModel::MaxRows + extra);
        QCOMPARE(log.model().cellText(0, ScanLogModel::Number), QString::number(extra + 1));
        QCOMPARE(log.model().cellText(0, ScanLogModel::Data), QString::number(extra));
        log.receive("last\t", 3);
        QTRY_COMPARE(log.model().cellText(int(ScanLogModel::MaxRows) - 1, ScanLogModel::Data),
                     u"last"_s);
        QCOMPARE(log.model().rowCount(), int(ScanLogModel::MaxRows));
    }

    // The log keeps at most 64 MiB of scanned bytes: older scans leave first, the figures count
    // them, and Clear gives everything back. A decoded text is cut past MaxFieldChars.
    void keepsBoundedBytes() {
        scan_log::ScanCollector log;
        const std::string big(scan_log::ScanSplitter::MaxScanBytes, '\xFF');
        const std::size_t scans = ScanLogModel::MaxBytes / big.size() + 100;
        for (std::size_t i = 0; i < scans; ++i)
            log.receive(QByteArray::fromStdString(big), qint64(i));
        QTRY_COMPARE(log.model().rowCount() + qsizetype(log.model().staged()),
                     qsizetype(ScanLogModel::MaxBytes / big.size()));
        QCOMPARE(log.model().dropped(), quint64(100));
        const QString data = log.model().cellText(0, ScanLogModel::Data);
        QVERIFY(data.size() <=
                qsizetype(ScanLogModel::MaxFieldChars + ScanLogModel::CutMark.size()));
        QVERIFY(data.endsWith(u" [cut]"));
        QCOMPARE(log.model().bytes(0), std::string_view(big));
        log.clear();
        QCOMPARE(log.model().rowCount(), 0);
        QCOMPARE(log.model().dropped(), quint64(0));
    }

    // The model keeps the scans' bytes in shared chunks: scans of every size up to the limit
    // come back whole, also when older scans and their chunks have left.
    void keepsEveryScansBytes() {
        ScanLogModel model;
        std::vector<std::string> scans;
        const std::size_t sizes[] = {1, 17, 65537, 200'000, 65537, 3, 131'072, 0, 9};
        char fill = 'a';
        for (std::size_t size : sizes) {
            scans.emplace_back(size, fill++);
            model.stage(scans.back(), false, {});
        }
        QCOMPARE(model.rowCount(), 0);
        model.publish();
        QCOMPARE(model.rowCount(), int(std::size(sizes)));
        for (int row = 0; row < model.rowCount(); ++row)
            QVERIFY2(model.bytes(row) == scans[std::size_t(row)], qPrintable(QString::number(row)));

        // Enough small scans to push the big ones out.
        for (std::size_t i = 0; i < ScanLogModel::MaxRows; ++i)
            model.stage(std::to_string(i), false, {});
        model.publish();
        QCOMPARE(model.rowCount(), int(ScanLogModel::MaxRows));
        QCOMPARE(model.number(0), quint64(std::size(sizes) + 1));
        QCOMPARE(model.bytes(0), std::string_view("0"));
        QCOMPARE(model.cellText(int(ScanLogModel::MaxRows) - 1, ScanLogModel::Data),
                 QString::number(ScanLogModel::MaxRows - 1));
    }
};

QTEST_MAIN(TestScanLogModel)
#include "tst_scan_log_model.moc"
