#include "devices/device_monitor.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSocketNotifier>
#include <QtDebug>

#include <libudev.h>

#include <algorithm>

namespace devices {

bool DeviceMonitor::udevDaemonRuns() {
    return QFileInfo::exists(QStringLiteral("/run/udev/control")) ||
           qEnvironmentVariableIsSet("UMOCKDEV_DIR");
}

DeviceMonitor::DeviceMonitor(FollowMode mode, QObject* parent)
    : QObject(parent), udev_(udev_new()) {
    if (mode == FollowMode::Auto)
        mode = udevDaemonRuns() ? FollowMode::Udev : FollowMode::DevWatch;
    // Follow first, then list: a device that appears in between is reported by both, and
    // note() takes the second report as the same device.
    if (mode == FollowMode::Udev && !startUdevMonitor())
        mode = FollowMode::DevWatch;
    mode_ = mode;
    if (mode_ == FollowMode::DevWatch)
        startDevWatch();
    if (udev_)
        for (const SerialDevice& device : listSerialDevices(udev_.get()))
            present_.insert(device.sysPath, device);
}

DeviceMonitor::~DeviceMonitor() = default;

QList<SerialDevice> DeviceMonitor::devices() const {
    QList<SerialDevice> list = present_.values();
    std::sort(list.begin(), list.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.node < b.node; });
    return list;
}

// With a udev daemon: its events, after its rules have run (so with by-id links and database
// names), on a netlink socket watched by a QSocketNotifier.
bool DeviceMonitor::startUdevMonitor() {
    if (!udev_)
        return false;
    monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    if (!monitor_ ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor_.get()) < 0) {
        monitor_.reset();
        return false;
    }
    // libudev opens the socket non-blocking, so reading until it is empty never waits.
    notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_.get()),
                                                  QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &DeviceMonitor::readUdevEvents);
    return true;
}

// Without a udev daemon (containers, minimal systems) no udev events come. The kernel's devtmpfs
// still makes and removes the device nodes, so an inotify watch on /dev (QFileSystemWatcher)
// says when to list the devices again from sysfs; the difference is what came and went.
void DeviceMonitor::startDevWatch() {
    watcher_ = new QFileSystemWatcher(this);
    if (!watcher_->addPath(QStringLiteral("/dev"))) {
        watching_ = false;
        return;
    }
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &DeviceMonitor::relist);
}

void DeviceMonitor::readUdevEvents() {
    while (const UdevDevicePtr event{udev_monitor_receive_device(monitor_.get())}) {
        const char* action = udev_device_get_action(event.get());
        if (action == nullptr)
            continue;
        const QString sysPath = QString::fromUtf8(udev_device_get_syspath(event.get()));
        if (qstrcmp(action, "remove") == 0) {
            drop(sysPath);
        } else if (qstrcmp(action, "add") == 0 || qstrcmp(action, "change") == 0) {
            if (std::optional<SerialDevice> device = serialDeviceFromUdev(event.get()))
                note(*device);
            else
                drop(sysPath); // a change that made it no serial port
        }
    }
}

void DeviceMonitor::relist() {
    if (!udev_)
        return;
    const QList<SerialDevice> now = listSerialDevices(udev_.get());
    QSet<QString> stillThere;
    for (const SerialDevice& device : now)
        stillThere.insert(device.sysPath);
    const QStringList known = present_.keys();
    for (const QString& sysPath : known)
        if (!stillThere.contains(sysPath))
            drop(sysPath);
    for (const SerialDevice& device : now)
        note(device);
}

void DeviceMonitor::note(const SerialDevice& device) {
    const auto it = present_.constFind(device.sysPath);
    if (it != present_.constEnd()) {
        if (*it == device)
            return; // a repeated report of the same device
        // Still there, with something new about it (udev added its links late, say).
        present_.insert(device.sysPath, device);
        emit changed(device);
        return;
    }
    present_.insert(device.sysPath, device);
    emit added(device);
}

void DeviceMonitor::drop(const QString& sysPath) {
    const auto it = present_.constFind(sysPath);
    if (it == present_.constEnd())
        return;
    const SerialDevice device = *it;
    present_.erase(it);
    emit removed(device);
}

} // namespace devices
