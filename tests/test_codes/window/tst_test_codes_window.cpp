#include "checked_build.h"
#include "fake_file_chooser.h"
#include "file_size_limit.h"
#include "form_harness.h"
#include "scan_log/window/scan_log_window.h"
#include "test_codes/model/test_code.h"
#include "test_codes/window/symbol_view.h"
#include "test_codes/window/test_codes_window.h"
#include "ui/elided_label.h"
#include "zxing_reader.h"

#include <QAccessible>
#include <QAction>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSplitterHandle>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace ui;
using namespace main_window;

using namespace Qt::Literals::StringLiterals;
using namespace test_codes;

namespace {

struct CodesHarness : FormHarness {
    FakeFileChooser* files;
    TestCodesWindow* window = nullptr;
    QTableWidget* table = nullptr;

    CodesHarness() {
        auto chooser = std::make_unique<FakeFileChooser>();
        files = chooser.get();
        form->setFileChooser(std::move(chooser));
        port->forceOpen(true);
        choose(child<QAction>(u"MTestCodes"_s));
        window = form->testCodesWindow();
        table = window->findChild<QTableWidget*>(u"codeTable"_s);
    }
    // A scan as the scanner sends it, with its terminator, through the port.
    void scan(const QByteArray& bytes) { port->receive(QString::fromLatin1(bytes + "\r\n")); }
    QString result(const char* name) const { return table->item(row(name), 2)->text(); }
    static int row(const char* name) {
        for (std::size_t i = 0; i < testCodes().size(); ++i) {
            if (testCodes()[i].name == name)
                return int(i);
        }
        qFatal("no test code %s", name);
    }
    QString label(const char* name) const {
        auto* found = window->findChild<QLabel*>(QString::fromLatin1(name));
        if (auto* elided = qobject_cast<ui::ElidedLabel*>(found))
            return elided->fullText();
        return found->text();
    }
};

} // namespace

class TestTestCodesWindow : public QObject {
    Q_OBJECT

private slots:
    void listsTheCodesWithWhatTheyShouldSend() {
        CodesHarness h;
        QVERIFY(h.window->isVisible());
        QCOMPARE(h.table->rowCount(), int(testCodes().size()));
        QCOMPARE(h.table->item(h.row("GS1-128"), 1)->text(),
                 u"010952123454321310ABC123<GS>2112345"_s);
        QCOMPARE(h.table->item(h.row("QR Code"), 1)->text(),
                 u"Linnet QR: Gr<f6><df>e 42, caf<e9>, 0042"_s);
    }

    // A screen reader hears the summary as it changes, and the splitter's handles as grips with a
    // name, not as "unknown".
    void readAloud() {
        CodesHarness h;
        auto* summary = h.window->findChild<QLabel*>(u"setupSummary"_s);
        h.scan("4006381333931");
        QVERIFY(!summary->text().isEmpty());
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(summary);
        QCOMPARE(read->text(QAccessible::Description), summary->text());
        const QList<QSplitterHandle*> handles = h.window->findChildren<QSplitterHandle*>();
        QVERIFY(!handles.isEmpty());
        for (QSplitterHandle* handle : handles) {
            QAccessibleInterface* grip = QAccessible::queryAccessibleInterface(handle);
            QCOMPARE(grip->role(), QAccessible::Grip);
            QVERIFY(!grip->text(QAccessible::Name).isEmpty());
        }
    }

    // A scan of thousands of characters leaves the window as wide as it was: the verdict names
    // it by its start and length, the label shows what fits, the tooltip the whole.
    void aLongScanWidensNothing() {
        CodesHarness h;
        QCoreApplication::processEvents();
        const int width = h.window->width();
        const int least = h.window->minimumSizeHint().width();
        h.scan(QByteArray(5000, 'Q') + " " + QByteArray(5000, 'R'));
        auto* last = h.window->findChild<ui::ElidedLabel*>(u"lastScan"_s);
        QTRY_VERIFY(last->fullText().contains(u"(10001 bytes)"_s));
        QCoreApplication::processEvents();
        QCOMPARE(h.window->width(), width);
        QCOMPARE(h.window->minimumSizeHint().width(), least);
        QVERIFY(last->text().size() < 400);
        QVERIFY(last->fontMetrics().horizontalAdvance(last->text()) <= last->width());
        QVERIFY(last->toolTip().contains(last->fullText().toHtmlEscaped()));
    }

