#pragma once

#include "devices/device_facts.h"

#include <QList>
#include <QString>

namespace base {
struct NumberOverflow;
}

namespace ui {

// The sentences the windows write themselves (the port's own descriptions come from the port):
// one place for their wording.

// "Overflow: 70000 is outside -32768 to 32767", for a typed answer that does not fit.
QString overflowText(const base::NumberOverflow& overflow);

// A port number's tooltip: "COM3: Area-Imaging Scanner by Scanner Maker (USB 1209:0001, serial
// 20150CE5C5) on /dev/ttyACM0, connected", "..., not connected", "COM1: on-board serial port
// /dev/ttyS0, present" (an on-board port is there, but nothing is known to be attached to it).
QString portTooltipText(const devices::PortInfo& port);

// The ports as they will open, the variables first: "Connected now: COM1 = /dev/pts/3 (set by
// LINNET_COM1), COM3 = Area-Imaging Scanner (/dev/ttyACM0). Choose Com3 in Port Setting.". An
// on-board port is only "present". With nothing connected, noSerialDeviceText() first.
QString connectedNowText(const QList<devices::OverriddenPort>& overrides,
                         const QList<devices::NumberedDevice>& present);

// An on-board node with no serial port behind it: "/dev/ttyS0 has no hardware behind it ...".
QString noHardwareText(const QString& node);

// What to check when no serial device is present.
QString noSerialDeviceText();

// What to do when opening `node` is refused for want of permission: be added to its group
// first, log in again, or, already in it, look at its permissions. The one place that advises on
// groups; without `access` (the node could not be examined), the usual group of serial devices.
QString permissionHintText(const QString& node, const std::optional<devices::GroupAccess>& access);

// The sentence added to a refused open when ModemManager holds the device.
QString modemManagerHintText();

// The udev rule that keeps ModemManager away from a USB device, with its ids.
QString modemManagerRule(const QString& vendorId, const QString& productId);

// What a Properties item changes or shows, in plain words, with the value that suits a scanner:
// the tooltip and accessible description of the item named `itemName` ("MInputLen", "MHCTS");
// empty for other items.
QString propertyHint(const QString& itemName);

} // namespace ui
