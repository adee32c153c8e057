#pragma once

#include "devices/com_table.h"
#include "devices/com_table_file.h"
#include "devices/device_facts.h"
#include "devices/device_monitor.h"
#include "devices/devices_problem.h"
#include "devices/serial_device.h"

#include <QHash>
#include <QObject>

#include <functional>
#include <optional>

namespace devices {

struct DeviceRegistryOptions {
    QString configFolder; // where the table file lives; empty: ComTableFile::defaultFolder()
    FollowMode follow = FollowMode::Auto;
    std::function<qint64()> clock; // seconds since the epoch; empty: the system clock
};

// Where COM n leads, and why.
struct PortTarget {
    enum class Source {
        Override,     // LINNET_COM<n> names the path
        Device,       // a serial device present now has the number
        AbsentDevice, // the number belongs to a device that is not there: do not open `path`,
                      // which is only the node it last had in this run (or empty), and may by
                      // now be another device's
        Fallback,     // no device has the number: /dev/ttyS<n-1>, as on-board ports are named
    };
    Source source = Source::Fallback;
    QString path;
};

// The serial devices present and their COM numbers, for the windows: lists the devices at
// construction, gives and remembers their numbers, follows plugging on the thread it lives on,
// and words what it knows for tooltips and messages.
class DeviceRegistry : public QObject {
    Q_OBJECT

public:
    using Options = DeviceRegistryOptions;

    explicit DeviceRegistry(QObject* parent = nullptr);
    explicit DeviceRegistry(Options options, QObject* parent = nullptr);
    ~DeviceRegistry() override;

    // Present now, sorted by device node.
    QList<SerialDevice> devices() const;
    // Present now with their numbers, in number order; devices without a number come last.
    QList<NumberedDevice> numberedDevices() const;

    // The device's COM number, 0 when it has none.
    int numberOf(const SerialDevice& device) const;
    // The device present now with the number.
    std::optional<SerialDevice> deviceForNumber(int number) const;

    // What COM n opens: LINNET_COM<n> when set, else the present device with the number, else
    // (no device has it) /dev/ttyS<n-1>.
    PortTarget target(int number) const;

    // What is known of a port number, for its tooltip.
    PortInfo portInfo(int number) const;
    // The port numbers that LINNET_COM variables lead elsewhere, in number order.
    QList<OverriddenPort> overriddenPorts() const;

    FollowMode followMode() const;

    // What could not be done (the table file, following plugging), each noted once, in order.
    QList<DevicesProblem> problems() const { return problems_; }

signals:
    // Every change of the devices present or of their descriptions.
    void devicesChanged();
    // A device with a number appeared or went away. A device without one changes only the list.
    void deviceAdded(int number);
    void deviceRemoved(int number);
    // A problem was noted after construction (the table file could not be written, say).
    void problemFound(const devices::DevicesProblem& problem);

private:
    void onAdded(const SerialDevice& device);
    void onRemoved(const SerialDevice& device);
    void onChanged(const SerialDevice& device);
    int give(const SerialDevice& device, qint64 now);
    QSet<int> onBoardNumbers() const;
    QSet<QString> presentIdentities() const;
    qint64 now() const;

    std::function<qint64()> clock_;
    ComTableFile file_;
    ComTable table_;
    DeviceMonitor* monitor_ = nullptr;
    QHash<QString, SerialDevice> seen_; // by identity: every device seen in this run, as last seen
    QList<DevicesProblem> problems_;
    // Keeps what the table file noted, and tells of it.
    void collectProblems();
};

} // namespace devices
