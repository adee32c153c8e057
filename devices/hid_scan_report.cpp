#include "devices/hid_scan_report.h"

#include "devices/hid_descriptor.h"

#include <algorithm>
#include <map>
#include <utility>

namespace devices {

namespace {

constexpr std::uint8_t InputTag = 0x08;
constexpr std::uint8_t UsagePageTag = 0x00;
constexpr std::uint8_t ReportSizeTag = 0x07;
constexpr std::uint8_t ReportIdTag = 0x08;
constexpr std::uint8_t ReportCountTag = 0x09;
constexpr std::uint8_t PushTag = 0x0A;
constexpr std::uint8_t PopTag = 0x0B;
constexpr std::uint8_t UsageTag = 0x00;
constexpr std::uint8_t UsageMinimumTag = 0x01;
constexpr std::uint8_t UsageMaximumTag = 0x02;
constexpr std::uint32_t ConstantFlag = 0x01;

constexpr std::uint32_t SymbologyIdentifier1 = 0x8C00FB;
constexpr std::uint32_t DecodedData = 0x8C00FE;
constexpr std::uint32_t DecodeDataContinued = 0x8C00FF;

// No report of a real scanner is longer; larger sizes and counts are garbage, taken as ending
// the report.
constexpr std::uint64_t MaxReportBits = 8 * 4096;
constexpr std::size_t MaxPushes = 16;

struct Globals {
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

std::uint32_t fullUsage(const HidItem& item, std::uint32_t page) {
    return item.size == 4 ? item.data : (page << 16) | (item.data & 0xFFFF);
}

} // namespace

std::vector<ScanReportLayout> readScanReportLayouts(std::span<const std::uint8_t> descriptor) {
    Globals globals;
    std::vector<Globals> pushed;
    std::vector<std::uint32_t> usages;
    std::optional<std::uint32_t> usageMinimum, usageMaximum;
    // Bits used so far in each input report, by report ID; and the layouts found.
    std::map<std::uint8_t, std::uint64_t> bitsUsed;
    std::map<std::uint8_t, ScanReportLayout> layouts;

    const auto input = [&](std::uint32_t flags) {
        std::uint64_t& at = bitsUsed[globals.reportId];
        const std::uint64_t size = globals.reportSize;
        const std::uint64_t count = globals.reportCount;
        if (size == 0 || count == 0 || at + size * count > MaxReportBits) {
            at = MaxReportBits;
            return;
        }
        const auto usageOf = [&](std::uint64_t element) -> std::uint32_t {
            if (!usages.empty())
                return usages[std::min<std::size_t>(element, usages.size() - 1)];
            if (usageMinimum && usageMaximum && *usageMaximum >= *usageMinimum)
                return std::uint32_t(
                    std::min<std::uint64_t>(*usageMinimum + element, *usageMaximum));
            return 0;
        };
        if ((flags & ConstantFlag) == 0) {
            ScanReportLayout& layout = layouts[globals.reportId];
            layout.reportId = globals.reportId;
            for (std::uint64_t element = 0; element < count; ++element) {
                const std::uint32_t usage = usageOf(element);
                const ScanReportLayout::Field field{std::uint32_t(at + element * size),
                                                    std::uint32_t(size), 1};
                if (usage >= SymbologyIdentifier1 && usage < SymbologyIdentifier1 + 3) {
                    layout.symbology[usage - SymbologyIdentifier1] = field;
                } else if (usage == DecodedData && size == 8) {
                    // The data is the run of elements that follows the first.
                    if (!layout.data)
                        layout.data = field;
                    else if (layout.data->bitOffset + layout.data->count * 8 == field.bitOffset)
                        ++layout.data->count;
                } else if (usage == DecodeDataContinued && !layout.continued) {
                    layout.continued = field;
                }
            }
        }
        at += size * count;
    };

    forEachHidItem(descriptor, [&](const HidItem& item) {
        if (item.type == HidGlobalItem) {
            switch (item.tag) {
            case UsagePageTag:
                globals.usagePage = item.data;
                break;
            case ReportSizeTag:
                globals.reportSize = item.data;
                break;
            case ReportCountTag:
                globals.reportCount = item.data;
                break;
            case ReportIdTag:
                globals.reportId = std::uint8_t(item.data);
                break;
            case PushTag:
                if (pushed.size() < MaxPushes)
                    pushed.push_back(globals);
                break;
            case PopTag:
                if (!pushed.empty()) {
                    globals = pushed.back();
                    pushed.pop_back();
                }
                break;
            default:
                break;
            }
        } else if (item.type == HidLocalItem) {
            if (item.tag == UsageTag && usages.size() < 4096)
                usages.push_back(fullUsage(item, globals.usagePage));
            else if (item.tag == UsageMinimumTag)
                usageMinimum = fullUsage(item, globals.usagePage);
            else if (item.tag == UsageMaximumTag)
                usageMaximum = fullUsage(item, globals.usagePage);
        } else if (item.type == HidMainItem) {
            if (item.tag == InputTag)
                input(item.data);
            // Local items last until the next main item.
            usages.clear();
            usageMinimum.reset();
            usageMaximum.reset();
        }
    });

    std::vector<ScanReportLayout> found;
    for (const auto& [id, layout] : layouts)
        if (layout.data)
            found.push_back(layout);
    return found;
}

namespace {

// The value of `size` bits at `offset`, least significant first, as HID packs them.
std::optional<std::uint32_t> bits(std::span<const std::uint8_t> body, std::uint64_t offset,
                                  std::uint32_t size) {
    if (size == 0 || size > 32 || offset + size > std::uint64_t(body.size()) * 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < size; ++i) {
        const std::uint64_t bit = offset + i;
        if ((body[bit / 8] >> (bit % 8)) & 1)
            value |= 1u << i;
    }
    return value;
}

bool printable(std::uint32_t c) {
    return c > 0x20 && c < 0x7F;
}

} // namespace

std::optional<ScanReportPiece> readScanReport(const std::vector<ScanReportLayout>& layouts,
                                              std::span<const std::uint8_t> report) {
    for (const ScanReportLayout& layout : layouts) {
        std::span<const std::uint8_t> body = report;
        if (layout.reportId != 0) {
            if (report.empty() || report[0] != layout.reportId)
                continue;
            body = report.subspan(1);
        }
        const ScanReportLayout::Field& data = *layout.data;
        if (std::uint64_t(data.bitOffset) + std::uint64_t(data.count) * 8 >
            std::uint64_t(body.size()) * 8)
            return std::nullopt;
        ScanReportPiece piece;
        piece.data.reserve(data.count);
        for (std::uint32_t i = 0; i < data.count; ++i)
            piece.data.push_back(char(*bits(body, data.bitOffset + 8 * i, 8)));
        while (!piece.data.empty() && piece.data.back() == '\0')
            piece.data.pop_back();
        std::uint32_t ids[3] = {0, 0, 0};
        for (int i = 0; i < 3; ++i)
            if (layout.symbology[i])
                ids[i] = bits(body, layout.symbology[i]->bitOffset, layout.symbology[i]->bitSize)
                             .value_or(0);
        // "]E0" in the three bytes, or the code character and modifier in the first two.
        if (ids[0] == ']' && printable(ids[1]) && printable(ids[2]))
            piece.symbology = {']', char(ids[1]), char(ids[2])};
        else if (printable(ids[0]) && printable(ids[1]) && ids[0] != ']')
            piece.symbology = {']', char(ids[0]), char(ids[1])};
        if (layout.continued)
            piece.continued =
                bits(body, layout.continued->bitOffset, layout.continued->bitSize).value_or(0) != 0;
        return piece;
    }
    return std::nullopt;
}

std::optional<ScanReportJoiner::Scan> ScanReportJoiner::feed(const ScanReportPiece& piece) {
    if (!started_) {
        scan_ = Scan{piece.symbology, false};
        started_ = true;
    }
    const std::size_t room = MaxScanBytes - std::min(MaxScanBytes, scan_.bytes.size());
    scan_.bytes.append(piece.data, 0, std::min(room, piece.data.size()));
    scan_.cut = scan_.cut || piece.data.size() > room;
    if (piece.continued)
        return std::nullopt;
    started_ = false;
    return std::exchange(scan_, {});
}

} // namespace devices
