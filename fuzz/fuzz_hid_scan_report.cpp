// Any bytes as a point-of-sale scanner's report descriptor followed by its reports: the layouts
// lie inside the reports they describe, a report is read only within its bytes, and a scan put
// together from pieces never grows past its bound.
#include "devices/hid_scan_report.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    // The first byte splits the input into a descriptor and reports of up to 64 bytes.
    const std::size_t descriptorSize = std::min<std::size_t>(data[0], size - 1);
    const std::span<const std::uint8_t> descriptor(data + 1, descriptorSize);
    const std::vector<devices::ScanReportLayout> layouts =
        devices::readScanReportLayouts(descriptor);
    for (const devices::ScanReportLayout& layout : layouts)
        check(layout.data && layout.data->count >= 1 &&
              std::uint64_t(layout.data->bitOffset) + layout.data->count * 8 <= 8 * 4096);
    devices::ScanReportJoiner joiner;
    for (std::size_t at = 1 + descriptorSize; at < size; at += 64) {
        const std::span<const std::uint8_t> report(data + at, std::min<std::size_t>(64, size - at));
        if (const auto piece = devices::readScanReport(layouts, report)) {
            check(piece->data.size() <= report.size());
            if (const auto scan = joiner.feed(*piece))
                check(scan->bytes.size() <= devices::ScanReportJoiner::MaxScanBytes + 3);
        }
    }
    return 0;
}
