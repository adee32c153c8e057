#pragma once

#include "devices/serial_device.h"
#include "devices/udev_scan.h"

#include <QHash>
#include <QObject>

#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;

namespace devices {

// How devices coming and going are noticed.
enum class FollowMode {
    Auto,     // udev's events when a udev daemon runs, else watching /dev
    Udev,     // udev's events (a netlink monitor on the user-interface thread)
    DevWatch, // inotify on /dev, re-listing on every change there
};

// The serial ports present, kept current: lists them once at construction, then reports each
// one that appears or goes away. Everything runs on the thread it lives on, woken by the
// kernel; nothing polls or blocks.
class DeviceMonitor : public QObject {
    Q_OBJECT

public:
    explicit DeviceMonitor(FollowMode mode = FollowMode::Auto, QObject* parent = nullptr);
    ~DeviceMonitor() override;

    // Present now, sorted by device node.
    QList<SerialDevice> devices() const;

    // The way taken (never Auto); DevWatch also when no udev monitor could be made.
    FollowMode followMode() const { return mode_; }
    // False when devices plugged in later cannot be seen (/dev could not be watched).
    bool followsPlugging() const { return watching_; }

    // Whether a udev daemon processes events on this system (its control socket exists), or a
    // umockdev testbed plays its part.
    static bool udevDaemonRuns();

signals:
    void added(const devices::SerialDevice& device);
    void removed(const devices::SerialDevice& device);
    // A present device described anew (same sysfs path): not a removal.
    void changed(const devices::SerialDevice& device);

private:
    bool startUdevMonitor();
    void startDevWatch();
    void readUdevEvents();
    bool watching_ = true;
    void relist();
    void note(const SerialDevice& device);
    void drop(const QString& sysPath);

    UdevPtr udev_;
    UdevMonitorPtr monitor_;
    // Declared after the monitor, so that it is gone before the monitor closes its socket.
    std::unique_ptr<QSocketNotifier> notifier_;
    QFileSystemWatcher* watcher_ = nullptr;
    FollowMode mode_ = FollowMode::Auto;
    QHash<QString, SerialDevice> present_; // by sysfs path
};

} // namespace devices
