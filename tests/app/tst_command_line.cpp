#include "app/command_line.h"
#include "data_columns.h"

#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void reads_data() {
        addColumns<QStringList, QString, int, QString>("arguments", "sheet", "paper", "error");
        const auto row = [](const char* name, const QStringList& arguments, const char* sheet,
                            QPageSize::PageSizeId paper, const char* error) {
            QTest::newRow(name) << arguments << QString::fromUtf8(sheet) << int(paper)
                                << QString::fromUtf8(error);
        };
        row("nothing", {}, "", QPageSize::A4, "");
        row("Qt's own left alone", {"-platform", "offscreen"}, "", QPageSize::A4, "");
        row("sheet", {"--test-sheet", "codes.pdf"}, "codes.pdf", QPageSize::A4, "");
        row("Letter, any case", {"--paper", "letter", "--test-sheet", "x.pdf"}, "x.pdf",
            QPageSize::Letter, "");
        row("sheet without a file", {"--test-sheet"}, "", QPageSize::A4,
            "--test-sheet needs a value: the PDF file to write");
        row("unknown paper", {"--test-sheet", "x.pdf", "--paper", "B5"}, "x.pdf", QPageSize::A4,
            "--paper takes A4 or Letter, not B5");
    }
    void reads() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, sheet);
        QFETCH(int, paper);
        QFETCH(QString, error);
        const CommandLine line = readCommandLine(arguments);
        QCOMPARE(line.testSheet.value_or(QString()), sheet);
        QCOMPARE(int(line.paper), paper);
        QCOMPARE(line.error, error);
    }

    void exitStatusSaysWhetherTheSheetWasWritten() {
        QTemporaryDir dir;
        CommandLine line;
        line.testSheet = dir.filePath(QStringLiteral("sheet.pdf"));
        QCOMPARE(writeSheetFromCommandLine(line), 0);
        QVERIFY(QFileInfo(*line.testSheet).size() > 1000);
        line.testSheet = dir.filePath(QStringLiteral("no/such/folder/sheet.pdf"));
        QCOMPARE(writeSheetFromCommandLine(line), 1);
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_command_line.moc"
