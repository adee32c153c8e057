#pragma once

#include <cstdint>
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

} // namespace devices
