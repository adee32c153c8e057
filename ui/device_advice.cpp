#include "ui/device_advice.h"

#include "devices/device_registry.h"
#include "ui/window_texts.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <unistd.h>

QString openFailureAdvice(const serial_comm::DeviceRegistry& registry, int number) {
    using serial_comm::PortTarget;
    const PortTarget target = registry.target(number);
    // The port said why it refused; what it cannot know is which other devices are there.
    if (target.source == PortTarget::Source::AbsentDevice || !QFileInfo::exists(target.path))
        return connectedNowText(registry.overriddenPorts(), registry.numberedDevices());
    if (::access(QFile::encodeName(target.path).constData(), R_OK | W_OK) != 0 &&
        (errno == EACCES || errno == EPERM))
        return permissionHintText(target.path, serial_comm::groupAccessOf(target.path));
    return {};
}

QString withSentence(const QString& text, const QString& sentence) {
    if (sentence.isEmpty())
        return text;
    if (text.isEmpty())
        return sentence;
    return text + QLatin1Char(' ') + sentence;
}
