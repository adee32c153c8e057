#include "app/device_resolver.h"

#include "devices/device_registry.h"

#include <QFile>

namespace app {

port::DeviceResolver registryResolver(const devices::DeviceRegistry& registry) {
    using devices::PortTarget;
    return [&registry](qint16 port) -> port::PortDevice {
        const PortTarget target = registry.target(port);
        switch (target.source) {
        case PortTarget::Source::Override:
            // The variable's bytes as they are: a name that is not valid text opens all the same.
            return {port::deviceFileForPort(port), true};
        case PortTarget::Source::AbsentDevice:
            // Only for the message: where the device was in this run, if it was seen at all.
            return {target.path.isEmpty() ? QByteArray("not connected")
                                          : QFile::encodeName(target.path),
                    false};
        case PortTarget::Source::Device:
        case PortTarget::Source::Fallback:
            break;
        }
        return {QFile::encodeName(target.path), true};
    };
}

} // namespace app
