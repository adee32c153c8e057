#include "ui/device_advice.h"

#include "devices/device_registry.h"
#include "port/device_map.h"
#include "ui/window_texts.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

#include <unistd.h>

namespace ui {

QString openFailureAdvice(const devices::DeviceRegistry& registry, int number) {
    using devices::PortTarget;
    const PortTarget target = registry.target(number);
    // The port said why it refused; what it cannot know is which other devices are there.
    if (target.source == PortTarget::Source::AbsentDevice || !QFileInfo::exists(target.path))
        return connectedNowText(registry.overriddenPorts(), registry.numberedDevices());
    // The 8250 driver keeps /dev/ttyS0 to ttyS31 whether or not a UART is there.
    if (target.source == PortTarget::Source::Fallback &&
        devices::onBoardHardware(target.path) == devices::OnBoardHardware::NoHardware)
        return withSentence(
            noHardwareText(target.path),
            connectedNowText(registry.overriddenPorts(), registry.numberedDevices()));
    if (::access(QFile::encodeName(target.path).constData(), R_OK | W_OK) != 0 &&
        (errno == EACCES || errno == EPERM))
        return permissionHintText(target.path, devices::groupAccessOf(target.path));
    // ModemManager probes new serial devices and may hold one for seconds, or for good.
    if (heldByModemManager(target.path))
        return modemManagerHintText();
    return {};
}

bool heldByModemManager(const QString& node) {
    struct stat status {};
    if (::stat(QFile::encodeName(node).constData(), &status) != 0 || !S_ISCHR(status.st_mode))
        return false;
    const QList<port::DeviceHolder> holders = port::otherHolders(status.st_rdev);
    return std::any_of(holders.begin(), holders.end(), [](const port::DeviceHolder& h) {
        return h.name == QLatin1String("ModemManager");
    });
}

QString withSentence(const QString& text, const QString& sentence) {
    if (sentence.isEmpty())
        return text;
    if (text.isEmpty())
        return sentence;
    return text + QLatin1Char(' ') + sentence;
}

} // namespace ui
