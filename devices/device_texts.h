#pragma once

#include "devices/serial_device.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace serial_comm {

// What is known about one COM number, for describing it.
struct PortInfo {
    int number = 0;
    QByteArray overridePath;            // LINNET_COM<n>, when set: bytes, as open() gets them
    std::optional<SerialDevice> device; // the device with the number, present or seen this run
    QString rememberedIdentity;         // a device remembered from earlier runs holds it
    bool present = false;               // the device (or the override's path) is there now
};

// "COM3: Area-Imaging Scanner by Scanner Maker (USB 1209:0001, serial 20150CE5C5) on
// /dev/ttyACM0, connected", "..., not connected", "COM1: on-board serial port /dev/ttyS0,
// present" (an on-board port is there, but nothing is known to be attached to it).
QString portTooltipText(const PortInfo& port);

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

// The ports as they will open, the variables first: "Connected now: COM1 = /dev/pts/3 (set by
// LINNET_COM1), COM3 = Area-Imaging Scanner (/dev/ttyACM0). Choose Com3 in Port Setting.". An
// on-board port is only "present". With nothing connected, noSerialDeviceText() first.
QString connectedNowText(const QList<OverriddenPort>& overrides,
                         const QList<NumberedDevice>& present);

// What to check when no serial device is present.
QString noSerialDeviceText();

// Who may open a device node: its group, and whether the user is in it.
struct GroupAccess {
    QString group;          // "dialout", or the number when the group has no name
    bool inSession = false; // this process has the group (so membership is not the trouble)
    bool inAccount = false; // the user's account is in it (maybe only since this session began)
};

// The device node's group and the user's membership; nothing when the node cannot be examined.
std::optional<GroupAccess> groupAccessOf(const QString& node);

// What to do when opening `node` is refused: be added to its group first, log in again, or look
// at its permissions.
QString permissionHintText(const QString& node, const GroupAccess& access);

// permissionHintText for the node as it is now; empty when the node cannot be examined.
QString permissionHint(const QString& node);

} // namespace serial_comm
