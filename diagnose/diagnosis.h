#pragma once

#include "devices/device_facts.h"
#include "devices/hid_devices.h"
#include "devices/serial_device.h"
#include "port/port_error.h"

#include <QList>

#include <optional>

namespace serial_comm {
class DeviceRegistry;
}

namespace diagnose {

// A serial device present now, with what decides whether it can be opened.
struct SerialFinding {
    int number = 0; // its COM number; 0: none
    serial_comm::SerialDevice device;
    bool mayOpen = false; // this user may read and write its node
    std::optional<serial_comm::GroupAccess> access;
    QList<serial_comm::DeviceHolder> holders; // other programs that have it open
};

// The open port and how long it has received nothing.
struct PortQuiet {
    int number = 0;
    qint64 quietMs = 0;
};

struct Diagnosis {
    std::optional<PortQuiet> quietPort; // the open port, when it has been quiet a while
    QList<SerialFinding> serial;
    QList<serial_comm::HidInput> hid; // keyboards and scanners
};

// Looks at every serial device the registry has present, and takes the HID devices as listed.
Diagnosis gatherDiagnosis(const serial_comm::DeviceRegistry* registry,
                          const QList<serial_comm::HidInput>& hid);

} // namespace diagnose
