#include "diagnose/diagnose_window.h"

#include "devices/device_registry.h"
#include "devices/hid_devices.h"
#include "diagnose/diagnose_texts.h"
#include "diagnose/diagnosis.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace diagnose {

DiagnoseWindow::DiagnoseWindow(const serial_comm::DeviceRegistry* registry, QWidget* parent)
    : QWidget(parent, Qt::Window), registry_(registry) {
    setObjectName(QStringLiteral("Diagnose"));
    setWindowTitle(QStringLiteral("Diagnose"));
    // Plain text, selectable and copyable: names from devices are never taken for markup, and
    // the udev rule can be copied as it stands.
    findings_ = new QPlainTextEdit(this);
    findings_->setObjectName(QStringLiteral("findings"));
    findings_->setReadOnly(true);
    findings_->setAccessibleName(QStringLiteral("What could be a scanner, and what to do"));
    auto* again = new QPushButton(QStringLiteral("&Look Again"), this);
    again->setObjectName(QStringLiteral("refreshButton"));
    again->setToolTip(QStringLiteral("Lists the devices afresh (it happens by itself when one "
                                     "is plugged in or out)"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(again);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(findings_, 1);
    layout->addLayout(buttons);
    connect(again, &QPushButton::clicked, this, &DiagnoseWindow::refresh);
    hidMonitor_ = new serial_comm::HidMonitor(this);
    connect(hidMonitor_, &serial_comm::HidMonitor::changed, this, &DiagnoseWindow::refresh);
    if (registry_ != nullptr)
        connect(registry_, &serial_comm::DeviceRegistry::devicesChanged, this,
                &DiagnoseWindow::refresh);
    // While shown, the quiet port is looked at again every few seconds.
    look_.setInterval(3000);
    connect(&look_, &QTimer::timeout, this, &DiagnoseWindow::refresh);
    resize(720, 420);
    refresh();
}

DiagnoseWindow::~DiagnoseWindow() = default;

void DiagnoseWindow::setPortWatch(PortWatch watch) {
    portWatch_ = std::move(watch);
    refresh();
}

void DiagnoseWindow::showEvent(QShowEvent* event) {
    look_.start();
    QWidget::showEvent(event);
}

void DiagnoseWindow::hideEvent(QHideEvent* event) {
    look_.stop();
    QWidget::hideEvent(event);
}

void DiagnoseWindow::refresh() {
    Diagnosis diagnosis = gatherDiagnosis(registry_, serial_comm::listHidInputs());
    if (portWatch_)
        diagnosis.quietPort = portWatch_();
    const QString text = diagnosisText(diagnosis);
    // Unchanged text is not set again: the reader's selection and scroll position stay.
    if (text != findings_->toPlainText())
        findings_->setPlainText(text);
}

} // namespace diagnose
