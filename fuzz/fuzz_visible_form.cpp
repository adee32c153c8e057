// Any bytes written in the visible form of transcripts and the Scan Log read back into the same
// bytes, and any text the reader takes is the one visible form of what it read.
#include "scan_log/model/visible_bytes.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string visible = scan_log::visibleForm(input);
    check(scan_log::bytesOfVisibleForm(visible) == input);
    if (const std::optional<std::string> bytes = scan_log::bytesOfVisibleForm(input))
        check(scan_log::visibleForm(*bytes) == input);
    return 0;
}
