#include "test_codes/window/test_codes_window.h"

#include "base/csv_field.h"
#include "scan_log/model/visible_bytes.h"
#include "test_codes/model/scan_verdict.h"
#include "test_codes/symbols/pdf_file.h"
#include "test_codes/symbols/symbol.h"
#include "test_codes/symbols/test_sheet.h"
#include "test_codes/window/symbol_view.h"
#include "test_codes/window/tally_view.h"
#include "test_codes/window/test_codes_texts.h"
#include "ui/accessible_splitter.h"
#include "ui/accessible_window.h"
#include "ui/elided_label.h"
#include "ui/file_chooser.h"
#include "ui/prompts.h"

#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QStandardPaths>
#include <QStyle>
#include <QTableWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QVBoxLayout>

namespace test_codes {

namespace {

enum Column { SymbologyColumn, ContentColumn, ResultColumn, CatchesColumn, ColumnCount };

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString visible(std::string_view bytes) {
    return QString::fromStdString(scan_log::visibleForm(bytes));
}

// Each verdict's colour and icon; the word in the cell says it too, so the colour is never
// the only sign.
QColor colourOf(VerdictKind kind) {
    switch (kind) {
    case VerdictKind::Pass:
        return {0xC8, 0xF0, 0xC8};
    case VerdictKind::PassWithDifferences:
        return {0xFF, 0xEC, 0xA8};
    case VerdictKind::Fail:
        break;
    }
    return {0xF8, 0xC4, 0xC4};
}

QStyle::StandardPixmap iconOf(VerdictKind kind) {
    switch (kind) {
    case VerdictKind::Pass:
        return QStyle::SP_DialogApplyButton;
    case VerdictKind::PassWithDifferences:
        return QStyle::SP_MessageBoxWarning;
    case VerdictKind::Fail:
        break;
    }
    return QStyle::SP_MessageBoxCritical;
}

QString documentsPath(const QString& name) {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(name);
}

} // namespace

TestCodesWindow::TestCodesWindow(ui::FileChooser& files, ui::Prompts& prompts, QWidget* parent)
    : QWidget(parent, Qt::Window), files_(files), prompts_(prompts) {
    ui::announceAsWindow(this);
    setObjectName(QStringLiteral("TestCodes"));
    setWindowTitle(QStringLiteral("Test Codes"));
    buildTable();
    // The code beneath the table, across the whole window: the longest 1D codes need over a
    // thousand pixels at three a module.
    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(table_);
    splitter->addWidget(buildSide());
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    splitter->setObjectName(QStringLiteral("codeSplitter"));
    ui::nameSplitterHandles(splitter,
                            QStringLiteral("Divider between the codes and the code shown"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("setupSummary"));
    summary_->setTextFormat(Qt::PlainText);
    summary_->setWordWrap(true);
    // Wrapped to the window's width, never widening it.
    summary_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary_->setAccessibleName(QStringLiteral("What the scanner appears to be set to"));
    // The name stays fixed; what it says is the description, kept with the text.
    tally_ = new TallyView(this);
    layout->addWidget(tally_);
    layout->addWidget(summary_);
    layout->addWidget(buildButtons());
    judging_.setSingleShot(true);
    judging_.setInterval(0);
    connect(&judging_, &QTimer::timeout, this, &TestCodesWindow::judgeWaiting);
    clearResults();
    table_->selectRow(0);
    resize(1200, 760);
}

TestCodesWindow::~TestCodesWindow() = default;

void TestCodesWindow::buildTable() {
    table_ = new QTableWidget(int(testCodes().size()), ColumnCount, this);
    table_->setObjectName(QStringLiteral("codeTable"));
    table_->setAccessibleName(QStringLiteral("Test codes and results"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Symbology"), QStringLiteral("Content"),
                                       QStringLiteral("Result"), QStringLiteral("Checks for")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->verticalHeader()->setVisible(false);
    for (int row = 0; row < table_->rowCount(); ++row) {
        const TestCode& code = testCodes()[std::size_t(row)];
        const QString content = visible(code.content);
        table_->setItem(row, SymbologyColumn, new QTableWidgetItem(latin1(code.name)));
        auto* contentItem = new QTableWidgetItem(content);
        contentItem->setToolTip(content.toHtmlEscaped().prepend(QStringLiteral("<qt>")));
        table_->setItem(row, ContentColumn, contentItem);
        table_->setItem(row, ResultColumn, new QTableWidgetItem);
        table_->setItem(row, CatchesColumn, new QTableWidgetItem(latin1(code.catches)));
    }
    table_->horizontalHeader()->setSectionResizeMode(SymbologyColumn,
                                                     QHeaderView::ResizeToContents);
    // The result takes the width there is (its whole text is in its tooltip); the other
    // columns keep theirs.
    table_->setColumnWidth(ContentColumn, 200);
    table_->setColumnWidth(CatchesColumn, 220);
    table_->horizontalHeader()->setSectionResizeMode(ResultColumn, QHeaderView::Stretch);
    table_->horizontalHeader()->setStretchLastSection(false);
    connect(table_, &QTableWidget::currentCellChanged, this, [this](int row) { showCode(row); });
}

QWidget* TestCodesWindow::buildSide() {
    auto* side = new QWidget(this);
    auto* layout = new QVBoxLayout(side);
    symbol_ = new SymbolView(side);
    symbol_->setObjectName(QStringLiteral("symbolView"));
    symbol_->setAccessibleName(QStringLiteral("The code to scan"));
    // One line each, however long the scan: the whole text is in the tooltip.
    shownName_ = new ui::ElidedLabel(side);
    shownName_->setObjectName(QStringLiteral("shownCode"));
    lastScan_ = new ui::ElidedLabel(side);
    lastScan_->setObjectName(QStringLiteral("lastScan"));
    lastScan_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(symbol_, 1);
    layout->addWidget(shownName_);
    layout->addWidget(lastScan_);
    return side;
}

QWidget* TestCodesWindow::buildButtons() {
    auto* buttons = new QWidget(this);
    // Two rows, the sheet's and the results', so that the window can be as narrow as the space
    // beside the main window.
    auto* rows = new QVBoxLayout(buttons);
    rows->setContentsMargins(0, 0, 0, 0);
    auto* sheetRow = new QHBoxLayout;
    auto* resultsRow = new QHBoxLayout;
    rows->addLayout(sheetRow);
    rows->addLayout(resultsRow);
    QHBoxLayout* layout = sheetRow;
    auto addButton = [buttons, &layout](const char* name, const QString& caption,
                                        const QString& tip) {
        auto* button = new QPushButton(caption, buttons);
        button->setObjectName(QString::fromLatin1(name));
        button->setToolTip(tip);
        layout->addWidget(button);
        return button;
    };
    QPushButton* print = addButton("printButton", QStringLiteral("&Print Sheet..."),
                                   QStringLiteral("Prints every code with its content, to scan "
                                                  "from paper"));
    QPushButton* sheet = addButton("saveSheetButton", QStringLiteral("Save Sheet as P&DF..."),
                                   QStringLiteral("Writes the sheet of codes as a PDF file"));
    sheetRow->addStretch();
    layout = resultsRow;
    QPushButton* csv = addButton("saveCsvButton", QStringLiteral("Save Results as &CSV..."),
                                 QStringLiteral("Writes each code with its result"));
    QPushButton* report = addButton("saveReportButton", QStringLiteral("Save &Report as PDF..."),
                                    QStringLiteral("Writes the results and the summary as a "
                                                   "short PDF report"));
    layout->addStretch();
    QPushButton* clear = addButton("clearButton", QStringLiteral("C&lear Results"),
                                   QStringLiteral("Forgets every result and starts again"));
    connect(print, &QPushButton::clicked, this, &TestCodesWindow::printSheet);
    connect(sheet, &QPushButton::clicked, this, &TestCodesWindow::saveSheet);
    connect(csv, &QPushButton::clicked, this, &TestCodesWindow::saveCsv);
    connect(report, &QPushButton::clicked, this, &TestCodesWindow::saveReport);
    connect(clear, &QPushButton::clicked, this, &TestCodesWindow::clearResults);
    return buttons;
}

std::optional<std::size_t> TestCodesWindow::shownCode() const {
    const int row = table_->currentRow();
    if (row < 0)
        return std::nullopt;
    return std::size_t(row);
}

void TestCodesWindow::showCode(int row) {
    if (row < 0 || row >= int(testCodes().size())) {
        symbol_->setSymbol(std::nullopt);
        shownName_->setFullText({});
        return;
    }
    const TestCode& code = testCodes()[std::size_t(row)];
    auto symbol = Symbol::encode(code);
    symbol_->setSymbol(symbol ? std::optional(std::move(symbol.value())) : std::nullopt);
    shownName_->setFullText(
        symbol ? QStringLiteral("%1: %2").arg(latin1(code.name), visible(code.content))
               : QStringLiteral("%1 cannot be drawn: %2")
                     .arg(latin1(code.name), symbol.error().message));
}

void TestCodesWindow::takeScan(const ReceivedScan& scan) {
    if (waitingBytes_ + scan.bytes.size() > MaxWaitingBytes) {
        ++notJudged_;
        return;
    }
    waitingBytes_ += scan.bytes.size();
    waiting_.push_back(scan);
    if (!judging_.isActive())
        judging_.start();
}

void TestCodesWindow::judgeWaiting() {
    std::size_t scans = 0;
    std::size_t bytes = 0;
    while (!waiting_.empty() && scans < SliceScans && bytes < SliceBytes) {
        ReceivedScan scan = std::move(waiting_.front());
        waiting_.pop_front();
        waitingBytes_ -= scan.bytes.size();
        bytes += scan.bytes.size();
        ++scans;
        judge(scan);
    }
    if (!waiting_.empty())
        judging_.start();
    // Once a slice: the summary reads every scan it keeps.
    showSetup();
    lastScan_->setFullText(lastScanText_);
}

void TestCodesWindow::showSetup() {
    QString summary = QString::fromStdString(setupSummary(judged_));
    if (notJudged_ > 0)
        summary += u' ' + notJudgedText(notJudged_);
    const std::vector<std::string> advice = setupAdvice(judged_);
    if (!advice.empty()) {
        summary += u'\n' + adviceHeadingText();
        for (const std::string& line : advice)
            summary += QStringLiteral("\n- ") + QString::fromStdString(line);
    }
    showSummary(summary);
    tally_->showTally(tallyOf(judged_, testCodes().size()));
}

void TestCodesWindow::judge(const ReceivedScan& scan) {
    const Match match = matchScan(testCodes(), scan.bytes, shownCode(),
                                  scan.typed ? Arrival::Characters : Arrival::Bytes, framing_);
    judged_.push_back({match.verdict, scan.terminator, scan.gapMs,
                       scan.bytes.size() + scan_log::terminatorLength(scan.terminator),
                       scan.durationMs, match.code});
    // The oldest quarter leaves at once, so that a flood moves the list seldom.
    if (judged_.size() > MaxJudged + MaxJudged / 4)
        judged_.erase(judged_.begin(), judged_.begin() + std::ptrdiff_t(MaxJudged / 4));
    framing_ = learnedFraming(judged_);
    const QString verdict = QString::fromStdString(match.verdict.text());
    if (!match.code) {
        lastScanText_ = noScanMatchedText(verdict);
        return;
    }
    lastScanText_ = lastScanText(latin1(testCodes()[*match.code].name), verdict);
    showVerdict(*match.code, match.verdict);
    // A pass moves on to the next code, so a person can scan the list in turn.
    if (match.verdict.kind != VerdictKind::Fail && shownCode() == match.code &&
        int(*match.code) + 1 < table_->rowCount())
        table_->selectRow(int(*match.code) + 1);
}

void TestCodesWindow::setPortOpen(bool open) {
    portOpen_ = open;
    if (judged_.empty() && waiting_.empty()) {
        lastScanText_ = noScanYetText(portOpen_);
        lastScan_->setFullText(lastScanText_);
    }
}

void TestCodesWindow::showVerdict(std::size_t code, const Verdict& verdict) {
    QTableWidgetItem* item = table_->item(int(code), ResultColumn);
    const QString text = QString::fromStdString(verdict.text());
    item->setText(text);
    item->setToolTip(text.toHtmlEscaped().prepend(QStringLiteral("<qt>")));
    item->setIcon(style()->standardIcon(iconOf(verdict.kind)));
    item->setBackground(colourOf(verdict.kind));
    item->setForeground(Qt::black);
}

void TestCodesWindow::clearResults() {
    judged_.clear();
    waiting_.clear();
    waitingBytes_ = 0;
    notJudged_ = 0;
    for (int row = 0; row < table_->rowCount(); ++row) {
        QTableWidgetItem* item = table_->item(row, ResultColumn);
        item->setText({});
        item->setToolTip({});
        item->setIcon({});
        item->setData(Qt::BackgroundRole, {});
        item->setData(Qt::ForegroundRole, {});
    }
    framing_ = {};
    lastScanText_ = noScanYetText(portOpen_);
    lastScan_->setFullText(lastScanText_);
    showSetup();
}

void TestCodesWindow::showSummary(const QString& text) {
    summary_->setText(text);
    summary_->setAccessibleDescription(text);
}

QString TestCodesWindow::askFile(const QString& caption, const QString& name,
                                 const QString& filter) {
    return files_.saveFileName(this, caption, documentsPath(name), filter, nullptr);
}

void TestCodesWindow::saveCsv() {
    const QString path =
        askFile(QStringLiteral("Save Results as CSV"), QStringLiteral("test-codes.csv"),
                QStringLiteral("Comma-separated values (*.csv)"));
    if (path.isEmpty())
        return;
    QByteArray csv;
    for (int row = -1; row < table_->rowCount(); ++row) {
        QStringList fields;
        for (int column : {SymbologyColumn, ContentColumn, ResultColumn})
            fields << base::csvField(row < 0 ? table_->horizontalHeaderItem(column)->text()
                                             : table_->item(row, column)->text());
        csv += fields.join(u',').toUtf8() + "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        prompts_.warn(resultsNotSavedText(QStringLiteral("results"), path, file.errorString()));
}

void TestCodesWindow::saveReport() {
    const QString path =
        askFile(QStringLiteral("Save Report as PDF"), QStringLiteral("test-codes-report.pdf"),
                QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    // Built through the cursor, as plain text: scans from outside are never taken for markup.
    QTextDocument report;
    QTextCursor cursor(&report);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral("Linnet-Test: test codes report\n"), bold);
    cursor.insertText(QDateTime::currentDateTime().toString(Qt::ISODate) + u'\n');
    cursor.insertText(summary_->text() + u'\n');
    QTextTable* rows = cursor.insertTable(table_->rowCount() + 1, 3);
    for (int row = -1; row < table_->rowCount(); ++row) {
        for (int column : {SymbologyColumn, ContentColumn, ResultColumn}) {
            QTextCursor cell = rows->cellAt(row + 1, column).firstCursorPosition();
            if (row < 0)
                cell.insertText(table_->horizontalHeaderItem(column)->text(), bold);
            else
                cell.insertText(table_->item(row, column)->text());
        }
    }
    const base::Status<QString> written = writePdfFile(path, [&report](QPdfWriter& writer) {
        report.print(&writer);
        return true;
    });
    if (!written)
        prompts_.warn(resultsNotSavedText(QStringLiteral("report"), path, written.error()));
}

void TestCodesWindow::saveSheet() {
    const QString path = askFile(QStringLiteral("Save Sheet as PDF"),
                                 QStringLiteral("test-codes.pdf"), QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    if (const auto written = writeTestSheet(path); !written)
        prompts_.warn(sheetNotWrittenText(written.error()));
}

void TestCodesWindow::printSheet() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (const auto painted = paintTestSheet(printer); !painted)
        prompts_.warn(sheetNotWrittenText(painted.error()));
}

} // namespace test_codes
