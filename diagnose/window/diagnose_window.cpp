#include "diagnose/window/diagnose_window.h"

#include "base/outside_text.h"
#include "devices/device_registry.h"
#include "devices/hid_devices.h"
#include "devices/key_translator.h"
#include "diagnose/model/diagnosis.h"
#include "diagnose/window/diagnose_texts.h"
#include "diagnose/window/diagnosis_view.h"

#include "ui/accessible_window.h"
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace diagnose {

namespace {

// The one row before the first look has ended.
DiagnosisRow lookingRow() {
    DiagnosisRow row;
    row.status = RowStatus::NotAScanner;
    row.before = row.paragraph = lookingText();
    return row;
}

} // namespace

DiagnoseWindow::DiagnoseWindow(const devices::DeviceRegistry* registry, QWidget* parent)
    : QWidget(parent, Qt::Window), registry_(registry) {
    ui::announceAsWindow(this);
    setObjectName(QStringLiteral("Diagnose"));
    setWindowTitle(QStringLiteral("Diagnose"));
    // A row a device with its state; plain text (names from devices are never taken for markup),
    // copied with Ctrl+C or Copy All, and the udev rule as a block of its own.
    findings_ = new DiagnosisView(this);
    findings_->setObjectName(QStringLiteral("findings"));
    findings_->setAccessibleName(QStringLiteral("What could be a scanner, and what to do"));
    auto* copyAll = new QPushButton(QStringLiteral("&Copy All"), this);
    copyAll->setObjectName(QStringLiteral("CopyFindings"));
    copyAll->setToolTip(QStringLiteral("Puts everything the list says on the clipboard, a "
                                       "paragraph a device"));
    connect(copyAll, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(findingsText_); });
    auto* again = new QPushButton(QStringLiteral("&Look Again"), this);
    again->setObjectName(QStringLiteral("refreshButton"));
    again->setToolTip(QStringLiteral("Lists the devices afresh (it happens by itself when one "
                                     "is plugged in or out)"));
    // The udev rules that let the person read the scanners they may not: copied as they stand.
    copyRule_ = new QPushButton(QStringLiteral("Copy &Rule"), this);
    copyRule_->setObjectName(QStringLiteral("CopyRule"));
    copyRule_->setToolTip(QStringLiteral("Puts the udev rule that lets you read the scanner on the "
                                         "clipboard, to paste into %1")
                              .arg(udevRuleFile()));
    copyRule_->hide();
    connect(copyRule_, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(rules_.join(u'\n') + u'\n'); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copyAll);
    buttons->addStretch();
    buttons->addWidget(copyRule_);
    buttons->addWidget(again);
    // Keyboards whose names do not say scanner: the person can say which one is.
    auto* keyboardsLabel = new QLabel(
        QStringLiteral("Keyboards (check the one that is your scanner in keyboard mode):"), this);
    keyboards_ = new QListWidget(this);
    keyboards_->setObjectName(QStringLiteral("keyboards"));
    keyboards_->setMaximumHeight(90);
    keyboards_->setAccessibleName(QStringLiteral("Keyboards"));
    keyboards_->setAccessibleDescription(
        QStringLiteral("Check the keyboard that is your scanner in keyboard mode"));
    keyboardsLabel->setBuddy(keyboards_);
    // Scanners in keyboard mode read directly: the person can have their keys come here only.
    auto* catchLabel = new QLabel(
        QStringLiteral("Catch its keys here (they then reach no other window while this one is "
                       "open):"),
        this);
    catchKeys_ = new QListWidget(this);
    catchKeys_->setObjectName(QStringLiteral("CatchKeys"));
    catchKeys_->setMaximumHeight(60);
    catchKeys_->setAccessibleName(QStringLiteral("Catch its keys here"));
    catchLabel->setBuddy(catchKeys_);
    catchLabel->hide();
    catchKeys_->hide();
    catchLabel_ = catchLabel;
    connect(catchKeys_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const QString node = item->data(Qt::UserRole).toString();
        const bool wanted = item->checkState() == Qt::Checked;
        if (!keyCatcher_ || !keyCatcher_(node, wanted)) {
            // Refused (another program caught them first): the box says what is.
            const QSignalBlocker quiet(catchKeys_);
            item->setCheckState(wanted ? Qt::Unchecked : Qt::Checked);
        }
    });
    // The layout the scanners in keyboard mode type for: their keys are read by it.
    scannerLayout_ = new QComboBox(this);
    scannerLayout_->setObjectName(QStringLiteral("ScannerLayout"));
    for (const devices::ScannerLayout& known : devices::scannerLayouts())
        scannerLayout_->addItem(
            QString::fromUtf8(known.name.data(), qsizetype(known.name.size())),
            QString::fromUtf8(known.xkbName.data(), qsizetype(known.xkbName.size())));
    auto* layoutLabel = new QLabel(QStringLiteral("Scanners in keyboard mode type for:"), this);
    layoutLabel->setBuddy(scannerLayout_);
    scannerLayout_->setAccessibleName(QStringLiteral("Scanners in keyboard mode type for"));
    connect(scannerLayout_, &QComboBox::currentIndexChanged, this, [this] {
        if (layoutListener_)
            layoutListener_(scannerLayout_->currentData().toString());
    });
    auto* layoutRow = new QHBoxLayout;
    layoutRow->addWidget(catchLabel, 1);
    layoutRow->addWidget(layoutLabel);
    layoutRow->addWidget(scannerLayout_);
    layoutLabel_ = layoutLabel;
    layoutLabel->hide();
    scannerLayout_->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(findings_, 1);
    layout->addLayout(layoutRow);
    layout->addWidget(catchKeys_);
    layout->addWidget(keyboardsLabel);
    layout->addWidget(keyboards_);
    layout->addLayout(buttons);
    connect(keyboards_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const QString id = item->data(Qt::UserRole).toString();
        if (item->checkState() == Qt::Checked)
            markedScanners_.insert(id);
        else
            markedScanners_.remove(id);
        if (marksListener_)
            marksListener_(markedScanners_);
        refresh();
    });
    connect(again, &QPushButton::clicked, this, &DiagnoseWindow::refresh);
    hidMonitor_ = new devices::HidMonitor(this);
    connect(hidMonitor_, &devices::HidMonitor::changed, this, &DiagnoseWindow::refresh);
    if (registry_ != nullptr)
        connect(registry_, &devices::DeviceRegistry::devicesChanged, this,
                &DiagnoseWindow::refresh);
    // A burst of plugging (a hub with many devices, a flapping cable) is one look, not one an
    // event; the timer is not moved by later events, so a steady stream still gets a look.
    settle_.setSingleShot(true);
    settle_.setInterval(SettleMs);
    connect(&settle_, &QTimer::timeout, this, &DiagnoseWindow::startLook);
    connect(&watcher_, &QFutureWatcher<Diagnosis>::finished, this, &DiagnoseWindow::lookDone);
    // While shown, the quiet port is looked at again every few seconds; the devices are not.
    look_.setParent(this);
    look_.setObjectName(QStringLiteral("quietLook"));
    look_.setInterval(QuietLookMs);
    connect(&look_, &QTimer::timeout, this, [this] {
        if (last_)
            showFindings(*last_);
    });
    findings_->setRows({lookingRow()});
    resize(720, 480);
    startLook();
}

