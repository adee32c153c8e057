#include "diagnose/model/diagnosis.h"

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

// Who may open the node at `path`; its device number for the look at holders (0: none).
dev_t examine(SerialFinding& finding, const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    struct stat status {};
    finding.present = ::stat(bytes.constData(), &status) == 0;
    if (!finding.present)
        return 0;
    finding.mayOpen = ::access(bytes.constData(), R_OK | W_OK) == 0;
    finding.access = devices::groupAccessOf(path);
    return S_ISCHR(status.st_mode) ? status.st_rdev : 0;
}

} // namespace

QString hidId(const devices::HidInput& input) {
    return input.vendorId + u':' + input.productId;
}

DiagnosisInput diagnosisInput(const devices::DeviceRegistry* registry) {
    DiagnosisInput input;
    if (registry != nullptr) {
        input.overrides = registry->overriddenPorts();
        input.devices = registry->numberedDevices();
    }
    return input;
}

Diagnosis gatherDiagnosis(const DiagnosisInput& input) {
    return gatherDiagnosis(input, devices::listHidInputs());
}

Diagnosis gatherDiagnosis(const DiagnosisInput& input, const QList<devices::HidInput>& hid) {
    Diagnosis diagnosis;
    diagnosis.hid = hid;
    for (devices::HidInput& device : diagnosis.hid)
        if (device.kind == devices::HidKind::Keyboard &&
            input.markedScanners.contains(hidId(device)))
            device.kind = devices::HidKind::KeyboardScanner;
    // A device is known by the node its links lead to: LINNET_COM3=/dev/serial/by-id/... reaches
    // the device at /dev/ttyACM0.
    QHash<QString, const devices::NumberedDevice*> byNode;
    for (const devices::NumberedDevice& entry : input.devices)
        byNode.insert(entry.device.node, &entry);
    QSet<QString> reached;
    QSet<int> shadowed; // numbers the variables lead elsewhere
    QList<dev_t> nodes; // of each finding, for one look at who holds them
    for (const devices::OverriddenPort& port : input.overrides) {
        SerialFinding finding;
        finding.number = port.number;
        finding.overridePath = port.path;
        const QString path = QFile::decodeName(port.path);
        const QString node = QFileInfo(path).canonicalFilePath();
        if (const auto it = byNode.constFind(node); !node.isEmpty() && it != byNode.constEnd()) {
            finding.device = (*it)->device;
            reached.insert(node);
        }
        nodes << examine(finding, path);
        shadowed.insert(port.number);
        diagnosis.serial << finding;
    }
    for (const devices::NumberedDevice& entry : input.devices) {
        SerialFinding finding;
        finding.device = entry.device;
        if (shadowed.contains(entry.number)) {
            if (reached.contains(entry.device.node))
                continue; // listed already under the number that reaches it
            finding.shadowedBy = entry.number;
        } else {
            finding.number = entry.number;
        }
        nodes << examine(finding, entry.device.node);
        diagnosis.serial << finding;
    }
    const std::map<dev_t, QList<port::DeviceHolder>> holders = port::otherHolders(nodes);
    for (qsizetype i = 0; i < diagnosis.serial.size(); ++i)
        if (const auto held = holders.find(nodes[i]); nodes[i] != 0 && held != holders.end())
            diagnosis.serial[i].holders = held->second;
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
