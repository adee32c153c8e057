// Any entry of the Send window, as text or as hexadecimal, either gives bytes or says where it
// went wrong (a position inside the entry); bytes without a backslash written in the Scan Log's
// visible form give those bytes back; the commands file reads back what it wrote.
#include "scan_log/model/visible_bytes.h"
#include "sending/model/saved_commands.h"
#include "sending/model/send_entry.h"

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
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString entry = QString::fromUtf8(input);
    for (const sending::SendAs as : {sending::SendAs::Text, sending::SendAs::Hex}) {
        const auto parsed = sending::parseEntry(entry, as);
        if (parsed.ok())
            check(!parsed.value().isEmpty());
        else
            check(parsed.error().position >= 0 && parsed.error().position <= entry.size());
    }
    if (!input.contains('\\')) {
        const std::string visible =
            scan_log::visibleForm(std::string_view(input.constData(), size));
        const auto parsed = sending::parseEntry(
            QString::fromLatin1(visible.data(), qsizetype(visible.size())), sending::SendAs::Text);
        check(size == 0 ? !parsed.ok() : parsed.ok() && parsed.value() == input);
    }
    const sending::ParsedCommands commands = sending::parseCommands(input);
    check(sending::parseCommands(sending::formatCommands(commands.commands)).commands ==
          commands.commands);
    return 0;
}
