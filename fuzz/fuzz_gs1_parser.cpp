// Any scan through the decoders: GS1 element strings, Digital Link addresses and the whole
// scan explanation end without a fault, and what they return keeps its shape: identifiers are
// digits, shown text holds no raw control bytes, and a Digital Link is parsed exactly when it
// is recognised.
#include "scan_log/model/gs1_parser.h"
#include "scan_log/model/scan_info.h"
#include "scan_log/model/scan_splitter.h"
#include "scan_log/model/visible_bytes.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace scan_log;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool visible(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return true;
}

void checkFields(const std::vector<Gs1Field>& fields) {
    for (const Gs1Field& field : fields) {
        for (const char c : field.ai)
            check(c >= '0' && c <= '9');
        check(field.ai.size() <= 4 || !field.problems.empty());
        check(visible(field.value));
        check(field.check.empty() || field.check == "ok" ||
              field.check.starts_with("check digit should be "));
        for (const std::string& problem : field.problems)
            check(!problem.empty());
    }
    check(fields.empty() == gs1Summary(fields).empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the current year, so that dates meet every century boundary.
    const int year = 1950 + data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    checkFields(parseElementString(text, year));

    const auto link = parseDigitalLink(text, year);
    if (link) {
        check(!link->empty());
        checkFields(*link);
    }

    const ScanInfo info = decodeScan(text, year);
    check(visible(info.data) && visible(info.gs1Fields) && visible(info.check));
    const std::size_t terminator = terminatorLength(terminatorOf(text));
    check(info.data == visibleForm(text.substr(0, text.size() - terminator)));
    check(!info.symbology.empty() || info.data.size() <= 10);
    return 0;
}