DiagnoseWindow::~DiagnoseWindow() {
    releaseCaughtKeys();
    // A look under way reads only what it was given; it is waited for, not cut off.
    watcher_.waitForFinished();
}

void DiagnoseWindow::showKeyboards(const QList<devices::HidInput>& hid) {
    // The keyboards whose names do not say scanner, those the person marked among them.
    const auto listed = [this](const devices::HidInput& input) {
        return input.kind == devices::HidKind::Keyboard ||
               (input.kind == devices::HidKind::KeyboardScanner &&
                markedScanners_.contains(hidId(input)));
    };
    QStringList shown;
    for (const devices::HidInput& input : hid) {
        if (listed(input))
            shown << hidId(input) + u'\t' + input.description();
    }
    if (shownKeyboards_ && shown == *shownKeyboards_)
        return;
    shownKeyboards_ = shown;
    const QSignalBlocker quiet(keyboards_);
    keyboards_->clear();
    if (shown.isEmpty()) {
        // Said, not left blank: an empty list reads as "still looking".
        auto* none = new QListWidgetItem(QStringLiteral("none found"), keyboards_);
        none->setFlags(Qt::ItemIsEnabled);
        return;
    }
    for (const devices::HidInput& input : hid) {
        if (!listed(input))
            continue;
        auto* item =
            new QListWidgetItem(base::outside_text::visible(input.description()), keyboards_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setData(Qt::UserRole, hidId(input));
        item->setCheckState(markedScanners_.contains(hidId(input)) ? Qt::Checked : Qt::Unchecked);
    }
}

void DiagnoseWindow::setKeyCatcher(KeyCatcher catcher) {
    keyCatcher_ = std::move(catcher);
    if (last_)
        showCatchable(last_->hid);
}

void DiagnoseWindow::showCatchable(const QList<devices::HidInput>& hid) {
    QStringList nodes;
    for (const devices::HidInput& input : hid)
        if (input.kind == devices::HidKind::KeyboardScanner && input.eventReadable)
            nodes << input.eventNode;
    const bool any = keyCatcher_ && !nodes.isEmpty();
    catchLabel_->setVisible(any);
    catchKeys_->setVisible(any);
    layoutLabel_->setVisible(any && layoutListener_);
    scannerLayout_->setVisible(any && layoutListener_);
    QStringList listed;
    for (int row = 0; row < catchKeys_->count(); ++row)
        listed << catchKeys_->item(row)->data(Qt::UserRole).toString();
    if (!any || listed == nodes)
        return;
    const QSignalBlocker quiet(catchKeys_);
    catchKeys_->clear();
    for (const devices::HidInput& input : hid) {
        if (input.kind != devices::HidKind::KeyboardScanner || !input.eventReadable)
            continue;
        auto* item =
            new QListWidgetItem(base::outside_text::visible(input.description()), catchKeys_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setData(Qt::UserRole, input.eventNode);
        item->setCheckState(Qt::Unchecked);
    }
}

void DiagnoseWindow::releaseCaughtKeys() {
    const QSignalBlocker quiet(catchKeys_);
    for (int row = 0; row < catchKeys_->count(); ++row) {
        QListWidgetItem* item = catchKeys_->item(row);
        if (item->checkState() != Qt::Checked)
            continue;
        if (keyCatcher_)
            keyCatcher_(item->data(Qt::UserRole).toString(), false);
        item->setCheckState(Qt::Unchecked);
    }
}

void DiagnoseWindow::setPortWatch(PortWatch watch) {
    portWatch_ = std::move(watch);
    if (last_)
        showFindings(*last_);
}

void DiagnoseWindow::showEvent(QShowEvent* event) {
    look_.start();
    QWidget::showEvent(event);
}

void DiagnoseWindow::hideEvent(QHideEvent* event) {
    look_.stop();
    // Caught keys are let go with the window: the person cannot see the box any more.
    releaseCaughtKeys();
    QWidget::hideEvent(event);
}

void DiagnoseWindow::refresh() {
    if (!settle_.isActive())
        settle_.start();
}

void DiagnoseWindow::startLook() {
    if (lookUnderWay_) {
        again_ = true;
        return;
    }
    again_ = false;
    lookUnderWay_ = true;
    DiagnosisInput input = diagnosisInput(registry_);
    input.markedScanners = markedScanners_;
    watcher_.setFuture(QtConcurrent::run([input] { return gatherDiagnosis(input); }));
}

void DiagnoseWindow::lookDone() {
    lookUnderWay_ = false;
    ++looks_;
    last_ = watcher_.result();
    showKeyboards(last_->hid);
    showCatchable(last_->hid);
    showFindings(*last_);
    if (again_)
        startLook();
}

void DiagnoseWindow::showFindings(const Diagnosis& diagnosis) {
    rules_.clear();
    for (const devices::HidInput& input : diagnosis.hid) {
        const bool pointOfSale = input.kind == devices::HidKind::PointOfSaleScanner;
        const bool keys = input.kind == devices::HidKind::KeyboardScanner;
        const bool unreadable = (pointOfSale && !input.rawNode.isEmpty() && !input.rawReadable) ||
                                (keys && !input.eventNode.isEmpty() && !input.eventReadable);
        if (unreadable && !rules_.contains(udevRuleFor(input)))
            rules_ << udevRuleFor(input);
    }
    copyRule_->setVisible(!rules_.isEmpty());
    Diagnosis shown = diagnosis;
    if (portWatch_)
        shown.quietPort = portWatch_();
    // Unchanged rows are not set again: the reader's selection and scroll position stay.
    findingsText_ = diagnosisText(shown);
    findings_->setRows(diagnosisRows(shown));
}

} // namespace diagnose