    // Each scan is judged against the codes; a pass of the shown code moves on to the next.
    void judgesEveryScan() {
        CodesHarness h;
        QCOMPARE(h.window->shownCode(), std::optional<std::size_t>(0));
        h.scan("4006381333931");
        QTRY_COMPARE(h.result("EAN-13"), u"Pass"_s);
        QCOMPARE(h.window->shownCode(), std::optional<std::size_t>(1));
        QCOMPARE(h.label("lastScan"), u"Last scan: EAN-13: Pass"_s);

        h.scan("]E49638507");
        QTRY_COMPARE(h.result("EAN-8"),
                     u"Pass with differences: symbology identifier ]E4 added; check digit left "
                     "out"_s);
        QVERIFY(!h.table->item(h.row("EAN-8"), 2)->icon().isNull());

        // Read wrong: failed against the code shown, which stays.
        h.scan("036000291453");
        QTRY_COMPARE(h.result("UPC-A").left(5), u"Fail:"_s);
        QCOMPARE(h.window->shownCode(), std::optional(std::size_t(h.row("UPC-A"))));

        // Another code than the one shown is still recognised.
        h.scan("]C1"
               "010952123454321310ABC123\x1D"
               "2112345");
        QTRY_COMPARE(h.result("GS1-128"),
                     u"Pass with differences: symbology identifier ]C1 added"_s);
        QCOMPARE(h.window->shownCode(), std::optional(std::size_t(h.row("UPC-A"))));

        QTRY_VERIFY(
            h.label("setupSummary")
                .startsWith(
                    u"Terminator: CR LF. Prefix: none. Suffix: none. Symbology identifiers: mixed: "
                    "off, on. GS in GS1 codes: sent."_s));

        h.window->findChild<QPushButton*>(u"clearButton"_s)->click();
        QCOMPARE(h.result("EAN-13"), QString());
        QVERIFY(h.label("setupSummary").startsWith(u"No scans yet"_s));
    }

    // The tally is always in sight and heard; a scan like no test code marks no row and says
    // so beside the last scan; nobody is asked to open a port that is open; the result column
    // takes the width the window has.
    void aVerdictThatSaysWhatToDo() {
        CodesHarness h;
        auto* tally = h.window->findChild<QWidget*>(u"TestCodesTally"_s);
        QVERIFY(tally->isVisible());
        QCOMPARE(tally->accessibleName(), u"0 passed, 0 with differences, 0 failed, 18 not "
                                          "scanned"_s);
        QCOMPARE(h.label("lastScan"), u"Last scan: none yet. Scan the code shown."_s);
        h.port->forceOpen(false);
        h.form->showPortState();
        QVERIFY(h.label("lastScan").contains(u"Open the scanner's port"_s));
        h.port->forceOpen(true);
        h.form->showPortState();
        QVERIFY(!h.label("lastScan").contains(u"Open the scanner's port"_s));

        h.scan("\x02"
               "4006381333931\x03");
        QTRY_COMPARE(h.result("EAN-13"), u"Pass with differences: STX (02h) added before the "
                                         "code; ETX (03h) added after it"_s);
        QCOMPARE(tally->accessibleName(), u"0 passed, 1 with differences, 0 failed, 17 not "
                                          "scanned"_s);
        QVERIFY(h.label("setupSummary").contains(u"Prefix: STX (02h). Suffix: ETX (03h)."_s));
        QVERIFY(h.label("setupSummary").contains(u"- The scanner adds the prefix STX (02h)"_s));

        const int shown = int(*h.window->shownCode());
        h.scan("QX7-NOT-A-TEST-CODE-0000");
        QTRY_VERIFY(h.label("lastScan").contains(u"this scan matches no test code"_s));
        QCOMPARE(h.table->item(shown, 2)->text(), QString());
        QCOMPARE(h.table->horizontalHeader()->sectionResizeMode(2), QHeaderView::Stretch);
    }

    // A scanner in keyboard mode, typing into the Scan Log's keyboard field, is judged too.
    void keyboardScansAreJudged() {
        CodesHarness h;
        choose(h.child<QAction>(u"MScanLog"_s));
        auto* field = h.form->scanLogWindow()->findChild<QLineEdit*>(u"KeyboardScan"_s);
        QTest::keyClicks(field, u"4006381333931"_s);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE(h.result("EAN-13"), u"Pass"_s);
    }

