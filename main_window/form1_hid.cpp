// Scanners that are no serial port, read directly: every point-of-sale scanner the person may
// open is read from its hidraw node, and every scanner in keyboard mode (a keyboard whose names
// say scanner, or one the person marked as their scanner in Diagnose; never another keyboard)
// from its input event node, into the Scan Log; they are followed as they are plugged in and out
// and as marks change.

#include "devices/hid_devices.h"
#include "devices/hid_scan_reader.h"
#include "devices/key_scanner_reader.h"
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
        const bool marked = input.kind == devices::HidKind::Keyboard &&
                            markedKeyboards_.contains(input.vendorId + u':' + input.productId);
        if ((input.kind == devices::HidKind::KeyboardScanner || marked) &&
            !input.eventNode.isEmpty()) {
            present.insert(input.eventNode);
            if (keyReaders_.contains(input.eventNode))
                continue;
            int error = 0;
            std::unique_ptr<devices::KeyScannerReader> reader =
                devices::KeyScannerReader::open(input.eventNode, keyLayout_.toStdString(), error);
            if (!reader)
                continue;
            connect(reader.get(), &devices::KeyScannerReader::keyTyped, this,
                    [this, name = input.sourceName()](const QString& text, qint64 ms) {
                        scanLog_->receiveDeviceKey(name, text, ms);
                    });
            keyReaders_.emplace(input.eventNode, std::move(reader));
            continue;
        }
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
    std::erase_if(keyReaders_,
                  [&present](const auto& entry) { return !present.contains(entry.first); });
    std::erase_if(hidReaders_,
                  [&present](const auto& entry) { return !present.contains(entry.first); });
}

} // namespace main_window
