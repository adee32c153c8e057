#include "scan_log/window/scan_log_window.h"

#include "scan_log/window/keyboard_scan_field.h"
#include "scan_log/window/scan_collector.h"
#include "scan_log/window/scan_log_texts.h"
#include "scan_log/window/scan_pictures.h"
#include "scan_log/window/scan_row_delegate.h"
#include "ui/accessible_splitter.h"
#include "ui/accessible_window.h"
#include "ui/file_chooser.h"
#include "ui/prompts.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace scan_log {

ScanLogWindow::ScanLogWindow(ScanCollector& log, ui::FileChooser& files, ui::Prompts& prompts,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), log_(log), files_(files), prompts_(prompts) {
    ui::announceAsWindow(this);
    setObjectName(QStringLiteral("ScanLog"));
    setWindowTitle(QStringLiteral("Scan Log"));
    resize(900, 560);

    // Everything in rows narrow enough for the window to sit beside the main window on a
    // common screen: the figures in two rows, the buttons and the silence in one, the keyboard
    // field in another.
    QLayout* figures = buildFigures();
    // The pictures above the table, in a splitter: dragged to nothing or unticked, they go.
    pictures_ = new ScanPictures(log_.model(), this);
    buildTable();
    splitter_ = new QSplitter(Qt::Vertical, this);
    splitter_->setObjectName(QStringLiteral("ScanLogSplitter"));
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(pictures_);
    splitter_->addWidget(table_);
    splitter_->setCollapsible(0, true);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    ui::nameSplitterHandles(splitter_, QStringLiteral("Between the pictures and the table"));
    // A screen reader meets the splitter's children in their stacking order: the pictures
    // first, as they are shown.
    pictures_->stackUnder(table_);
    QLayout* buttons = buildButtons();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(figures);
    layout->addWidget(splitter_, 1);
    layout->addLayout(buttons);
    connect(pictures_, &ScanPictures::rowClicked, this, &ScanLogWindow::showRow);
    connect(splitter_, &QSplitter::splitterMoved, this,
            [this] { showPictures_->setChecked(splitter_->sizes().value(0) > 0); });

    connect(silence_, &QSpinBox::valueChanged, &log_, &ScanCollector::setSilenceMs);
    connect(&log_, &ScanCollector::changed, this, [this] {
        if (isVisible())
            showFigures();
    });
    connect(&log_.model(), &QAbstractItemModel::rowsAboutToBeInserted, this,
            &ScanLogWindow::rowsAboutToArrive);
    connect(&log_.model(), &QAbstractItemModel::rowsInserted, this, &ScanLogWindow::rowsArrived);
    connect(&log_.model(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { tellRowsArrived(first, last); });
    showFigures();
}

// The figures above the table, and the silence setting beside them.
QLayout* ScanLogWindow::buildFigures() {
    auto* figures = new QGridLayout;
    // Each figure has a fixed size, wide enough for its longest text: a new text then changes
    // no size, and the window lays nothing out again when the figures change. Three a row.
    int placed = 0;
    auto addFigure = [this, figures, &placed](const char* name, Figure figure) {
        auto* label = new QLabel(widestFigureText(figure), this);
        label->setObjectName(QString::fromLatin1(name));
        label->setToolTip(figureTip(figure));
        label->setFixedSize(label->sizeHint().width() + label->fontMetrics().averageCharWidth(),
                            label->sizeHint().height());
        figures->addWidget(label, placed / 3, placed % 3);
        ++placed;
        return label;
    };
    count_ = addFigure("scanCount", Figure::Scans);
    rate_ = addFigure("scanRate", Figure::PerMinute);
    shortest_ = addFigure("shortestGap", Figure::ShortestGap);
    longest_ = addFigure("longestGap", Figure::LongestGap);
    problems_ = addFigure("problemCount", Figure::Problems);
    dropped_ = addFigure("droppedCount", Figure::Dropped);
    figures->setColumnStretch(3, 1);
    silenceLabel_ = new QLabel(QStringLiteral("&Silence ends a scan after"), this);
    QLabel* silenceLabel = silenceLabel_;
    silence_ = new QSpinBox(this);
    silence_->setObjectName(QStringLiteral("silence"));
    silence_->setRange(5, 2000);
    silence_->setSuffix(QStringLiteral(" ms"));
    silence_->setValue(log_.silenceMs());
    silence_->setToolTip(silenceTip());
    silenceLabel->setBuddy(silence_);
    return figures;
}

void ScanLogWindow::buildTable() {
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("table"));
    table_->setAccessibleName(QStringLiteral("Scans"));
    table_->setModel(&log_.model());
    table_->setItemDelegate(new ScanRowDelegate(table_));
    // Rows of alternating colours part the scans; grid lines would only add to every repaint.
    table_->setShowGrid(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setWordWrap(false);
    table_->setAlternatingRowColors(true);
    // Every row the same height, set once: the view never measures rows, however many there are.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    // No., Time, Source, Gap, Duration, Bytes, Data, Terminator, Symbology, Verdict, Check, GS1.
    static constexpr std::array widths{60, 90, 250, 70, 90, 55, 260, 75, 140, 70, 160, 300};
    static_assert(widths.size() == ScanLogModel::ColumnCount);
    for (int column = 0; column < ScanLogModel::ColumnCount; ++column)
        table_->setColumnWidth(column, widths[std::size_t(column)]);
}

// Clear, Copy (also Ctrl+C) and Save As CSV below the table.
QLayout* ScanLogWindow::buildButtons() {
    auto* buttons = new QHBoxLayout;
    auto addButton = [this, buttons](const char* name, const QString& caption) {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        buttons->addWidget(button);
        return button;
    };
    QPushButton* clear = addButton("clearButton", QStringLiteral("C&lear"));
    QPushButton* copy = addButton("copyButton", QStringLiteral("&Copy"));
    QPushButton* save = addButton("saveCsvButton", QStringLiteral("Save &As CSV..."));
    showPictures_ = new QCheckBox(QStringLiteral("&Pictures"), this);
    showPictures_->setObjectName(QStringLiteral("ShowPictures"));
    showPictures_->setToolTip(showPicturesTip());
    showPictures_->setChecked(true);
    connect(showPictures_, &QCheckBox::toggled, this, [this](bool shown) {
        pictures_->setVisible(shown);
        if (shown && splitter_->sizes().value(0) == 0)
            splitter_->setSizes({pictures_->sizeHint().height(), table_->height()});
    });
    buttons->addWidget(showPictures_);
    buttons->addStretch();
    buttons->addWidget(silenceLabel_);
    buttons->addWidget(silence_);
    // Scans from a scanner in keyboard mode, typed into a field of their own.
    auto* keyboardRow = new QHBoxLayout;
    auto* keyboardLabel = new QLabel(keyboardFieldLabel(), this);
    auto* keyboard = new KeyboardScanField(this);
    keyboard->setMinimumWidth(220);
    keyboardLabel->setBuddy(keyboard);
    keyboardRow->addWidget(keyboardLabel);
    keyboardRow->addWidget(keyboard, 1);
    auto* rows = new QVBoxLayout;
    rows->addLayout(buttons);
    rows->addLayout(keyboardRow);
    connect(keyboard, &KeyboardScanField::keyTyped, &log_, &ScanCollector::receiveKeys);
    connect(&log_, &ScanCollector::keyboardScanEnded, keyboard, &KeyboardScanField::clearScan);
    copy->setToolTip(copyTip());

    auto* copyAction = new QAction(this);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(copyAction);

    connect(clear, &QPushButton::clicked, this, &ScanLogWindow::clearLog);
    connect(copy, &QPushButton::clicked, this, &ScanLogWindow::copySelection);
    connect(copyAction, &QAction::triggered, this, &ScanLogWindow::copySelection);
    connect(save, &QPushButton::clicked, this, &ScanLogWindow::saveCsv);
    return rows;
}

void ScanLogWindow::showEvent(QShowEvent* event) {
    showFigures();
    QWidget::showEvent(event);
}

void ScanLogWindow::showFigures() {
    const ScanStats& stats = log_.stats();
    const quint64 dropped = log_.model().dropped();
    count_->setText(figureText(Figure::Scans, stats, dropped));
    rate_->setText(figureText(Figure::PerMinute, stats, dropped));
    shortest_->setText(figureText(Figure::ShortestGap, stats, dropped));
    longest_->setText(figureText(Figure::LongestGap, stats, dropped));
    problems_->setText(figureText(Figure::Problems, stats, dropped));
    dropped_->setText(figureText(Figure::Dropped, stats, dropped));
}

void ScanLogWindow::rowsAboutToArrive() {
    // New rows keep the newest in sight only while the user has not scrolled away from it.
    const QScrollBar* bar = table_->verticalScrollBar();
    followEnd_ = bar->value() >= bar->maximum();
}

void ScanLogWindow::rowsArrived() {
    if (followEnd_ && isVisible())
        table_->scrollToBottom();
}

void ScanLogWindow::tellRowsArrived(int first, int last) {
    if (!QAccessible::isActive() || !isVisible())
        return;
    QAccessibleTableModelChangeEvent event(table_, QAccessibleTableModelChangeEvent::RowsInserted);
    event.setFirstRow(first);
    event.setLastRow(last);
    event.setFirstColumn(0);
    event.setLastColumn(ScanLogModel::ColumnCount - 1);
    QAccessible::updateAccessibility(&event);
}

void ScanLogWindow::showRow(int row) {
    if (row < 0 || row >= log_.model().rowCount())
        return;
    const QModelIndex index = log_.model().index(row, ScanLogModel::Number);
    // Through the selection model: the view's selectRow() would read the click's modifiers.
    table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
    table_->scrollTo(index, QAbstractItemView::PositionAtCenter);
    table_->setFocus(Qt::MouseFocusReason);
}

void ScanLogWindow::clearLog() {
    log_.clear();
}

void ScanLogWindow::copySelection() {
    QList<int> rows;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty())
        return;
    QApplication::clipboard()->setText(log_.model().tabSeparated(rows));
}

void ScanLogWindow::saveCsv() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = files_.saveFileName(
        this, QStringLiteral("Save As CSV"), QDir(folder).filePath(QStringLiteral("scan-log.csv")),
        QStringLiteral("Comma-separated values (*.csv)"), nullptr);
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) &&
                       log_.model().writeCsv([&file](const QByteArray& line) {
                           return file.write(line) == line.size();
                       }) &&
                       file.commit();
    if (!saved)
        prompts_.warn(csvNotSavedText(path, file.errorString()));
}

} // namespace scan_log
