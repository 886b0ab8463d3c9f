#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdint>
#include <vector>

namespace klosia {

// What the keyboard's current mapping says about keys: which keycodes produce a keysym, and on
// which modifiers the lock keys sit. Read from the server when created and on every reload();
// reload after each MappingNotify.
class X11KeyboardMap {
public:
    explicit X11KeyboardMap(xcb_connection_t* connection);
    ~X11KeyboardMap();
    X11KeyboardMap(const X11KeyboardMap&) = delete;
    X11KeyboardMap& operator=(const X11KeyboardMap&) = delete;

    void reload();

    // Every keycode with the keysym at any level or group, ascending, without repeats. Empty
    // for NoSymbol (0), which every unused level would otherwise give.
    std::vector<xcb_keycode_t> keycodes(std::uint32_t keysym) const;
    // What the keycode types without modifiers (first level of the first group); 0 for none.
    std::uint32_t firstKeysym(xcb_keycode_t keycode) const;

    // The modifier bits that hold a lock: Lock itself, and the modifiers on which the mapping
    // put Num_Lock and Scroll_Lock (0 when on none). Never assumed: keymaps move them.
    std::uint16_t numLockMask() const { return numLockMask_; }
    std::uint16_t scrollLockMask() const { return scrollLockMask_; }
    std::uint16_t lockMasks() const {
        return static_cast<std::uint16_t>(XCB_MOD_MASK_LOCK | numLockMask_ | scrollLockMask_);
    }

    // Every combination of the lock bits that are not among `modifiers`, each added to
    // `modifiers`: the masks under which a key with these modifiers may arrive.
    std::vector<std::uint16_t> lockVariants(std::uint16_t modifiers) const;

private:
    std::uint16_t modifierOf(std::uint32_t keysym) const;

    xcb_connection_t* connection_;
    xcb_key_symbols_t* symbols_ = nullptr;
    std::uint16_t numLockMask_ = 0;
    std::uint16_t scrollLockMask_ = 0;
};

}  // namespace klosia
