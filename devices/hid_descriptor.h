#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace devices {

// A top-level application collection of a HID report descriptor: what the device says it is.
struct HidApplication {
    std::uint16_t usagePage = 0;
    std::uint16_t usage = 0;

    bool operator==(const HidApplication&) const = default;
};

// What a HID device's report descriptor (sysfs `report_descriptor`, readable by everyone) says
// it is: a keyboard (generic desktop page 01h, usage 06h), a point-of-sale barcode scanner
// (usage page 8Ch), or something else.
struct HidDescriptorFacts {
    std::vector<HidApplication> applications;
    // The descriptor ended inside an item (a cut or garbled file); what came before counts.
    bool truncated = false;

    bool isKeyboard() const;
    bool isBarcodeScanner() const;
};

inline constexpr std::uint16_t GenericDesktopPage = 0x01;
inline constexpr std::uint16_t KeyboardUsage = 0x06;
inline constexpr std::uint16_t BarcodeScannerPage = 0x8C;

// Reads the application collections of a report descriptor: short items with their usage page
// (global, with push and pop) and usages (local, an extended usage carrying its page), long items
// stepped over. Never reads past the bytes given, whatever they hold.
HidDescriptorFacts readHidDescriptor(std::span<const std::uint8_t> bytes);

// One short item of a report descriptor: its type (0 main, 1 global, 2 local), tag, data (little
// endian) and data size in bytes.
struct HidItem {
    std::uint8_t type = 0;
    std::uint8_t tag = 0;
    std::uint32_t data = 0;
    std::size_t size = 0;
};
inline constexpr std::uint8_t HidMainItem = 0;
inline constexpr std::uint8_t HidGlobalItem = 1;
inline constexpr std::uint8_t HidLocalItem = 2;

// Calls `item` for every short item in order, long items stepped over. Returns false when the
// descriptor ends inside an item (what came before was handed on). Never reads past the bytes.
bool forEachHidItem(std::span<const std::uint8_t> bytes,
                    const std::function<void(const HidItem&)>& item);

} // namespace devices
