#pragma once

#include <QByteArray>
#include <QString>

namespace base {

// How the program names its ports and where a number leads before any device is known: the one
// place for "COM3", LINNET_COM3 and /dev/ttyS2.
namespace com_ports {

// "COM" and the number in decimal: "COM3".
QString name(int number);

// The environment variable that leads COM n to a device of the user's choice: "LINNET_COM3".
QString variableName(int number);

// Its value as bytes (a file name in no particular encoding); empty when unset or empty.
QByteArray variable(int number);

// The on-board port that COM n is when nothing else claims the number: /dev/ttyS<n-1>.
QByteArray onBoardPath(int number);

} // namespace com_ports

} // namespace base
