#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace test_codes {

// A keyboard layout a computer may be set to, by its XKB name.
struct KeyboardLayout {
    std::string_view xkbName; // "de"
    std::string_view name;    // "German"
};

// The layouts whose differences from US English the verdict names.
std::span<const KeyboardLayout> keyboardLayouts();

// What arrives (UTF-8) when a scanner that types for US English sends `text` to a computer set
// to `layout`: each character is the key and shift level that types it on a US keyboard, read
// with the other layout. None when a character has no key on a US keyboard, or a key gives
// nothing there (a dead key), or the layout's keymap cannot be had (libxkbcommon reads
// xkeyboard-config's data).
std::optional<std::string> typedOnLayout(std::string_view xkbName, std::string_view text);

} // namespace test_codes
