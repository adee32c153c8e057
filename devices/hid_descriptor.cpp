#include "devices/hid_descriptor.h"

#include <algorithm>

namespace devices {

namespace {

// The item types and tags of a HID report descriptor, as USB HID devices encode them.
enum ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2 };
constexpr std::uint8_t CollectionTag = 0x0A;
constexpr std::uint8_t EndCollectionTag = 0x0C;
constexpr std::uint8_t UsagePageTag = 0x00;
constexpr std::uint8_t PushTag = 0x0A;
constexpr std::uint8_t PopTag = 0x0B;
constexpr std::uint8_t UsageTag = 0x00;
constexpr std::uint8_t LongItemPrefix = 0xFE;
constexpr std::uint32_t ApplicationCollection = 0x01;
// Nesting deeper than this is no real device's; the reader stops counting, not reading.
constexpr std::size_t MaxPushes = 16;

} // namespace

bool HidDescriptorFacts::isKeyboard() const {
    return std::any_of(applications.begin(), applications.end(), [](const HidApplication& a) {
        return a.usagePage == GenericDesktopPage && a.usage == KeyboardUsage;
    });
}

bool HidDescriptorFacts::isBarcodeScanner() const {
    return std::any_of(applications.begin(), applications.end(),
                       [](const HidApplication& a) { return a.usagePage == BarcodeScannerPage; });
}

bool forEachHidItem(std::span<const std::uint8_t> bytes,
                    const std::function<void(const HidItem&)>& item) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::uint8_t prefix = bytes[at];
        if (prefix == LongItemPrefix) {
            // Prefix, data size, long tag, then the data: all of it must be there.
            if (at + 2 >= bytes.size() || at + 3 + std::size_t(bytes[at + 1]) > bytes.size())
                return false;
            at += 3 + std::size_t(bytes[at + 1]);
            continue;
        }
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (at + 1 + size > bytes.size())
            return false;
        std::uint32_t data = 0;
        for (std::size_t i = 0; i < size; ++i)
            data |= std::uint32_t(bytes[at + 1 + i]) << (8 * i);
        item({std::uint8_t((prefix >> 2) & 3), std::uint8_t(prefix >> 4), data, size});
        at += 1 + size;
    }
    return true;
}

HidDescriptorFacts readHidDescriptor(std::span<const std::uint8_t> bytes) {
    HidDescriptorFacts facts;
    std::uint32_t usagePage = 0;
    std::vector<std::uint32_t> pushed;
    // The first usage since the last main item, with its page when it named one.
    std::uint32_t usage = 0;
    bool hasUsage = false;
    int depth = 0;
    facts.truncated = !forEachHidItem(bytes, [&](const HidItem& item) {
        const auto type = ItemType(item.type);
        const std::uint8_t tag = item.tag;
        const std::uint32_t data = item.data;
        if (type == Global && tag == UsagePageTag) {
            usagePage = data;
        } else if (type == Global && tag == PushTag && pushed.size() < MaxPushes) {
            pushed.push_back(usagePage);
        } else if (type == Global && tag == PopTag && !pushed.empty()) {
            usagePage = pushed.back();
            pushed.pop_back();
        } else if (type == Local && tag == UsageTag && !hasUsage) {
            // A four-byte usage names its page in its upper half.
            usage = item.size == 4 ? data : (usagePage << 16) | (data & 0xFFFF);
            hasUsage = true;
        } else if (type == Main) {
            if (tag == CollectionTag) {
                if (depth == 0 && data == ApplicationCollection && hasUsage)
                    facts.applications.push_back(
                        {std::uint16_t(usage >> 16), std::uint16_t(usage & 0xFFFF)});
                ++depth;
            } else if (tag == EndCollectionTag) {
                depth = std::max(0, depth - 1);
            }
            hasUsage = false;
        }
    });
    return facts;
}

} // namespace devices
