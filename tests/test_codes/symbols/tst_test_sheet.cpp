#include "file_size_limit.h"
#include "scan_log/decode/visible_bytes.h"
#include "test_codes/rules/test_code.h"
#include "test_codes/symbols/symbol.h"
#include "test_codes/symbols/test_sheet.h"
#include "zxing_reader.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <set>

#include <sys/stat.h>

using namespace test_codes;

namespace {

// The codes whose content zxing found among the decoded symbols, by name.
std::set<QString> codesFound(const std::vector<DecodedSymbol>& decoded) {
    std::set<QString> found;
    for (const TestCode& code : testCodes()) {
        const QByteArray expected = expectedFromZxing(code);
        for (const DecodedSymbol& symbol : decoded) {
            if (symbol.bytes == expected)
                found.insert(QString::fromLatin1(code.name));
        }
    }
    return found;
}

std::set<QString> allCodes() {
    std::set<QString> names;
    for (const TestCode& code : testCodes())
        names.insert(QString::fromLatin1(code.name));
    return names;
}

} // namespace

class TestTestSheet : public QObject {
    Q_OBJECT

private slots:
    // Every code encodes, with whole modules except MaxiCode's hexagons.
    void everyCodeEncodes() {
        for (const TestCode& code : testCodes()) {
            const auto symbol = Symbol::encode(code);
            QVERIFY2(symbol, qPrintable(QString::fromLatin1(code.name) + QStringLiteral(": ") +
                                        (symbol ? QString() : symbol.error().message)));
            QVERIFY(symbol->size().width() > 0 && symbol->size().height() > 0);
        }
    }

    // Drawn as the window draws them, at three pixels a module, every code decodes to its
    // content.
    void screenRenderingDecodes() {
        QTemporaryDir dir;
        QStringList images;
        for (const TestCode& code : testCodes()) {
            const auto symbol = Symbol::encode(code);
            QVERIFY(symbol);
            constexpr int Pixels = 3;
            QImage image((symbol->size() * Pixels).toSize() + QSize(40, 40), QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            symbol->paint(painter, QPointF(20, 20), Pixels);
            painter.end();
            images << dir.filePath(QString::fromLatin1(code.name).replace(u' ', u'_') +
                                   QStringLiteral(".png"));
            QVERIFY(image.save(images.back()));
        }
        bool ok = false;
        const auto decoded = decodeImages(QStringLiteral(ZXING_DECODE), images, &ok);
        QVERIFY(ok);
        QCOMPARE(codesFound(decoded), allCodes());
    }

    // The printed sheet, on both paper sizes, rasterised at 300 dpi: every code decodes.
    void printedSheetDecodes_data() {
        QTest::addColumn<int>("paper");
        QTest::newRow("A4") << int(QPageSize::A4);
        QTest::newRow("Letter") << int(QPageSize::Letter);
    }
    void printedSheetDecodes() {
        QFETCH(int, paper);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("sheet.pdf"));
        const auto written = writeTestSheet(pdf, QPageSize::PageSizeId(paper));
        QVERIFY2(written, qPrintable(written ? QString() : written.error().detail));
        constexpr int Dpi = 300;
        const QStringList pages = rasterisePdf(pdf, dir.path(), Dpi);
        QCOMPARE(pages.size(), written->pages);
        // One picture a code, cut from its page with a margin: the packaged zxing finds one 1D
        // code in a picture, not a page of them.
        QStringList cuts;
        for (const Placement& placed : written->placements) {
            const QImage page(pages.at(placed.page));
            const QRectF margin = placed.millimetres.adjusted(-3, -3, 3, 3);
            const double dots = Dpi / 25.4;
            const QRect cut(QPointF(margin.topLeft() * dots).toPoint(),
                            QPointF(margin.bottomRight() * dots).toPoint());
            cuts << dir.filePath(QStringLiteral("cut%1.png").arg(placed.code));
            QVERIFY(page.copy(cut).save(cuts.back()));
        }
        bool ok = false;
        const auto decoded = decodeImages(QStringLiteral(ZXING_DECODE), cuts, &ok);
        QVERIFY(ok);
        QCOMPARE(codesFound(decoded), allCodes());
    }

    void sheetRefusesWhatItCannotWrite() {
        QTemporaryDir dir;
        const auto intoFolder = writeTestSheet(dir.path());
        QVERIFY(!intoFolder);
        QCOMPARE(intoFolder.error().kind, SheetFailure::Kind::CannotWrite);
        // A FIFO is refused at once, not waited on for a reader.
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const auto intoFifo = writeTestSheet(fifo);
        QVERIFY(!intoFifo);
        QCOMPARE(intoFifo.error().kind, SheetFailure::Kind::CannotWrite);
        const auto nowhere = writeTestSheet(dir.filePath(QStringLiteral("no/such/folder.pdf")));
        QVERIFY(!nowhere);
        QVERIFY(!nowhere.error().detail.isEmpty());
    }

    // A disk that fills up half-way: the sheet is refused with the system's reason, the file
    // that stood there is untouched, and no half-written file is left anywhere in the folder.
    void aFullDiskLeavesNoHalfFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("codes.pdf"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the sheet from before");
        }
        {
            const FileSizeLimit fullAt(20480);
            const auto written = writeTestSheet(path);
            QVERIFY(!written);
            QCOMPARE(written.error().kind, SheetFailure::Kind::CannotWrite);
            QCOMPARE(written.error().detail, QStringLiteral("File too large"));
        }
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the sheet from before"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"codes.pdf"});
        QVERIFY(writeTestSheet(path));
        QVERIFY(QFileInfo(path).size() > 20480);
    }
};

QTEST_MAIN(TestTestSheet)
#include "tst_test_sheet.moc"
