#include "file_size_limit.h"
#include "scan_log/model/visible_bytes.h"
#include "test_codes/model/test_code.h"
#include "test_codes/symbols/symbol.h"
#include "test_codes/symbols/test_sheet.h"
#include "zxing_reader.h"

#include <QDir>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <map>
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

    // The printed sheet, on both paper sizes, rasterised at 300 and at 150 dpi: every code, cut
    // out alone as a scanner aimed at it sees it, decodes to its own content (each in a child
    // process of its own: the packaged zxing-cpp aborts on some whole pages).
    void printedSheetDecodes_data() {
        QTest::addColumn<int>("paper");
        QTest::addColumn<int>("dpi");
        for (const int dpi : {300, 150}) {
            QTest::addRow("A4, %d dpi", dpi) << int(QPageSize::A4) << dpi;
            QTest::addRow("Letter, %d dpi", dpi) << int(QPageSize::Letter) << dpi;
        }
    }
    void printedSheetDecodes() {
        QFETCH(int, paper);
        QFETCH(int, dpi);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("sheet.pdf"));
        const auto written = writeTestSheet(pdf, QPageSize::PageSizeId(paper));
        QVERIFY2(written, qPrintable(written ? QString() : written.error().detail));
        const QStringList pages = rasterisePdf(pdf, dir.path(), dpi);
        QCOMPARE(pages.size(), written->pages);
        QStringList cuts;
        std::map<QString, std::size_t> codeOf;
        for (const Placement& placed : written->placements) {
            const QImage page(pages.at(placed.page));
            const QRectF margin = placed.millimetres.adjusted(-3, -3, 3, 3);
            const double dots = dpi / 25.4;
            const QRect cut(QPointF(margin.topLeft() * dots).toPoint(),
                            QPointF(margin.bottomRight() * dots).toPoint());
            cuts << dir.filePath(QStringLiteral("cut%1.png").arg(placed.code));
            codeOf[cuts.back()] = placed.code;
            QVERIFY(page.copy(cut).save(cuts.back()));
        }
        bool ok = false;
        QStringList failed;
        const auto decoded = decodeImages(QStringLiteral(ZXING_DECODE), cuts, &ok, &failed);
        QVERIFY2(ok, qPrintable(failed.join(u'\n')));
        QStringList missing;
        for (const QString& cut : std::as_const(cuts)) {
            const TestCode& code = testCodes()[codeOf[cut]];
            const bool read = std::any_of(decoded.begin(), decoded.end(), [&](const auto& d) {
                return d.image == cut && d.bytes == expectedFromZxing(code);
            });
            if (!read)
                missing << QString::fromLatin1(code.name);
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
    }

    // MaxiCode at its one size, measured in the PDF (ISO/IEC 16023: 28.14 mm x 26.91 mm); each
    // code's content printed whole beside it, wrapped only where it parts itself or at a mark.
    void sheetShowsWhatAScannerNeeds() {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("sheet.pdf"));
        const auto written = writeTestSheet(pdf);
        QVERIFY(written);
        for (const Placement& placed : written->placements) {
            if (testCodes()[placed.code].symbology != Symbology::MaxiCode)
                continue;
            QVERIFY2(std::abs(placed.millimetres.width() - 28.14) < 0.3,
                     qPrintable(QString::number(placed.millimetres.width())));
            QVERIFY2(std::abs(placed.millimetres.height() - 26.91) < 1.0,
                     qPrintable(QString::number(placed.millimetres.height())));
        }
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30000) && text.exitCode() == 0);
        QString printed = QString::fromUtf8(text.readAllStandardOutput());
        // The lines of one label read as one text: line breaks, the blanks a line ends with and
        // the continuation mark go (blanks are taken out of the content too).
        printed.remove(QStringLiteral(" \u21B5")).remove(u'\n').remove(u' ');
        for (const TestCode& code : testCodes()) {
            const QString content =
                QString::fromStdString(scan_log::visibleForm(code.content)).remove(u' ');
            QVERIFY2(printed.contains(content), qPrintable(QString::fromLatin1(code.name)));
        }
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
