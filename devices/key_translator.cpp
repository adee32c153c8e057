#include "devices/key_translator.h"

#include <xkbcommon/xkbcommon.h>

#include <array>

namespace devices {

namespace {

// evdev key codes are XKB key codes less 8.
constexpr unsigned EvdevToXkb = 8;

constexpr std::array Layouts = {
    ScannerLayout{"us", "US English"}, ScannerLayout{"gb", "UK English"},
    ScannerLayout{"de", "German"},     ScannerLayout{"fr", "French"},
    ScannerLayout{"es", "Spanish"},    ScannerLayout{"it", "Italian"},
    ScannerLayout{"ch", "Swiss"},      ScannerLayout{"be", "Belgian"},
    ScannerLayout{"cz", "Czech"},      ScannerLayout{"pl", "Polish"},
};

} // namespace

std::span<const ScannerLayout> scannerLayouts() {
    return Layouts;
}

void KeyTranslator::Deleter::operator()(xkb_context* context) const {
    xkb_context_unref(context);
}
void KeyTranslator::Deleter::operator()(xkb_keymap* keymap) const {
    xkb_keymap_unref(keymap);
}
void KeyTranslator::Deleter::operator()(xkb_state* state) const {
    xkb_state_unref(state);
}

KeyTranslator::KeyTranslator(std::string_view layout)
    : layout_(layout), context_(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES)) {
    if (!context_)
        return;
    for (const std::string& name : {layout_, std::string("us")}) {
        const xkb_rule_names names{"evdev", "pc105", name.c_str(), "", ""};
        keymap_.reset(
            xkb_keymap_new_from_names(context_.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
        if (keymap_) {
            layout_ = name;
            break;
        }
    }
    if (keymap_)
        state_.reset(xkb_state_new(keymap_.get()));
}

KeyTranslator::~KeyTranslator() = default;

std::string KeyTranslator::key(unsigned evdevCode, bool down) {
    if (!state_)
        return {};
    const xkb_keycode_t code = evdevCode + EvdevToXkb;
    std::string text;
    if (down) {
        char utf8[64];
        const int size = xkb_state_key_get_utf8(state_.get(), code, utf8, sizeof utf8);
        // Control characters other than Enter and Tab (Escape, Backspace) are no scan text.
        if (size > 0 &&
            (static_cast<unsigned char>(utf8[0]) >= 0x20 || utf8[0] == '\r' || utf8[0] == '\t'))
            text.assign(utf8, std::size_t(size));
    }
    xkb_state_update_key(state_.get(), code, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    return text;
}

} // namespace devices
