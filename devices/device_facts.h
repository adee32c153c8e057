#pragma once

#include "devices/serial_device.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace devices {

// What is known about one COM number, for describing it.
struct PortInfo {
    int number = 0;
    QByteArray overridePath;            // LINNET_COM<n>, when set: bytes, as open() gets them
    std::optional<SerialDevice> device; // the device with the number, present or seen this run
    QString rememberedIdentity;         // a device remembered from earlier runs holds it
    bool present = false;               // the device (or the override's path) is there now
};

struct NumberedDevice {
    int number = 0; // 0: the device got none
    SerialDevice device;
};

// A port number that LINNET_COM<n> leads to a path of its own.
struct OverriddenPort {
    int number = 0;
    QByteArray path;
    bool present = false; // the path exists now
};

// Who may open a device node: its group, and whether the user is in it.
struct GroupAccess {
    QString group;          // "dialout", or the number when the group has no name
    bool inSession = false; // this process has the group (so membership is not the trouble)
    bool inAccount = false; // the user's account is in it (maybe only since this session began)
};

// The device node's group and the user's membership; nothing when the node cannot be examined.
std::optional<GroupAccess> groupAccessOf(const QString& node);

} // namespace devices
