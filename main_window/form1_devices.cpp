// The main window and the serial devices that come and go: the open button's tooltip, the
// disconnection of the port's device, and opening the port again when that device is back.

#include "base/com_ports.h"
#include "base/outside_text.h"
#include "devices/device_registry.h"
#include "diagnose/window/diagnose_window.h"
#include "find_settings/window/find_settings_texts.h"
#include "main_window/form1.h"
#include "main_window/main_window_texts.h"
#include "port/device_map.h"
#include "port/port_control.h"
#include "port/port_error.h"
#include "port/port_messages.h"
#include "settings_dialog/window/config_scrn.h"
#include "ui/device_advice.h"
#include "ui/failure_text.h"
#include "ui/prompts.h"
#include "ui/window_texts.h"

#include <QPushButton>

namespace main_window {

void Form1::setDeviceRegistry(devices::DeviceRegistry* registry) {
    if (registry_ != nullptr)
        disconnect(registry_, nullptr, this, nullptr);
    registry_ = registry;
    // The Diagnose window looks at the registry it was made with: made again when next shown.
    diagnoseWindow_.reset();
    if (config_)
        config_->setDeviceRegistry(registry);
    if (registry == nullptr)
        return;
    using devices::DeviceRegistry;
    connect(registry, &DeviceRegistry::devicesChanged, this,
            [this] { guarded([this] { showOpenButtonTip(); }); });
    connect(registry, &DeviceRegistry::deviceAdded, this,
            [this](int number) { guarded([this, number] { onDeviceAdded(number); }); });
    connect(registry, &DeviceRegistry::deviceRemoved, this,
            [this](int number) { guarded([this, number] { onDeviceRemoved(number); }); });
    showOpenButtonTip();
}

std::optional<Form1::FollowedDevice> Form1::followedDevice(int number) const {
    if (registry_ == nullptr ||
        registry_->target(number).source != devices::PortTarget::Source::Device)
        return std::nullopt;
    const std::optional<devices::SerialDevice> device = registry_->deviceForNumber(number);
    if (!device)
        return std::nullopt;
    return FollowedDevice{number, device->identity(), device->node};
}

void Form1::showOpenButtonTip() {
    if (registry_ == nullptr)
        return;
    const QString tip = ui::portTooltipText(registry_->portInfo(port_->CommPort()));
    cmdOpen_->setToolTip(base::outside_text::toolTip(tip));
    cmdOpen_->setAccessibleDescription(tip);
}

QString Form1::noSerialLineReason() const {
    if (registry_ == nullptr)
        return {};
    const std::optional<devices::SerialDevice> device =
        registry_->deviceForNumber(port_->CommPort());
    if (!device || device->driver != QLatin1String("cdc_acm"))
        return {};
    return find_settings::noSerialLineText(base::com_ports::name(port_->CommPort()),
                                           device->displayName());
}

void Form1::onDeviceLost(QString message) {
    // The device the port had open is the one to wait for; showPortState forgets it.
    if (const std::optional<FollowedDevice> lost = std::exchange(openDevice_, std::nullopt)) {
        awaited_ = lost;
        message = ui::withSentence(message, reopensWhenBackSentence());
    }
    SerialPinLamps();
    showPortState();
    prompts_->warn(message);
}

void Form1::onDeviceRemoved(int number) {
    // The port usually notices the loss itself (a hang-up on reading); when the system reports it
    // first, the port is closed here and the loss takes the same way.
    if (!openDevice_ || openDevice_->number != number || !port_->PortOpen() ||
        port_->CommPort() != number)
        return;
    port::PortError lost;
    lost.operation = port::PortOperation::Read;
    lost.kind = port::FailureKind::HungUp;
    lost.cause = port::FailureCause::DeviceLost;
    lost.port = port_->CommPort();
    lost.device = openDevice_->node;
    const QString message = port::failureText(lost);
    port_->setPortOpen(false);
    onDeviceLost(message);
}

void Form1::onDeviceAdded(int number) {
    if (!awaited_ || awaited_->number != number)
        return;
    const std::optional<FollowedDevice> back = followedDevice(number);
    if (!back || back->identity != awaited_->identity)
        return;
    // The same open command the button runs, with its usual message, once the event that
    // reported the device has been handled; unless the port has been opened meanwhile or now
    // has another number.
    QMetaObject::invokeMethod(
        this,
        [this, number] {
            guarded([this, number] {
                if (!awaited_ || awaited_->number != number || port_->PortOpen() ||
                    port_->CommPort() != number)
                    return;
                MOpen_Click();
            });
        },
        Qt::QueuedConnection);
}

} // namespace main_window
