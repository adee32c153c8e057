// Point-of-sale scanners read directly: every such scanner the person may open is read from its
// hidraw node into the Scan Log, and followed as scanners are plugged in and out.

#include "devices/hid_devices.h"
#include "devices/hid_scan_reader.h"
#include "main_window/form1.h"
#include "scan_log/window/scan_collector.h"

#include <QSet>

namespace main_window {

void Form1::readHidScanners() {
    if (hidMonitor_)
        return;
    hidMonitor_ = std::make_unique<devices::HidMonitor>();
    connect(hidMonitor_.get(), &devices::HidMonitor::changed, this,
            [this] { guarded([this] { followHidScanners(); }); });
    followHidScanners();
}

void Form1::followHidScanners() {
    QSet<QString> present;
    for (const devices::HidInput& input : devices::listHidInputs()) {
        // Only a scanner by its descriptor: an ordinary keyboard's node is never opened.
        if (input.kind != devices::HidKind::PointOfSaleScanner || input.rawNode.isEmpty())
            continue;
        present.insert(input.rawNode);
        if (hidReaders_.contains(input.rawNode))
            continue;
        std::vector<devices::ScanReportLayout> layouts = devices::readScanReportLayouts(
            {reinterpret_cast<const std::uint8_t*>(input.descriptor.constData()),
             std::size_t(input.descriptor.size())});
        if (layouts.empty())
            continue;
        // A node the person may not read is left alone: Diagnose says so and how to grant it.
        int error = 0;
        std::unique_ptr<devices::HidScanReader> reader =
            devices::HidScanReader::open(input.rawNode, std::move(layouts), error);
        if (!reader)
            continue;
        connect(reader.get(), &devices::HidScanReader::scanned, this,
                [this, name = input.sourceName()](const QByteArray& bytes, qint64 firstMs,
                                                  qint64 lastMs, bool cut) {
                    scanLog_->receiveDeviceScan(bytes, firstMs, lastMs, name, cut);
                });
        hidReaders_.emplace(input.rawNode, std::move(reader));
    }
    // Unplugged scanners: their readers go.
    std::erase_if(hidReaders_,
                  [&present](const auto& entry) { return !present.contains(entry.first); });
}

} // namespace main_window
