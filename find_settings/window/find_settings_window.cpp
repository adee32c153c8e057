#include "find_settings/window/find_settings_window.h"

#include "find_settings/window/find_settings_texts.h"
#include "find_settings/window/tried_settings_model.h"
#include "port/port_control.h"
#include "test_codes/model/scan_verdict.h"
#include "test_codes/model/test_code.h"
#include "ui/accessible_window.h"
#include "ui/failure_text.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace find_settings {

namespace {

// Often enough that a scan's end is seen within a few tens of milliseconds.
constexpr int TickMs = 25;
// After this much silence the window says what to check, before the search gives up.
constexpr qint64 NothingYetMs = 5000;

QLabel* plainLabel(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

FindSettingsWindow::FindSettingsWindow(port::PortControl& port, base::MonotonicClock clock,
                                       QWidget* parent)
    : QWidget(parent, Qt::Window), port_(port), clock_(std::move(clock)) {
    ui::announceAsWindow(this);
    setObjectName(QStringLiteral("FindSettings"));
    setWindowTitle(QStringLiteral("Find Settings"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plainLabel(introText(), QStringLiteral("FindIntro"), this));

    auto* choiceRow = new QHBoxLayout;
    auto* choiceLabel = new QLabel(scanChoiceLabel(), this);
    scanChoice_ = new QComboBox(this);
    scanChoice_->setObjectName(QStringLiteral("FindScanChoice"));
    scanChoice_->addItem(anyCodeChoice());
    for (const test_codes::TestCode& code : test_codes::testCodes())
        scanChoice_->addItem(
            testCodeChoice(QString::fromLatin1(code.name.data(), qsizetype(code.name.size()))));
    scanChoice_->setToolTip(scanChoiceTip());
    choiceLabel->setBuddy(scanChoice_);
    choiceRow->addWidget(choiceLabel);
    choiceRow->addWidget(scanChoice_, 1);
    layout->addLayout(choiceRow);

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("FindProgress"));
    progress_->setAccessibleName(progressName());
    progress_->setRange(0, int(candidateFormats().size()));
    progress_->setValue(0);
    progress_->setFormat(progressBeforeText());
    layout->addWidget(progress_);
    status_ = plainLabel(QString(), QStringLiteral("FindStatus"), this);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);

    // The finding in a sentence with its evidence, and every setting tried in the table below.
    report_ = plainLabel(QString(), QStringLiteral("FindReport"), this);
    report_->setAccessibleName(reportName());
    report_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(report_);
    report_->hide();

    triedModel_ = new TriedSettingsModel(this);
    tried_ = new QTableView(this);
    tried_->setObjectName(QStringLiteral("TriedSettings"));
    tried_->setAccessibleName(triedSettingsName());
    tried_->setModel(triedModel_);
    tried_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tried_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tried_->setShowGrid(false);
    tried_->setAlternatingRowColors(true);
    tried_->setWordWrap(false);
    tried_->verticalHeader()->hide();
    tried_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tried_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    tried_->horizontalHeader()->setStretchLastSection(true);
    tried_->setColumnWidth(TriedSettingsModel::Setting,
                           fontMetrics().horizontalAdvance(QStringLiteral("115200 8N1__")));
    tried_->setColumnWidth(TriedSettingsModel::Result,
                           fontMetrics().horizontalAdvance(QStringLiteral("line errors_____")) +
                               20);
    tried_->setColumnWidth(TriedSettingsModel::Scans,
                           fontMetrics().horizontalAdvance(QStringLiteral("Scans___")));
    tried_->setColumnWidth(TriedSettingsModel::Characters,
                           fontMetrics().horizontalAdvance(QStringLiteral("Characters___")));
    auto* copy = new QAction(tried_);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    tried_->addAction(copy);
    connect(copy, &QAction::triggered, this, &FindSettingsWindow::copyTried);
    layout->addWidget(tried_, 1);

    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("&Start"), this);
    start_->setObjectName(QStringLiteral("FindStart"));
    cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel_->setObjectName(QStringLiteral("FindCancel"));
    cancel_->setEnabled(false);
    applyButton_ = new QPushButton(QStringLiteral("&Apply"), this);
    applyButton_->setObjectName(QStringLiteral("FindApply"));
    applyButton_->setEnabled(false);
    applyButton_->setToolTip(applyTip());
    buttons->addStretch(1);
    buttons->addWidget(start_);
    buttons->addWidget(cancel_);
    buttons->addWidget(applyButton_);
    layout->addLayout(buttons);
    resize(640, 480);

    connect(start_, &QPushButton::clicked, this, [this] { start(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { cancel(); });
    connect(applyButton_, &QPushButton::clicked, this, [this] { applyFound(); });
    timer_.setInterval(TickMs);
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });

    // Both taps come from inside the port's work: they only hand the news to the search, with the
    // time it arrived at the port (the window's thread may have been busy meanwhile).
    connect(&port_, &port::PortControl::bytesArrived, this,
            [this](const QByteArray& bytes, qint64 msecs) {
                if (searching())
                    search_->received(
                        std::string_view(bytes.constData(), std::size_t(bytes.size())), msecs);
            });
    connect(&port_, &port::PortControl::lineErrorArrived, this, [this](qint16 code, qint64 msecs) {
        if (!searching())
            return;
        search_->lineError(code == port::CommEventCode::Break      ? LineError::Break
                           : code == port::CommEventCode::RxParity ? LineError::Parity
                                                                   : LineError::Framing,
                           msecs);
    });
}

FindSettingsWindow::~FindSettingsWindow() = default;

