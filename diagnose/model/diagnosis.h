#pragma once

#include "devices/device_facts.h"
#include "devices/hid_devices.h"
#include "devices/serial_device.h"
#include "port/port_error.h"

#include <QList>
#include <QSet>

#include <optional>

namespace devices {
class DeviceRegistry;
}

namespace diagnose {

// A port as it opens: a COM number that a LINNET_COM variable leads to a path of its own, or a
// serial device present now, with what decides whether it can be opened.
struct SerialFinding {
    // The COM number that opens it; 0: none does (the device got no number, or its number is
    // led elsewhere by a variable: then `shadowedBy` is that number).
    int number = 0;
    int shadowedBy = 0;
    // Set when `number` is led here by LINNET_COM<number>: the path as the variable gives it.
    // `device` is then the serial device at that path, when one is known.
    std::optional<QByteArray> overridePath;
    bool present = true; // the device or the variable's path is there now
    devices::SerialDevice device;
    bool mayOpen = false; // this user may read and write its node
    std::optional<devices::GroupAccess> access;
    QList<port::DeviceHolder> holders; // other programs that have it open
};

// The open port and how long it has received nothing.
struct PortQuiet {
    int number = 0;
    qint64 quietMs = 0;
};

struct Diagnosis {
    std::optional<PortQuiet> quietPort; // the open port, when it has been quiet a while
    // Every COM number as it opens, the variables' first, then the devices no number reaches.
    QList<SerialFinding> serial;
    QList<devices::HidInput> hid; // keyboards and scanners
};

// What the program knows before it looks: the ports variables set and the serial devices
// present with their numbers (taken from the registry on its thread, at once), and the keyboards
// the person marked as scanners ("vendor:product").
struct DiagnosisInput {
    QList<devices::OverriddenPort> overrides;
    QList<devices::NumberedDevice> devices;
    QSet<QString> markedScanners;
};
DiagnosisInput diagnosisInput(const devices::DeviceRegistry* registry);

// Looks at each port and device: who may open it and which programs hold it (one look through
// /proc for all), and the HID devices that type or scan (a keyboard the person marked taken for
// a scanner). Reads the file system only, on any thread.
Diagnosis gatherDiagnosis(const DiagnosisInput& input);

// The same with the HID devices given instead of listed.
Diagnosis gatherDiagnosis(const DiagnosisInput& input, const QList<devices::HidInput>& hid);

// Keyboards are told apart by their USB ids: a mark holds for the same model replugged.
QString hidId(const devices::HidInput& input);

} // namespace diagnose
