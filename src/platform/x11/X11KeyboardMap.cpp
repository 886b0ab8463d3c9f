#include "platform/x11/X11KeyboardMap.h"

#include <algorithm>

#include "platform/x11/XcbReply.h"

namespace klosia {

namespace {

constexpr std::uint32_t kKeysymNumLock = 0xff7f;     // XK_Num_Lock
constexpr std::uint32_t kKeysymScrollLock = 0xff14;  // XK_Scroll_Lock
constexpr int kModifierCount = 8;                    // Shift, Lock, Control, Mod1 … Mod5

}  // namespace

X11KeyboardMap::X11KeyboardMap(xcb_connection_t* connection) : connection_(connection) {
    reload();
}

X11KeyboardMap::~X11KeyboardMap() {
    if (symbols_ != nullptr) {
        xcb_key_symbols_free(symbols_);
    }
}

void X11KeyboardMap::reload() {
    if (symbols_ != nullptr) {
        xcb_key_symbols_free(symbols_);
    }
    symbols_ = xcb_key_symbols_alloc(connection_);
    numLockMask_ = modifierOf(kKeysymNumLock);
    scrollLockMask_ = modifierOf(kKeysymScrollLock);
}

std::vector<xcb_keycode_t> X11KeyboardMap::keycodes(std::uint32_t keysym) const {
    std::vector<xcb_keycode_t> result;
    if (keysym == 0 || symbols_ == nullptr) {
        return result;
    }
    const XcbReply<xcb_keycode_t> list(xcb_key_symbols_get_keycode(symbols_, keysym));
    if (!list) {
        return result;
    }
    for (const xcb_keycode_t* code = list.get(); *code != XCB_NO_SYMBOL; ++code) {
        result.push_back(*code);
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}

std::uint32_t X11KeyboardMap::firstKeysym(xcb_keycode_t keycode) const {
    return symbols_ != nullptr ? xcb_key_symbols_get_keysym(symbols_, keycode, 0) : 0;
}

std::vector<std::uint16_t> X11KeyboardMap::lockVariants(std::uint16_t modifiers) const {
    std::vector<std::uint16_t> locks;
    for (const std::uint16_t lock :
         {static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK), numLockMask_, scrollLockMask_}) {
        // A lock on one of the combination's own modifiers cannot vary independently.
        if (lock != 0 && (lock & modifiers) == 0 &&
            std::find(locks.begin(), locks.end(), lock) == locks.end()) {
            locks.push_back(lock);
        }
    }
    std::vector<std::uint16_t> variants;
    const unsigned subsets = 1U << locks.size();
    for (unsigned subset = 0; subset < subsets; ++subset) {
        std::uint16_t mask = modifiers;
        for (std::size_t i = 0; i < locks.size(); ++i) {
            if ((subset & (1U << i)) != 0) {
                mask = static_cast<std::uint16_t>(mask | locks[i]);
            }
        }
        variants.push_back(mask);
    }
    return variants;
}

std::uint16_t X11KeyboardMap::modifierOf(std::uint32_t keysym) const {
    const std::vector<xcb_keycode_t> codes = keycodes(keysym);
    if (codes.empty()) {
        return 0;
    }
    const XcbReply<xcb_get_modifier_mapping_reply_t> reply(xcb_get_modifier_mapping_reply(
        connection_, xcb_get_modifier_mapping(connection_), nullptr));
    if (!reply) {
        return 0;
    }
    const xcb_keycode_t* map = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < kModifierCount; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = map[(modifier * perModifier) + i];
            if (code != 0 && std::binary_search(codes.begin(), codes.end(), code)) {
                return static_cast<std::uint16_t>(1U << modifier);
            }
        }
    }
    return 0;
}

}  // namespace klosia
