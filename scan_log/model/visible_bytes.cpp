#include "scan_log/model/visible_bytes.h"

#include <array>
#include <cstring>

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

std::string controlNameWithCode(unsigned char byte) {
    const std::string_view name = controlName(byte);
    if (name.empty())
        return {};
    static constexpr char Hex[] = "0123456789ABCDEF";
    return std::string(name) + " (" + Hex[byte >> 4] + Hex[byte & 15] + "h)";
}

namespace {

// The visible form of every byte, made once: a recorded flood turns megabytes a second into it.
struct VisibleTable {
    struct Entry {
        char text[MaxVisibleCharsPerByte];
        unsigned char size;
    };
    Entry entries[256]{};

    VisibleTable() {
        static constexpr char Hex[] = "0123456789abcdef";
        for (int byte = 0; byte < 256; ++byte) {
            std::string form;
            if (byte == '<') {
                form = "<<";
            } else if (byte >= 0x20 && byte < 0x7F) {
                form = static_cast<char>(byte);
            } else if (byte >= 0x80) {
                form = {'<', Hex[byte >> 4], Hex[byte & 0xF], '>'};
            } else {
                form = '<' + std::string(controlName(static_cast<unsigned char>(byte))) + '>';
            }
            Entry& entry = entries[byte];
            form.copy(entry.text, MaxVisibleCharsPerByte);
            entry.size = static_cast<unsigned char>(form.size());
        }
    }
};

const VisibleTable& visibleTable() {
    static const VisibleTable table;
    return table;
}

} // namespace

std::size_t writeVisibleForm(char* out, std::string_view bytes) {
    const VisibleTable& table = visibleTable();
    char* at = out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '<') {
            *at++ = c;
        } else {
            const VisibleTable::Entry& entry = table.entries[byte];
            std::memcpy(at, entry.text, MaxVisibleCharsPerByte);
            at += entry.size;
        }
    }
    return static_cast<std::size_t>(at - out);
}

void appendVisibleForm(std::string& out, std::string_view bytes) {
    const std::size_t before = out.size();
    out.resize(before + bytes.size() * MaxVisibleCharsPerByte);
    out.resize(before + writeVisibleForm(out.data() + before, bytes));
}

std::string visibleForm(std::string_view bytes) {
    std::string out;
    appendVisibleForm(out, bytes);
    return out;
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1; // upper case belongs to the names (<FF> is form feed)
}

// The byte named by what stands between "<" and ">": a control character's name or two
// lower-case hex digits of a byte from 80h up.
std::optional<char> namedByte(std::string_view name) {
    if (name.size() == 2) {
        const int high = hexDigit(name[0]);
        const int low = hexDigit(name[1]);
        if (high >= 8 && low >= 0)
            return static_cast<char>(high * 16 + low);
    }
    for (int byte = 0; byte < 0x80; ++byte)
        if (const std::string_view known = controlName(static_cast<unsigned char>(byte));
            !known.empty() && known == name)
            return static_cast<char>(byte);
    return std::nullopt;
}

} // namespace

std::optional<std::string> bytesOfVisibleForm(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c != '<') {
            if (c < 0x20 || c >= 0x7F)
                return std::nullopt;
            bytes.push_back(c);
            ++at;
            continue;
        }
        if (at + 1 < text.size() && text[at + 1] == '<') {
            bytes.push_back('<');
            at += 2;
            continue;
        }
        const std::size_t close = text.find('>', at + 1);
        if (close == std::string_view::npos || close - at - 1 > MaxVisibleCharsPerByte)
            return std::nullopt;
        const std::optional<char> byte = namedByte(text.substr(at + 1, close - at - 1));
        if (!byte)
            return std::nullopt;
        bytes.push_back(*byte);
        at = close + 1;
    }
    return bytes;
}

} // namespace scan_log
