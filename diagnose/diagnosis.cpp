#include "diagnose/diagnosis.h"

#include "devices/device_registry.h"
#include "port/device_map.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace diagnose {

Diagnosis gatherDiagnosis(const serial_comm::DeviceRegistry* registry,
                          const QList<serial_comm::HidInput>& hid) {
    Diagnosis diagnosis;
    diagnosis.hid = hid;
    if (registry == nullptr)
        return diagnosis;
    for (const serial_comm::NumberedDevice& numbered : registry->numberedDevices()) {
        SerialFinding finding;
        finding.number = numbered.number;
        finding.device = numbered.device;
        const QByteArray node = QFile::encodeName(numbered.device.node);
        finding.mayOpen = ::access(node.constData(), R_OK | W_OK) == 0;
        finding.access = serial_comm::groupAccessOf(numbered.device.node);
        struct stat status {};
        if (::stat(node.constData(), &status) == 0 && S_ISCHR(status.st_mode))
            finding.holders = serial_comm::otherHolders(status.st_rdev);
        diagnosis.serial << finding;
    }
    return diagnosis;
}

} // namespace diagnose
