#include "base/com_ports.h"

namespace base {

namespace com_ports {

QString name(int number) {
    return QStringLiteral("COM") + QString::number(number);
}

QString variableName(int number) {
    return QStringLiteral("LINNET_COM") + QString::number(number);
}

QByteArray variable(int number) {
    return qgetenv(("LINNET_COM" + QByteArray::number(number)).constData());
}

QByteArray onBoardPath(int number) {
    return "/dev/ttyS" + QByteArray::number(number - 1);
}

} // namespace com_ports

} // namespace base
