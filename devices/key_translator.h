#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace devices {

// A keyboard layout a scanner in keyboard mode may type for, by its XKB name.
struct ScannerLayout {
    std::string_view xkbName; // "de"
    std::string_view name;    // "German"
};
// The layouts offered for scanners read directly, US English first.
std::span<const ScannerLayout> scannerLayouts();

// What the keys of a keyboard type, by a keyboard layout (libxkbcommon, with the system's XKB
// data): the evdev key codes of presses and releases in, the text each press types out, shift
// and the other modifiers followed as the keys go down and up.
class KeyTranslator {
public:
    // `layout` is an XKB layout name ("us", "de"); US English when it cannot be had.
    explicit KeyTranslator(std::string_view layout = "us");
    ~KeyTranslator();
    KeyTranslator(const KeyTranslator&) = delete;
    KeyTranslator& operator=(const KeyTranslator&) = delete;

    bool valid() const { return state_ != nullptr; }
    const std::string& layout() const { return layout_; }

    // A key went down (`down`) or up: the text the press types (UTF-8; "\r" for Enter, "\t" for
    // Tab), empty for a release, a modifier or a key that types nothing.
    std::string key(unsigned evdevCode, bool down);

private:
    struct Deleter {
        void operator()(xkb_context* context) const;
        void operator()(xkb_keymap* keymap) const;
        void operator()(xkb_state* state) const;
    };
    std::string layout_;
    std::unique_ptr<xkb_context, Deleter> context_;
    std::unique_ptr<xkb_keymap, Deleter> keymap_;
    std::unique_ptr<xkb_state, Deleter> state_;
};

} // namespace devices
