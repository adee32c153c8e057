#include "test_codes/model/keyboard_layouts.h"

#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include <xkbcommon/xkbcommon.h>

namespace test_codes {

namespace {

constexpr std::array Layouts = {
    KeyboardLayout{"de", "German"},
    KeyboardLayout{"fr", "French"},
    KeyboardLayout{"cz", "Czech"},
    KeyboardLayout{"gb", "UK"},
};

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};

// A key and its shift level (0 plain, 1 with Shift).
using KeyLevel = std::pair<xkb_keycode_t, xkb_level_index_t>;

// For one layout: what each key and level types, as UTF-8 (empty: nothing, or a dead key).
using KeyTable = std::map<KeyLevel, std::string>;

std::optional<KeyTable> keyTableOf(std::string_view layout) {
    const std::unique_ptr<xkb_context, ContextDeleter> context(
        xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
    if (!context)
        return std::nullopt;
    const std::string name(layout);
    const xkb_rule_names names{"evdev", "pc105", name.c_str(), "", ""};
    const std::unique_ptr<xkb_keymap, ContextDeleter> keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
    if (!keymap)
        return std::nullopt;
    KeyTable table;
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap.get());
         key <= xkb_keymap_max_keycode(keymap.get()); ++key) {
        for (xkb_level_index_t level = 0; level < 2; ++level) {
            const xkb_keysym_t* symbols = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap.get(), key, 0, level, &symbols) != 1)
                continue;
            char utf8[8] = {};
            if (xkb_keysym_to_utf8(symbols[0], utf8, sizeof utf8) > 1)
                table[{key, level}] = utf8;
        }
    }
    return table;
}

// Keymaps are read once a run, on first use.
const std::optional<KeyTable>& tableOf(std::string_view layout) {
    static std::mutex guard;
    static std::map<std::string, std::optional<KeyTable>, std::less<>> tables;
    const std::lock_guard lock(guard);
    auto found = tables.find(layout);
    if (found == tables.end())
        found = tables.emplace(std::string(layout), keyTableOf(layout)).first;
    return found->second;
}

// For each ASCII character, what a computer set to the layout reads when a scanner that types
// for US English sends it; none where the character has no US key or the key types nothing
// there. Made once a layout: a scan is judged against every code in every layout.
using TypedTable = std::array<std::optional<std::string>, 128>;

std::optional<TypedTable> typedTableOf(std::string_view layout) {
    const std::optional<KeyTable>& us = tableOf("us");
    const std::optional<KeyTable>& other = tableOf(layout);
    if (!us || !other)
        return std::nullopt;
    // Where each ASCII character sits on a US keyboard; the first key found wins (the main
    // block before the keypad, which comes later in keycode order).
    std::map<char, KeyLevel> keys;
    for (const auto& [keyLevel, typed] : *us) {
        if (typed.size() == 1 && static_cast<unsigned char>(typed[0]) < 128 &&
            !keys.contains(typed[0]))
            keys.emplace(typed[0], keyLevel);
    }
    TypedTable table;
    for (const auto& [c, keyLevel] : keys) {
        if (const auto typed = other->find(keyLevel); typed != other->end())
            table[static_cast<unsigned char>(c)] = typed->second;
    }
    return table;
}

const std::optional<TypedTable>& typedTable(std::string_view layout) {
    static std::mutex guard;
    static std::map<std::string, std::optional<TypedTable>, std::less<>> tables;
    const std::lock_guard lock(guard);
    auto found = tables.find(layout);
    if (found == tables.end())
        found = tables.emplace(std::string(layout), typedTableOf(layout)).first;
    return found->second;
}

} // namespace

std::span<const KeyboardLayout> keyboardLayouts() {
    return Layouts;
}

std::optional<std::string> typedOnLayout(std::string_view xkbName, std::string_view text) {
    const std::optional<TypedTable>& table = typedTable(xkbName);
    if (!table)
        return std::nullopt;
    std::string out;
    for (const char c : text) {
        const auto code = static_cast<unsigned char>(c);
        if (code >= 128 || !(*table)[code])
            return std::nullopt;
        out += *(*table)[code];
    }
    return out;
}

} // namespace test_codes
