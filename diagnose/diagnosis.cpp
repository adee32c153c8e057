#include "diagnose/diagnosis.h"

#include "devices/device_registry.h"
#include "port/device_map.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace diagnose {

namespace {

// Who may open `node`, and who has it open now.
void examine(SerialFinding& finding, const QString& node) {
    const QByteArray path = QFile::encodeName(node);
    struct stat status {};
    finding.present = ::stat(path.constData(), &status) == 0;
    if (!finding.present)
        return;
    finding.mayOpen = ::access(path.constData(), R_OK | W_OK) == 0;
    finding.access = serial_comm::groupAccessOf(node);
    if (S_ISCHR(status.st_mode))
        finding.holders = serial_comm::otherHolders(status.st_rdev);
}

} // namespace

Diagnosis gatherDiagnosis(const serial_comm::DeviceRegistry* registry,
                          const QList<serial_comm::HidInput>& hid) {
    Diagnosis diagnosis;
    diagnosis.hid = hid;
    if (registry == nullptr)
        return diagnosis;
    const QList<serial_comm::NumberedDevice> numbered = registry->numberedDevices();
    // A device is known by the node its links lead to: LINNET_COM3=/dev/serial/by-id/... reaches
    // the device at /dev/ttyACM0.
    QHash<QString, const serial_comm::NumberedDevice*> byNode;
    for (const serial_comm::NumberedDevice& entry : numbered)
        byNode.insert(entry.device.node, &entry);
    QSet<QString> reached;
    QHash<int, int> shadowed; // a device's own number -> the variable that leads it elsewhere
    for (const serial_comm::OverriddenPort& port : registry->overriddenPorts()) {
        SerialFinding finding;
        finding.number = port.number;
        finding.overridePath = port.path;
        const QString path = QFile::decodeName(port.path);
        const QString node = QFileInfo(path).canonicalFilePath();
        if (const auto it = byNode.constFind(node); !node.isEmpty() && it != byNode.constEnd()) {
            finding.device = (*it)->device;
            reached.insert(node);
        }
        examine(finding, path);
        shadowed.insert(port.number, port.number);
        diagnosis.serial << finding;
    }
    for (const serial_comm::NumberedDevice& entry : numbered) {
        SerialFinding finding;
        finding.device = entry.device;
        if (shadowed.contains(entry.number)) {
            if (reached.contains(entry.device.node))
                continue; // listed already under the number that reaches it
            finding.shadowedBy = entry.number;
        } else {
            finding.number = entry.number;
        }
        examine(finding, entry.device.node);
        diagnosis.serial << finding;
    }
    // The variables' ports first (in number order already), then the devices by number, then
    // the devices no number reaches.
    std::stable_sort(diagnosis.serial.begin(), diagnosis.serial.end(),
                     [](const SerialFinding& a, const SerialFinding& b) {
                         auto rank = [](const SerialFinding& f) {
                             return f.overridePath ? 0 : f.number > 0 ? 1 : 2;
                         };
                         return rank(a) < rank(b);
                     });
    return diagnosis;
}

} // namespace diagnose
