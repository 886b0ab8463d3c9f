#pragma once

#include <QString>

#include <cstdint>
#include <optional>

#include "hotkeys/Key.h"
#include "hotkeys/ModifierFlags.h"
#include "platform/HotKeyService.h"

namespace klosia {

// One key with the modifiers held with it, in the form stored with a shortcut: the key's Carbon
// code and the Carbon modifier mask. A value: combinations compare field by field.
class KeyCombo {
public:
    KeyCombo(Key key, ModifierFlags modifiers);
    // Raw numbers are kept as they are, also a code that names no key.
    constexpr KeyCombo(std::uint32_t keyCode, std::uint32_t modifierMask)
        : carbonKeyCode(keyCode), carbonModifiers(modifierMask) {}

    std::uint32_t carbonKeyCode = 0;
    std::uint32_t carbonModifiers = 0;

    bool operator==(const KeyCombo&) const = default;

    // The key with this code; none for a code that no key has.
    std::optional<Key> key() const;
    // The shortcut modifiers of the mask; other bits are dropped.
    ModifierFlags modifiers() const;
    // "⌃⌥Q": the modifiers' symbols, then the key's text (nothing when the code has no key).
    QString description() const;

    // What the hot-key service grabs: the key's keysym (0, which nothing produces, when the
    // code has no key or the key has no keysym) and the X modifier mask.
    HotKeyCombination platformCombination() const;
};

}  // namespace klosia