void FindSettingsWindow::start() {
    if (searching())
        return;
    found_.reset();
    applyButton_->setEnabled(false);
    report_->clear();
    report_->hide();
    triedModel_->clear();
    shownScans_ = shownNumber_ = -1;
    if (const QString noLine = lineCheck_ ? lineCheck_() : QString(); !noLine.isEmpty()) {
        status_->setText(noLine);
        return;
    }
    if (!port_.PortOpen() && !(openPort_ && openPort_() && port_.PortOpen())) {
        status_->setText(notOpenText());
        return;
    }
    before_ = port_.Settings();
    searchedPort_ = port_.CommPort();
    SettingsSearch::Expected expected;
    if (const int chosen = scanChoice_->currentIndex(); chosen > 0) {
        const test_codes::TestCode code = test_codes::testCodes()[std::size_t(chosen - 1)];
        expected = [code](std::string_view scan) {
            return test_codes::judge(code, scan).kind != test_codes::VerdictKind::Fail;
        };
    }
    search_.emplace(searchOrder(formatOfSettings(before_)), std::move(expected), SearchPace{},
                    clock_());
    QString failure;
    if (settingsText(search_->current()) != before_ &&
        !setPortTo(settingsText(search_->current()), failure)) {
        stop(searchStoppedText(failure));
        return;
    }
    progress_->setRange(0, search_->settingsTotal());
    start_->setEnabled(false);
    cancel_->setEnabled(true);
    scanChoice_->setEnabled(false);
    timer_.start();
    showProgress();
}

void FindSettingsWindow::tick() {
    if (!searching())
        return;
    if (!port_.PortOpen()) {
        stop(portClosedText());
        return;
    }
    // Port Setting's OK (or anything else) changed the port under the search: the person's
    // choice stands, and the search, which can no longer say what it listens to, ends.
    QString now;
    QString ignored;
    ui::trapStep(ignored, [&] { now = port_.Settings(); });
    if (now != settingsText(search_->current()) || port_.CommPort() != searchedPort_) {
        search_.reset();
        before_ = now;
        stop(changedByHandText(port_.CommPort() != searchedPort_ ? QString() : now));
        return;
    }
    // A quiet seen while bytes that arrived meanwhile wait to be handed over (the window's thread
    // was busy) is no quiet: the next tick looks again, once they have come with their times.
    if (search_->quietForMs(clock_()) >= SearchPace{}.scanQuietMs && port_.WaitingInDevice() > 0)
        return showProgress();
    const bool moved = search_->tick(clock_());
    if (const auto& outcome = search_->outcome()) {
        if (outcome->kind == SearchOutcome::Kind::Found)
            found_ = outcome->found->format;
        stop(outcomeText(*outcome));
        return;
    }
    QString failure;
    if (moved && !setPortTo(settingsText(search_->current()), failure)) {
        stop(searchStoppedText(failure));
        return;
    }
    showProgress();
}

void FindSettingsWindow::showTried(bool searching) {
    const std::vector<TriedSetting>& tried =
        search_->outcome() ? search_->outcome()->tried : search_->tried();
    triedModel_->setRows(tried, found_, search_->current(), searching);
    if (const std::optional<int> found = triedModel_->foundRow())
        tried_->scrollTo(triedModel_->index(*found, 0));
    else if (searching)
        tried_->scrollToBottom();
}

void FindSettingsWindow::copyTried() {
    QList<int> rows;
    for (const QModelIndex& index : tried_->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(triedModel_->tabSeparated(rows));
}

void FindSettingsWindow::showProgress() {
    if (search_->scansHeard() != shownScans_ || search_->currentNumber() != shownNumber_) {
        shownScans_ = search_->scansHeard();
        shownNumber_ = search_->currentNumber();
        showTried(true);
    }
    // One count: the setting listened to, the same in the bar and in the status.
    progress_->setFormat(progressDuringText());
    progress_->setValue(search_->currentNumber());
    const qint64 quiet = search_->quietForMs(clock_());
    if (quiet >= NothingYetMs)
        status_->setText(nothingYetText(quiet / 1000));
    else
        status_->setText(listeningText(search_->current(), search_->currentNumber(),
                                       search_->settingsTotal(), search_->scansHeard()));
}

void FindSettingsWindow::cancel() {
    if (searching())
        stop(cancelledText(before_));
}

void FindSettingsWindow::stop(const QString& text) {
    timer_.stop();
    if (search_) {
        progress_->setFormat(QStringLiteral("%v of %m settings tried"));
        progress_->setValue(search_->settingsTried());
        showTried(false);
    }
    search_.reset();
    QString failure;
    QString report = text;
    if (!setPortTo(before_, failure))
        report += QStringLiteral("\n\n") + failure;
    report_->setText(report);
    status_->setText(report.section(QLatin1Char('\n'), 0, 0));
    // The finding is said once: the report shows only when it says more than the status.
    report_->setVisible(report != status_->text());
    start_->setEnabled(true);
    cancel_->setEnabled(false);
    scanChoice_->setEnabled(true);
    applyButton_->setEnabled(found_.has_value());
}

bool FindSettingsWindow::setPortTo(const QString& settings, QString& failure) {
    return ui::trapStep(failure, [&] {
        if (port_.Settings() != settings)
            port_.setSettings(settings);
    });
}

void FindSettingsWindow::applyFound() {
    if (!found_ || !apply_)
        return;
    if (apply_(settingsText(*found_)))
        status_->setText(appliedText(*found_));
}

void FindSettingsWindow::hideEvent(QHideEvent* event) {
    // A search nobody watches would leave the port at a setting nobody chose.
    cancel();
    QWidget::hideEvent(event);
}

} // namespace find_settings
