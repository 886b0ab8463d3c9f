#include "hotkeys/KeyCombo.h"

namespace klosia {

KeyCombo::KeyCombo(Key key, ModifierFlags modifiers)
    : carbonKeyCode(klosia::carbonKeyCode(key)), carbonModifiers(modifiers.carbonFlags()) {}

std::optional<Key> KeyCombo::key() const {
    return keyFromCarbonKeyCode(carbonKeyCode);
}

ModifierFlags KeyCombo::modifiers() const {
    return ModifierFlags::fromCarbonFlags(carbonModifiers);
}

QString KeyCombo::description() const {
    QString text = modifiers().description();
    if (const std::optional<Key> k = key()) {
        text += klosia::description(*k);
    }
    return text;
}

HotKeyCombination KeyCombo::platformCombination() const {
    const std::optional<Key> k = key();
    return HotKeyCombination{.keysym = k ? x11Keysym(*k) : 0,
                             .modifiers = modifiers().x11ModMask()};
}

}  // namespace klosia
