#include "ui/version.h"

namespace ui {

namespace version {

QString title() {
    return QStringLiteral("%1.%2%3")
        .arg(LINNET_VERSION_MAJOR)
        .arg(LINNET_VERSION_MINOR)
        .arg(LINNET_VERSION_PATCH);
}

QString file() {
    return QStringLiteral("%1.%2.%3")
        .arg(LINNET_VERSION_MAJOR)
        .arg(LINNET_VERSION_MINOR, 2, 10, QLatin1Char('0'))
        .arg(LINNET_VERSION_PATCH, 4, 10, QLatin1Char('0'));
}

} // namespace version

} // namespace ui
