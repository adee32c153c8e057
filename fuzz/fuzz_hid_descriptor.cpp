// Any bytes as a HID report descriptor: the reader stays inside them, and what it reports is
// consistent (every application it lists is one it can name, a scanner or keyboard by its page).
#include "devices/hid_descriptor.h"

#include <cstdint>
#include <cstdlib>

using namespace devices;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const devices::HidDescriptorFacts facts = devices::readHidDescriptor({data, size});
    // Every application comes from a collection item, which takes at least two bytes.
    if (facts.applications.size() > size / 2 + 1)
        std::abort();
    bool scanner = false;
    for (const devices::HidApplication& application : facts.applications)
        scanner = scanner || application.usagePage == devices::BarcodeScannerPage;
    if (scanner != facts.isBarcodeScanner())
        std::abort();
    return 0;
}
