#include "devices/device_registry.h"

#include "base/com_ports.h"
#include <QDateTime>
#include <QFile>

#include <sys/stat.h>

#include <algorithm>

namespace devices {

namespace {

bool pathExists(const QByteArray& path) {
    struct stat status {};
    return ::stat(path.constData(), &status) == 0;
}

} // namespace

DeviceRegistry::DeviceRegistry(QObject* parent) : DeviceRegistry(Options{}, parent) {}

DeviceRegistry::DeviceRegistry(Options options, QObject* parent)
    : QObject(parent), clock_(std::move(options.clock)),
      file_(options.configFolder.isEmpty() ? ComTableFile::defaultFolder() : options.configFolder),
      monitor_(new DeviceMonitor(options.follow, this)) {
    const qint64 time = now();
    file_.update(table_, [&](ComTable&) {
        for (const SerialDevice& device : monitor_->devices())
            give(device, time);
    });
    if (!monitor_->followsPlugging())
        problems_.append({DevicesProblem::Kind::NoDevWatch, {}, 0, {}});
    collectProblems();
    connect(monitor_, &DeviceMonitor::added, this, &DeviceRegistry::onAdded);
    connect(monitor_, &DeviceMonitor::removed, this, &DeviceRegistry::onRemoved);
    connect(monitor_, &DeviceMonitor::changed, this, &DeviceRegistry::onChanged);
}

DeviceRegistry::~DeviceRegistry() = default;

qint64 DeviceRegistry::now() const {
    return clock_ ? clock_() : QDateTime::currentSecsSinceEpoch();
}

void DeviceRegistry::collectProblems() {
    for (const DevicesProblem& problem : file_.takeProblems()) {
        problems_.append(problem);
        emit problemFound(problem);
    }
}

FollowMode DeviceRegistry::followMode() const {
    return monitor_->followMode();
}

QSet<int> DeviceRegistry::onBoardNumbers() const {
    QSet<int> numbers;
    for (const SerialDevice& device : monitor_->devices())
        if (device.kind == SerialKind::OnBoard)
            if (const int number = ComTable::onBoardNumber(device.node); number > 0)
                numbers.insert(number);
    return numbers;
}

QSet<QString> DeviceRegistry::presentIdentities() const {
    QSet<QString> identities;
    for (const SerialDevice& device : monitor_->devices())
        identities.insert(device.identity());
    return identities;
}

int DeviceRegistry::give(const SerialDevice& device, qint64 time) {
    seen_.insert(device.identity(), device);
    if (device.kind == SerialKind::OnBoard)
        return ComTable::onBoardNumber(device.node);
    return table_.assign(device.identity(), time, onBoardNumbers(), presentIdentities());
}

void DeviceRegistry::onAdded(const SerialDevice& device) {
    int number = 0;
    // Given under the table's lock, with what other programs gave meanwhile.
    file_.update(table_, [&](ComTable&) { number = give(device, now()); });
    collectProblems();
    if (number > 0)
        emit deviceAdded(number);
    emit devicesChanged();
}

void DeviceRegistry::onRemoved(const SerialDevice& device) {
    const int number = numberOf(device);
    if (number > 0)
        emit deviceRemoved(number);
    emit devicesChanged();
    if (table_.numberOf(device.identity()) > 0)
        file_.update(table_, [&](ComTable& table) { table.touch(device.identity(), now()); });
    collectProblems();
}

void DeviceRegistry::onChanged(const SerialDevice& device) {
    seen_.insert(device.identity(), device);
    emit devicesChanged();
}

QList<SerialDevice> DeviceRegistry::devices() const {
    return monitor_->devices();
}

QList<NumberedDevice> DeviceRegistry::numberedDevices() const {
    QList<NumberedDevice> list;
    for (const SerialDevice& device : monitor_->devices())
        list.append({numberOf(device), device});
    std::stable_sort(
        list.begin(), list.end(), [](const NumberedDevice& a, const NumberedDevice& b) {
            return (a.number == 0 ? 1000 : a.number) < (b.number == 0 ? 1000 : b.number);
        });
    return list;
}

int DeviceRegistry::numberOf(const SerialDevice& device) const {
    if (device.kind == SerialKind::OnBoard)
        return ComTable::onBoardNumber(device.node);
    return table_.numberOf(device.identity());
}

std::optional<SerialDevice> DeviceRegistry::deviceForNumber(int number) const {
    for (const SerialDevice& device : monitor_->devices())
        if (numberOf(device) == number)
            return device;
    return std::nullopt;
}

PortTarget DeviceRegistry::target(int number) const {
    using Source = PortTarget::Source;
    if (const QByteArray path = base::com_ports::variable(number); !path.isEmpty())
        return {Source::Override, QFile::decodeName(path)};
    if (const std::optional<SerialDevice> device = deviceForNumber(number))
        return {Source::Device, device->node};
    if (const QString identity = table_.identityOf(number); !identity.isEmpty())
        return {Source::AbsentDevice, seen_.value(identity).node};
    return {Source::Fallback, QFile::decodeName(base::com_ports::onBoardPath(number))};
}

PortInfo DeviceRegistry::portInfo(int number) const {
    PortInfo port;
    port.number = number;
    port.overridePath = base::com_ports::variable(number);
    if (!port.overridePath.isEmpty()) {
        port.present = pathExists(port.overridePath);
    } else if (std::optional<SerialDevice> device = deviceForNumber(number)) {
        port.device = std::move(device);
        port.present = true;
    } else if (const QString identity = table_.identityOf(number); !identity.isEmpty()) {
        if (const auto it = seen_.constFind(identity); it != seen_.constEnd())
            port.device = *it;
        else
            port.rememberedIdentity = identity;
    }
    return port;
}

QList<OverriddenPort> DeviceRegistry::overriddenPorts() const {
    QList<OverriddenPort> overrides;
    for (int number = 1; number <= ComTable::lastNumber; ++number)
        if (const QByteArray path = base::com_ports::variable(number); !path.isEmpty())
            overrides.append({number, path, pathExists(path)});
    return overrides;
}

} // namespace devices
