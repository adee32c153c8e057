#include "scan_log/decode/visible_bytes.h"

#include <array>

namespace scan_log {

namespace {

constexpr std::array<std::string_view, 32> C0Names = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

} // namespace

std::string_view controlName(unsigned char byte) {
    if (byte < C0Names.size())
        return C0Names[byte];
    if (byte == 0x7F)
        return "DEL";
    return {};
}

void appendVisibleForm(std::string& out, std::string_view bytes) {
    static constexpr char Hex[] = "0123456789abcdef";
    out.reserve(out.size() + bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out.push_back(c);
        } else if (byte >= 0x80) {
            out.push_back('<');
            out.push_back(Hex[byte >> 4]);
            out.push_back(Hex[byte & 0xF]);
            out.push_back('>');
        } else {
            out.push_back('<');
            out.append(controlName(byte));
            out.push_back('>');
        }
    }
}

std::string visibleForm(std::string_view bytes) {
    std::string out;
    appendVisibleForm(out, bytes);
    return out;
}

} // namespace scan_log
