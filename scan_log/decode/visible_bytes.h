#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace scan_log {

// The name of a control character (0x00-0x1F and 0x7F), such as "CR" or "GS"; empty for any
// other byte.
std::string_view controlName(unsigned char byte);

// `bytes` with every byte visible: control characters by name in angle brackets (<CR>, <GS>,
// <DEL>), bytes 80h-FFh as two lower-case hex digits in angle brackets (<e9>), printable ASCII
// and space as they are. Lower case keeps byte FFh (<ff>) apart from form feed (<FF>).
std::string visibleForm(std::string_view bytes);

// Appends the visible form of `bytes` to `out`.
void appendVisibleForm(std::string& out, std::string_view bytes);

// The most characters the visible form of one byte takes ("<ESC>").
inline constexpr std::size_t MaxVisibleCharsPerByte = 5;

// Writes the visible form of `bytes` to `out`, which has room for MaxVisibleCharsPerByte
// characters per byte, and returns how many it wrote.
std::size_t writeVisibleForm(char* out, std::string_view bytes);

} // namespace scan_log