    // Every code as the window shows it, grabbed from the screen, decodes with zxing-cpp to its
    // content, at no fewer than three pixels a module.
    void shownCodesDecode() {
        CodesHarness h;
        h.window->resize(1200, 800);
        QTemporaryDir dir;
        auto* view = h.window->findChild<SymbolView*>(u"symbolView"_s);
        QStringList images;
        int smallest = 1000;
        for (int row = 0; row < h.table->rowCount(); ++row) {
            h.table->selectRow(row);
            h.window->layout()->activate();
            const QImage grabbed = view->grab().toImage();
            smallest = std::min(smallest, view->pixelsPerModule());
            images << dir.filePath(u"shown%1.png"_s.arg(row));
            QVERIFY(grabbed.save(images.back()));
        }
        QVERIFY2(smallest >= SymbolView::MinimumPixels, qPrintable(QString::number(smallest)));
        bool ok = false;
        QStringList failed;
        const auto decoded = decodeImages(QStringLiteral(ZXING_DECODE), images, &ok, &failed);
        QVERIFY2(ok, qPrintable(failed.join(u'\n')));
        for (int row = 0; row < h.table->rowCount(); ++row) {
            const TestCode& code = testCodes()[std::size_t(row)];
            const auto found = std::find_if(decoded.begin(), decoded.end(), [&](const auto& d) {
                return d.image == images.at(row) && d.bytes == expectedFromZxing(code);
            });
            QVERIFY2(found != decoded.end(), code.name.data());
        }
    }

    void savesResults() {
        CodesHarness h;
        QTemporaryDir dir;
        h.scan("4006381333931");
        QTRY_COMPARE(h.result("EAN-13"), u"Pass"_s);
        h.files->answer = dir.filePath(u"results.csv"_s);
        h.window->findChild<QPushButton*>(u"saveCsvButton"_s)->click();
        QFile csv(h.files->answer);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.at(0), QByteArray("Symbology,Content,Result\r"));
        QCOMPARE(lines.at(1), QByteArray("EAN-13,4006381333931,Pass\r"));

        h.files->answer = dir.filePath(u"report.pdf"_s);
        h.window->findChild<QPushButton*>(u"saveReportButton"_s)->click();
        QVERIFY(QFileInfo(h.files->answer).size() > 1000);
        QVERIFY(h.prompts->messages().isEmpty());

        // A folder that is not there: said, with what to do.
        h.files->answer = dir.filePath(u"gone/report.pdf"_s);
        h.window->findChild<QPushButton*>(u"saveReportButton"_s)->click();
        QCOMPARE(h.prompts->messages().size(), 1);
        QVERIFY(h.prompts->messages().at(0).text.endsWith(u"Choose another file or folder."_s));
    }

    // A flood of 20,000 short scans never holds the window: the scans wait, and each pass of the
    // event loop judges one slice of them; what waits is bounded in bytes, and the rest are
    // counted and said.
    void aFloodOfScansIsJudgedInSlices() {
        CodesHarness h;
        QString flood;
        for (int i = 0; i < scaledForChecks(20000, 2000); ++i)
            flood += u"12\r\n"_s;
        h.scan(QByteArray()); // the port is open; nothing waits yet
        QTRY_COMPARE(h.window->waiting(), std::size_t(0));
        h.port->receive(flood);
        const std::size_t first = h.window->waiting();
        QVERIFY2(first > TestCodesWindow::SliceScans, qPrintable(QString::number(first)));
        QCoreApplication::processEvents();
        QVERIFY(h.window->waiting() + TestCodesWindow::SliceScans >= first);
        QTRY_COMPARE_WITH_TIMEOUT(h.window->waiting(), std::size_t(0), 60000);
        QCOMPARE(h.window->notJudged(), quint64(0));

        // More than the bound at once: the rest are counted, not kept.
        const QString big = QString(60000, u'7') + u"\r\n"_s;
        QString huge;
        for (int i = 0; i < 100; ++i)
            huge += big;
        h.port->receive(huge);
        QVERIFY(h.window->notJudged() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(h.window->waiting(), std::size_t(0), 60000);
        QVERIFY(h.label("setupSummary").contains(u"were not judged"_s));
    }

    // A disk that fills up: the sheet and the report each say so, and leave no file behind
    // (they left an empty or half file, said nothing).
    void aFullDiskIsSaid() {
        CodesHarness h;
        QTemporaryDir dir;
        const FileSizeLimit fullAt(2048);
        h.files->answer = dir.filePath(u"sheet.pdf"_s);
        h.window->findChild<QPushButton*>(u"saveSheetButton"_s)->click();
        h.files->answer = dir.filePath(u"report.pdf"_s);
        h.window->findChild<QPushButton*>(u"saveReportButton"_s)->click();
        QCOMPARE(h.prompts->messages().size(), 2);
        QVERIFY2(h.prompts->messages().at(0).text.startsWith(u"Cannot write the test sheet to "_s),
                 qPrintable(h.prompts->messages().at(0).text));
        QVERIFY2(h.prompts->messages().at(1).text.startsWith(u"Could not save the report to "_s),
                 qPrintable(h.prompts->messages().at(1).text));
        QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
};

QTEST_MAIN(TestTestCodesWindow)
#include "tst_test_codes_window.moc"
