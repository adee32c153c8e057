#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace scan_log {

// The name of a control character (0x00-0x1F and 0x7F), such as "CR" or "GS"; empty for any
// other byte.
std::string_view controlName(unsigned char byte);

// A control character by its name and code, as the advice writes it: "STX (02h)"; empty for any
// other byte.
std::string controlNameWithCode(unsigned char byte);

// `bytes` with every byte visible: control characters by name in angle brackets (<CR>, <GS>,
// <DEL>), bytes 80h-FFh as two lower-case hex digits in angle brackets (<e9>), "<" doubled
// ("<<"), the other printable ASCII characters and space as they are. Lower case keeps byte FFh
// (<ff>) apart from form feed (<FF>); the doubled "<" keeps a received "<GS>" apart from byte
// 1Dh, so the form reads back into the exact bytes (bytesOfVisibleForm).
std::string visibleForm(std::string_view bytes);

// The bytes whose visible form is `text`, or nothing when `text` is not one (an unknown name in
// brackets, a single "<", a character outside printable ASCII).
std::optional<std::string> bytesOfVisibleForm(std::string_view text);

// Appends the visible form of `bytes` to `out`.
void appendVisibleForm(std::string& out, std::string_view bytes);

// The most characters the visible form of one byte takes ("<ESC>").
inline constexpr std::size_t MaxVisibleCharsPerByte = 5;

// Writes the visible form of `bytes` to `out`, which has room for MaxVisibleCharsPerByte
// characters per byte, and returns how many it wrote.
std::size_t writeVisibleForm(char* out, std::string_view bytes);

} // namespace scan_log
