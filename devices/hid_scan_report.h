#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace devices {

// Where a HID point-of-sale scanner (usage page 8Ch) puts a scan in an input report, read from
// its report descriptor: the three symbology identifier bytes (usages FBh-FDh), the decoded data
// (FEh, one byte an element) and the "decode data continued" flag (FFh) that says more of the
// same scan follows in the next report.
struct ScanReportLayout {
    // A bit position and width inside the report, after its report ID byte.
    struct Field {
        std::uint32_t bitOffset = 0;
        std::uint32_t bitSize = 0;
        std::uint32_t count = 1; // elements of bitSize each, one after the other

        bool operator==(const Field&) const = default;
    };
    std::uint8_t reportId = 0; // 0: the device numbers no reports
    std::optional<Field> symbology[3];
    std::optional<Field> data;
    std::optional<Field> continued;

    bool operator==(const ScanReportLayout&) const = default;
};

// The input reports of `descriptor` that carry decoded data. Usages come from Usage items (an
// element past the last usage takes the last one) or a Usage Minimum/Maximum range; Push and
// Pop, long items and a descriptor cut short are taken in their stride.
std::vector<ScanReportLayout> readScanReportLayouts(std::span<const std::uint8_t> descriptor);

// One report's part of a scan.
struct ScanReportPiece {
    std::string data;      // the decoded bytes, the buffer's trailing NUL padding left off
    std::string symbology; // the AIM identifier ("]E0") when the report carries one, else empty
    bool continued = false;

    bool operator==(const ScanReportPiece&) const = default;
};

// What `report` (as read from the hidraw node: the report ID first when the device numbers its
// reports) holds of a scan; nothing for a report of another kind or one too short for its layout.
std::optional<ScanReportPiece> readScanReport(const std::vector<ScanReportLayout>& layouts,
                                              std::span<const std::uint8_t> report);

// Puts a scan spread over several reports back together.
class ScanReportJoiner {
public:
    // A scan longer than this is cut: no scanner sends one, and memory stays bounded.
    static constexpr std::size_t MaxScanBytes = 64 * 1024;

    struct Scan {
        std::string bytes; // the AIM identifier, when one came, then the data
        bool cut = false;
    };
    // The whole scan once its last piece has come.
    std::optional<Scan> feed(const ScanReportPiece& piece);
    bool pending() const { return started_; }

private:
    Scan scan_;
    bool started_ = false;
};

} // namespace devices
