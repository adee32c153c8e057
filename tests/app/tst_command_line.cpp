// The program's command line: the sheet written without a window, and what is refused.
#include "app/command_line.h"
#include "data_columns.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

using namespace app;

using namespace Qt::Literals::StringLiterals;

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void reads_data() {
        addColumns<QByteArrayList, QString, int, QString>("arguments", "sheet", "paper", "error");
        const auto row = [](const char* name, const QByteArrayList& arguments, const char* sheet,
                            QPageSize::PageSizeId paper, const char* error) {
            QTest::newRow(name) << arguments << QString::fromUtf8(sheet) << int(paper)
                                << QString::fromUtf8(error);
        };
        row("nothing", {}, "", QPageSize::A4, "");
        row("Qt's own left alone", {"-platform", "offscreen", "-reverse", "--style=Fusion"}, "",
            QPageSize::A4, "");
        row("sheet", {"--test-sheet", "codes.pdf"}, "codes.pdf", QPageSize::A4, "");
        row("Letter, any case", {"--paper", "letter", "--test-sheet", "x.pdf"}, "x.pdf",
            QPageSize::Letter, "");
        row("a name in UTF-8",
            {"--test-sheet", "Gr\xC3\xB6\xC3\x9F"
                             "e.pdf"},
            "Größe.pdf", QPageSize::A4, "");
        row("sheet without a file", {"--test-sheet"}, "", QPageSize::A4,
            "--test-sheet needs a value: the PDF file to write");
        row("unknown paper", {"--test-sheet", "x.pdf", "--paper", "B5"}, "x.pdf", QPageSize::A4,
            "--paper takes A4 or Letter, not B5");
        row("paper without a sheet", {"--paper", "A4"}, "", QPageSize::A4,
            "--paper is for the sheet: give --test-sheet FILE.pdf too");
        row("an option nobody knows", {"--verbose"}, "", QPageSize::A4, "unknown option --verbose");
        row("a stray argument", {"codes.pdf"}, "", QPageSize::A4,
            "unexpected argument \"codes.pdf\"");
        // Bytes that are no UTF-8 would be written under another name (U+FFFD in their place).
        row("a name that is no text", {"--test-sheet", "bad\xFF\xFE.pdf"}, "", QPageSize::A4,
            "the file name \"bad\\xFF\\xFE.pdf\" is not valid text in this system's encoding "
            "(UTF-8), so it cannot be written as given; choose another name");
    }
    void reads() {
        QFETCH(QByteArrayList, arguments);
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

    // The program itself: a disk that fills up half-way ends with status 1 and no file; a
    // refused command line with the usage and status 2, before any window.
    void theProgramsExitStatus() {
        QTemporaryDir dir;
        const QString sheet = dir.filePath(u"codes.pdf"_s);
        QProcess full;
        full.setChildProcessModifier([] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{20480, 20480};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        full.start(QStringLiteral(LINNET_TEST), {u"--test-sheet"_s, sheet});
        QVERIFY(full.waitForFinished(30000));
        QCOMPARE(full.exitCode(), 1);
        QVERIFY2(full.readAllStandardError().contains("linnet-test: Cannot write the test sheet"),
                 "said on standard error");
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());

        for (const QStringList& arguments :
             {QStringList{u"--paper"_s, u"A4"_s}, QStringList{u"--frobnicate"_s}}) {
            QProcess refused;
            refused.start(QStringLiteral(LINNET_TEST), arguments);
            QVERIFY(refused.waitForFinished(30000));
            QCOMPARE(refused.exitCode(), 2);
            QVERIFY(refused.readAllStandardError().contains("usage: linnet-test"));
        }
    }
};

QTEST_MAIN(TestCommandLine)
#include "tst_command_line.moc"
